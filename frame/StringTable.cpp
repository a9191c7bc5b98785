#include "frame/StringTable.h"

#include <algorithm>
#include <iterator>

namespace {

struct Entry {
    unsigned id;
    const char* text;
};

// Sorted by id (the lookup searches it). A few texts quote a word with a
// backslash and a double quote on each side; the host has always shown them so.
constexpr Entry kTable[] = {
    {1, "Tessel Settings"},
    {2, "Conversion successfully completed."},
    {3, "Conversion failed."},
    {4, "Thread manager for the file format conversion failed."},
    {5, "This conversion is not yet implemented."},
    {6, "Allocation of memory failed. No data buffering possible."},
    {7, "There are no channels that could be imported."},
    {8, "Output file already exists and may not be overwritten. (Overwriting can be enabled by the settings)."},
    {9, "Access to %s denied!\nFile might be opened by another process."},
    {10, "File \"%s\" could not be opened."},
    {11, "Write to file %s failed. Disk might be full!"},
    {12, "The number of bytes written to the output file doesn't match the number expected (header information)."},
    {13, "The directory for the output files \"%s\" could not be created."},
    {14, "Reading data from input file %s failed."},
    {15, "TRX Dataset could not be created."},
    {16, "TRX Dataset could not be closed."},
    {17, "TRX Dataset contains no exportable channels."},
    {19, "TRX Dataset could not be read."},
    {20, "TRX Dataset contains no exportable abscissas."},
    {21, "TRX Dataset contains no time data."},
    {22, "TRX Dataset contains channels with different sample rates."},
    {23, "Signal processing network:\nSource could not be opened."},
    {24, "Signal processing network:\nSource could not be configured."},
    {25, "Signal processing network:\nDrain could not be configured."},
    {26, "Signal processing network could not be initialized."},
    {27, "Signal processing network could not be reset."},
    {28, "Conversion completed but the subchannel(s) could not be exported!"},
    {29, "The export of the subchannel(s) failed!"},
    {30, "Invalid SDF file header."},
    {31, "SDF revision < 2 is not supported."},
    {32, "Improper header information (record type) found."},
    {33, "Number of subchannels truncated (%s)."},
    {34, "Can't determine the number of data sets at UFF file."},
    {35, "Physical unit \"%s\" could not be converted."},
    {36, "Distribution function for abscissa not assignable."},
    {37, "SDF header structure swapping size mismatch."},
    {38, "All channels have to be of the same sample rate."},
    {39, "Allocation of memory for an SDF header structure failed."},
    {40, "Datatype \\\"%s\\\" cannot be converted."},
    {41, "Wrong size of SDF data set."},
    {42, "Several kinds of X-axis cannot be kept in one TRX file"},
    {43, "Either too many DATA_, VECTOR_ or CHANNEL_HDRs at SDF file\nor invalid SDF header !"},
    {44, "Physical unit \"%s\" could not be converted. Conversion successfully completed."},
    {45, "Invalid Scan Structure record (SDF_SCAN_STRUCT) found."},
    {46, "Not supported: xPerPoint or yPerPoint > 1"},
    {47, "Complex time data is not accepted."},
    {48, "3-D data set not yet supported."},
    {49, "More than %s input channels."},
    {50, "Invalid mapping factor.\nsdf__channel_hdr[ %s ].int2engrUnit = 0."},
    {51, "SDF_CHANNEL_HDR of SDF_VECTOR_HDR[%s] is missing."},
    {52, "Invalid Scan Big (SDF_SCAN_BIG) or Scan Variable (SDF_SCAN_VAR) record found."},
    {53, "Channels with different sampling rates found. Channels differing from the first one are excluded!"},
    {60, "Channels with unknown physical units found in associated LOG file.\n\n They are imported to TRX as \\\"%\\\" and the original mapping is lost.\n\nIf you don't want this, edit the LOG file using the abbreviations of si units.\nSi units may be combined, like \\\"m/s^2\\\"."},
    {61, "Reading information from the LOG file failed."},
    {70, "Reading the header information of the input file failed."},
    {71, "Probable wrong format of input file or missing HDR file.\nThe real size of the input file (DAT) doesn't match the size evaluated by the parameters taken from the header information."},
    {72, "Big endian file format (byte order: high-low) is not accepted. Switch off 'byte swap' at QuickVu."},
    {73, "Parameter with invalid value in the header of input file."},
    {74, "Data could not be converted to engineering units. SET file not found or it contains invalid parameters. Data was imported as voltage values."},
    {75, "Unsupported version of TAFFmat detected.\nOnly version 1 is accepted!"},
    {76, "Unsupported version of QuickVu file format.\nUse QuickVu-RD/Windows data file format version 1 please."},
    {77, "Reading header information from HDR file (TAFFmat) failed."},
    {78, "Parameter \"%s\" could not be found in HDR file (TAFFmat)."},
    {79, "Invalid storage mode detected. Only INTERLACED is supported."},
    {80, "External sampling is not supported (sampling frequency value = 1)."},
    {90, "Invalid divisor for sampling rate conversion.\nThe original sampling rate can be divided by 2, 4, 8 or 16."},
    {91, "Channel with given index doesn't exist."},
    {100, "Write access to %s is denied!\n\nDestination might be a CD ROM drive.\nSelect another destination path by the settings."},
    {101, "Destination drive is write protected!\n\nSwitch off write protection or\nselect another destination path by the settings."},
    {102, "Invalid format of input file or invalid header information.\n"},
    {103, "Invalid format of input file or invalid header information.\nThe number of channels found at the input file does not match the header information."},
    {104, "The number of bytes read from the input file doesn't match the number expected (header information)."},
    {105, "Invalid format of input file or invalid header information.\nInvalid number of channels."},
    {106, "MP3 converter failed."},
    {107, "Additional data could not be stored."},
    {108, "Evaluation of additional data failed."},
    {110, "Programming error: no output path was defined."},
    {111, "Path and name of input and output file are identical.\nPlease choose another name or path for the output file."},
    {112, "TRX data set could not be created for the file:\n%s"},
    {113, "Conversion has already been started."},
    {114, "Transferring data from input file %s failed."},
    {115, "Writing to the TRX data set failed."},
    {116, "Programming error: Invalid parameter values."},
    {117, "Reading from pulse file failed."},
    {120, "Conversion completed. NOTE: Degrees Of Freedom (DOF) could not be evaluated from the name of TRX channel. Check the syntax please. Example: 74+z (Node number and direction)"},
    {121, "The floating point format used by the UFF data set ist not supported!\nFloating point format has to be IEEE."},
    {122, "Invalid UFF data set found in %s\n."},
    {123, "No or no valid UFF 58 or 58b data sets found in %s."},
    {124, "Conversion failed at line number %s of the UFF file.\n."},
    {125, "The conversion of complex data from UFF to TRX failed."},
    {126, "Degrees of freedom (DOF) information found in UFF but could not be written to TRX header. Probably problems with COM technology."},
    {130, "Invalid format of input file or invalid headerinformation.\nRevision 1 of TputHeader structure and Revision 2 of setup structure expected."},
    {131, "Invalid format of input file or invalid header information.\nPAK throughput data expected."},
    {140, "WAVE file could not be read. Format might be wrong."},
    {141, "Data format not accepted.\nExpected:\nFormat category: 0x0001\nNumber of channels: 1 to 256\nSample size:  1 to 32 bit"},
    {142, "WAVE file could not be closed."},
    {143, "Conversion completed. WARNING: Improper WAVE file. Less bytes read than proclaimed at WAVE header."},
};

} // namespace

const char* TesselOwnText(unsigned id)
{
    auto it = std::lower_bound(std::begin(kTable), std::end(kTable), id,
                               [](const Entry& e, unsigned v) { return e.id < v; });
    return (it != std::end(kTable) && it->id == id) ? it->text : nullptr;
}
