#pragma once
// The structures a PAK export writes: the throughput header and the setup
// structure with their fixed defaults, the text side files that list them
// ("Setup", "Kanalkonfig", "Kalib", "HW_111", "FFT", "MPlist"), and the four
// template files of a measurement directory. docs/pak.md lists the defaults.

#include "formats/pak/PakLayout.h"

#include <string>
#include <utility>
#include <vector>

namespace PakSetup {

// Setup offsets the export sets or the text files print beyond those of PakLayout.
constexpr std::size_t kSetHardware = 104;      // int32 2, then zeros
constexpr std::size_t kSetFftLines = 33920;    // int32, samples per block
constexpr std::size_t kSetFftRange = 33924;    // float, rate × 0.390625
constexpr std::size_t kSetFftHalf = 33928;     // float, half of that
constexpr std::size_t kSetChannelBlock = 34800;   // 4 int16 per channel
constexpr std::size_t ChannelBlock(int i) { return kSetChannelBlock + 8 * std::size_t(i); }

// A header of zeros with "LSB" and revision 1.
void InitHeader(unsigned char* header);
// The setup defaults: revision 2, 111, the blocks printed by the text files,
// every channel record unused (kind 0, quantity 65535).
void InitSetup(unsigned char* setup);

// The side files, from a little-endian setup; every line ends with a tab and
// a line feed.
std::string SetupText(const unsigned char* setup);
std::string KanalkonfigText(const unsigned char* setup);
std::string KalibText(const unsigned char* setup);
std::string HardwareText(const unsigned char* setup);
std::string FftText(const unsigned char* setup);
// One line per channel (name, LS for "pressure" and "level" quantities, KS
// otherwise), filled up to 256 lines with "\t\tLS\t\n".
std::string MPlistText(const std::vector<std::pair<std::string, bool>>& namesAndLs);

// "%.*g" with the precision lowered from n − 2 until the text fits n
// characters; empty when none does.
std::string FormatFitting(double value, int n);

// The template files of a measurement directory, built once per process:
// file name and bytes (HP Roman-8 text: ß is 0xDE).
struct STemplate {
    int iResource;
    const char* pszFile;
    std::string bytes;
};
const std::vector<STemplate>& Templates();

}  // namespace PakSetup
