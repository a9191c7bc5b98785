#pragma once
// The state behind a CDataset and its accesses. Internal to the library.

#include "hostlibs/dataset/Access.h"
#include "hostlibs/dataset/DataStream.h"
#include "hostlibs/dataset/TrxFile.h"

#include <memory>
#include <vector>

class CDatasetCore {
public:
    CString sPath;
    int fd = -1;
    bool bWritable = false;
    bool bDirty = false;
    bool bLeftOpen = false;               // the file said it was still being written when opened
    // Opened complete, read only, under a lock that keeps writers out: the
    // file's scans then, which cannot change (0: ask the file every time).
    std::uint64_t uScansHeld = 0;
    std::uint64_t uDataOffset = 0;
    std::size_t nBuffer = 1u << 20;
    trx::SDescription desc;
    trx::SLayout layout;
    std::unique_ptr<CDataStream> stream;
    std::vector<std::unique_ptr<CAccess>> accesses;
    CAccess* pActive = nullptr;
    CString sError;
    CString sTempPath;                    // a subset's own temporary file, removed on close
    std::vector<unsigned char> chunk;     // transfer buffer

    ~CDatasetCore();

    void Relayout() { layout = trx::ComputeLayout(desc); }
    bool FlushStream();
    std::uint64_t FileSize() const;
    std::uint64_t DeclaredScans() const { return trx::DeclaredScans(desc); }
    // Whole scans the file holds, at most the declared ones.
    std::uint64_t AvailableScans() const;
    // Whole scans in the file, declared or not.
    std::uint64_t ScansInFile() const;
    bool ReadAt(std::uint64_t pos, void* p, std::size_t n, std::size_t* got = nullptr) const;
    bool WriteAt(std::uint64_t pos, const void* p, std::size_t n);
    unsigned char* Chunk(std::size_t n);

    // World value(s) of the stored abscissa at a file scan (band: centre).
    bool StoredAbscissa(std::uint64_t scan, double* values) const;
    // Extends abscissa 0 so that `scans` file scans are declared (false beyond its maximum).
    bool Grow(std::uint64_t scans);

    // Writes the description back: in place when it fits before the samples,
    // else into a new file that replaces this one.
    void WriteDescription();
    void CloseFile();
    CString SetError(CString text) { sError = std::move(text); return sError; }
};
