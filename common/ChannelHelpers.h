#pragma once
// Small routines that several converters share: which channels of a TRX data
// set take part in an export, the value range of channels, numbered file
// names, byte order, sample sizes and the unit that belongs to a quantity
// name. They hold no state.

#include "hostlibs/dataset/Dataset.h"
#include "platform/CString.h"

namespace ChannelHelpers {

// Title of the channels that carry pulse bits.
inline constexpr const char* kPulseChannelTitle = "Pulse Channels";

// True for a channel that an export writes: its title is not exactly
// "Pulse Channels" and its implementation type is not 2 (pulse bits).
bool IsExportable(const CChannel& channel);

// Removes every listed channel that is not exportable; the others keep their order.
void RemovePulseChannels(CDataset& dataset, CChNbrList& channels);

// With a scan mode other than 1 and a non-empty list: removes every listed
// channel whose sampling rate differs from the first listed one's (exact
// comparison). True when at least one was removed.
bool RemoveChannelsOfOtherRate(CDataset& dataset, CChNbrList& channels);

// Appends the number to the base name, before the extension:
// "/d/name.dat" with 3 gives "/d/name3.dat".
void NumberFileName(CString& sPath, short nNumber);

// Starting values of a value range: the largest finite double and its negative.
double RangeStartMinimum();
double RangeStartMaximum();

// Smallest and largest value of the listed channels over all scans of
// abscissa 0, read in blocks of at most 65536 bytes as 32-bit floats (64-bit
// when a channel is of type 11 or 12). bKeepMapping: physical values (the
// channels' integer-to-physical mapping applied); otherwise the stored
// values. The data set's active access is the same afterwards. False when a
// block cannot be read; minimum and maximum stay at their starting values
// when there is nothing to read.
bool GetValueRange(CDataset& dataset, const CChNbrList& channels, double& dMinimum, double& dMaximum,
                   bool bKeepMapping);

// Reverses the bytes of each element in place; element sizes 2, 4 and 8 only,
// any other size leaves the buffer unchanged.
void ReverseByteOrder(void* pBuffer, int iElementSize, long lCount);

// Bytes of one sample of an implementation type; 0 for 0 and above 19.
int GetSampleSize(int iImplType);

// The unit that belongs to a quantity name (exact, case-sensitive): "pressure"
// gives "Pa", "temperature" the degree sign (0xB0) and "C", an unknown name
// "vU" (the virtual unit), an empty name or "index" an empty unit.
CString GetUnitForQuantity(const char* pszQuantity);

}  // namespace ChannelHelpers
