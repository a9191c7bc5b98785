#pragma once
// The ".MP3Plus" file beside an MP3 file: what MP3 cannot carry of a TRX
// data set. It holds a banner line ("Orvano additional data for <MP3 path>"
// ending with CR LF), the source data set's file up to its first sample
// (magic, description and padding, verbatim), and, when the data set has
// sub-channels, the pulse-bit code of formats/mp3/PulseBitCode.h, chunk
// after chunk to the end of the file.

#include "formats/wave/WavImport.h"
#include "platform/CString.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace Mp3SideFile {

constexpr const char* kExtension = ".MP3Plus";
constexpr const char* kBannerStart = "Orvano additional data for ";
// The longest banner line a reader takes.
constexpr std::size_t kBannerMax = 8192;

// The side file of an MP3 path: its extension replaced by ".MP3Plus", or
// ".MP3Plus" appended when it has none.
CString PathFor(const char* mp3Path);

// The length of the banner line at the start of `data` (CR LF included):
// the first line break that the TRX magic follows, within kBannerMax bytes
// (so that a path holding a line break does not cut the banner short); 0
// when `data` does not start with a banner.
std::size_t BannerLength(const unsigned char* data, std::size_t size);

// Writes the side file of the data set `sourceTrx` for `mp3Path` at
// `sidePath` (written aside and renamed into place, so that a failure leaves
// whatever stood there). False with a reason in `error` on failure;
// `stop` is asked once per chunk.
bool Write(const char* sourceTrx, const char* mp3Path, const char* sidePath, std::string& error,
           const std::function<bool()>& stop);

// The same in two steps, so that the side file can be made while the MP3 is
// still being encoded: Write makes it under a new name beside `sidePath`,
// Commit renames it into place. One dropped uncommitted is removed.
class CAside {
public:
    CAside() = default;
    ~CAside() { Discard(); }
    CAside(const CAside&) = delete;
    CAside& operator=(const CAside&) = delete;
    bool Write(const char* sourceTrx, const char* mp3Path, const char* sidePath, std::string& error,
               const std::function<bool()>& stop);
    bool Commit(std::string& error);
    void Discard();

private:
    CString m_sAside;
    CString m_sSide;
};

// The side file of an MP3 file, read before the decoded data set exists
// (while the decoder runs) and applied to it after the WAVE import. As that
// import's filter it puts the pulse bits into the samples on their way in,
// which saves a pass over the data set; where it declines, Apply does it.
class CRestore : public IWaveSampleFilter {
public:
    CRestore();
    ~CRestore() override;
    CRestore(const CRestore&) = delete;
    CRestore& operator=(const CRestore&) = delete;

    // Reads the side file of `mp3Input`, when there is one. False when it is
    // there and cannot be used; Apply then says why, at its place in the job.
    bool Open(const char* mp3Input);
    // Applies the side file to the data set at `datasetPath` made from the
    // MP3: title, comment, date of recording, the channels' descriptions,
    // the sub-channels and their pulse bits, and the scan count. True also
    // when there is no side file (nothing changes). A pulse channel, which
    // no WAVE file holds, comes back after the decoded channels with the
    // bits of its sub-channels (the data set is written anew for it). A
    // sub-channel whose parent is neither decoded nor a pulse channel cannot
    // be restored: it is named in `warning` and the rest applies.
    bool Apply(const char* datasetPath, std::string& error, std::string& warning, const std::function<bool()>& stop);

    bool Accepts(int channels) override;
    bool Filter(std::int16_t* samples, int channels, long first, long scans) override;
    // Why Filter refused: a damaged or short pulse-bit code.
    const std::string& FilterError() const;

private:
    bool OpenSide(const char* mp3Input);
    struct SState;
    std::unique_ptr<SState> m;
};

}  // namespace Mp3SideFile
