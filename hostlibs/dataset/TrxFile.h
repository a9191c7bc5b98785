#pragma once
// The TRX file layout: the fixed lead-in, the JSON description and the scan
// layout computed from it. Internal to the data-set library; the layout is
// documented in docs/trx-format.md.

#include "hostlibs/basics/DateTimeEx.h"
#include "hostlibs/dataset/Abscissa.h"
#include "hostlibs/dataset/Channel.h"
#include "hostlibs/dataset/Tags.h"

#include <cstdint>
#include <string>
#include <vector>

namespace trx {

constexpr unsigned char kMagic[8] = {0x89, 'T', 'R', 'X', '\r', '\n', 0x1A, '\n'};
constexpr int kVersionMajor = 1;
constexpr int kVersionMinor = 1;                   // 1: fields carry NumPy types; `open_for_writing`
constexpr std::size_t kLeadIn = 24;                      // magic, version, header length, data offset
constexpr std::uint64_t kMaxHeader = 16u << 20;          // description text
constexpr std::size_t kMaxChannels = 65536;
constexpr std::size_t kMaxPattern = 65536;
constexpr std::uint64_t kMaxScanBytes = 16u << 20;
constexpr std::uint64_t kMaxScans = std::uint64_t(1) << 48;
constexpr int kMaxNesting = 32;

// Everything the description holds.
struct SDescription {
    CString sTitle, sComment;
    CDateTimeEx date;
    int iKind = dk__time;
    int iOrganisation = ds__dorg_interleaved;
    int iScanMode = sm__single_rate;
    std::vector<int> pattern;            // scan mode 3 only
    CAbscissaList abscissas;
    CChannelList channels;
    std::vector<CTags> channelTags;      // one per channel
    CSubChannelList subChannels;
    // True from create (or an open for writing) until a clean close: a file
    // that still says so was left by a program that ended while writing it.
    bool bOpenForWriting = false;
};

// Where the samples of one scan lie.
struct SLayout {
    int iAbscType = it__none;            // stored abscissa 0: type and values per scan
    int iAbscValues = 0;
    std::uint64_t uScanBytes = 0;
    std::vector<int> entries;            // channel of each sample of a scan, in order
    std::vector<std::uint64_t> entryOffset;
    std::vector<std::vector<std::uint64_t>> channelOffsets;   // per channel: offsets of its samples
};

// Checks what a data set may hold; throws CDatasetException naming `path`.
void Validate(const SDescription& d, const CString& path);
SLayout ComputeLayout(const SDescription& d);
// Scans the description announces (abscissa 0, times abscissa 1 when present).
std::uint64_t DeclaredScans(const SDescription& d);

std::string WriteHeader(const SDescription& d, const SLayout& l);
// The NumPy type of `count` values of an implementation type ("<i2",
// "(2,)<i2" for a 16-bit complex, "(3,)|u1" for a 24-bit value); empty for
// types without samples.
std::string NumpyType(int implType, int count = 1);
// Throws CDatasetException naming `path` for anything malformed.
SDescription ReadHeader(const std::string& text, const CString& path);

// The bytes before the samples: lead-in, description, padding up to dataOffset.
std::string BuildLeadIn(const std::string& header, std::uint64_t dataOffset);
// Data offset with spare room for a description of this length, `phase`
// bytes past a multiple of `granule` (a power of two above the phase).
std::uint64_t DataOffsetFor(std::size_t headerLength, std::uint64_t phase = 0, std::uint64_t granule = 4096);
// The alignment every data offset of these samples keeps: the size of the
// largest number a sample is made of (a complex value's component, a byte of
// a 24-bit value), 1 for a data set without samples.
unsigned SampleAlignment(const SDescription& d, const SLayout& l);
// Granule of the data offset of a file created to receive a kernel copy: the
// page cache holds a file in folios of up to this size at aligned positions,
// and the kernel copies in pieces of this size, so a copy whose target lies
// at the source's position modulo the granule moves whole folios.
constexpr std::uint64_t kCopyGranule = 65536;

} // namespace trx
