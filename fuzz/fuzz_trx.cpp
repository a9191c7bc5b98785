// Opens any bytes as a TRX data set and reads every channel, twice: the bytes
// as a whole file, and the bytes as the description behind a valid lead-in
// (so that the description parser and its checks get most of the work).
// Refusals are CDatasetException; anything else is a finding, and so is a
// data set that the library writes back but cannot open again.

#include "hostlibs/dataset/Dataset.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

std::string ScratchFile()
{
    static std::string path = [] {
        // A memory-backed file system when there is one: each input is
        // written, opened, rewritten and renamed, and on a disk the saves'
        // fsync alone held the target at a few hundred runs a second.
        std::string dir = std::string(access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") + "/tessel-fuzz-trx-XXXXXX";
        if (!mkdtemp(dir.data())) std::abort();
        // Memory is not given back by itself: the folder goes when the run ends.
        static std::string made = dir;
        std::atexit([] { std::filesystem::remove_all(made); });
        return dir + "/in.trx";
    }();
    return path;
}

void Write(const std::string& path, const std::vector<unsigned char>& bytes)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) std::abort();
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) std::abort();
    std::fclose(f);
}

void ReadEverything(CDataset& ds)
{
    std::vector<unsigned char> buf(16 * 4 * 64);
    int n = std::min(ds.GetNbrOfChannels(), 32);
    const int types[] = {it__double, it__int16, it__cfloat, it__pulse, it__int24};
    for (int c = -1; c < n; ++c) {
        CChNbrList l;
        if (c >= 0) l.Add(c);
        CAccess* a = ds.CreateAccess(am__read, l);
        if (!a) continue;
        a->SetAbscissaCoord(c % 3 == 0 ? ac__band : ac__world);
        a->SetAccessModeToComplexData(c % 8 - 1);
        int type = types[(c + 1) % 5];
        long total = 0;
        while (!a->Finished()) {
            long k = a->GetData(64, buf.data(), c % 2 ? ds__dorg_interleaved : ds__dorg_with_abscissa, type);
            if (k <= 0) break;
            if (k > 64) __builtin_trap();
            total += k;
            if (total > a->GetNbrOfScans()) __builtin_trap();
        }
        ds.DeleteAccess(a);
    }
}

void Exercise(const std::string& path)
{
    for (int mode : {int(om__read), om__read_complete}) {
        try {
            CDataset ds(path.c_str(), mode, 0, sh__deny_none);
            ReadEverything(ds);
        } catch (const CDatasetException&) {
        }
    }
    bool written = false;
    try {
        CDataset ds(path.c_str(), om__readwrite, 0, sh__deny_none);
        ds.SetComment("fuzz");
        ds.Close();
        written = true;
    } catch (const CDatasetException&) {
    }
    if (written) {
        try {
            CDataset again(path.c_str(), om__read, 0, sh__deny_none);
            if (again.GetComment() != "fuzz") __builtin_trap();
        } catch (const CDatasetException&) {
            __builtin_trap();   // the library wrote a description it cannot read
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string path = ScratchFile();
    Write(path, std::vector<unsigned char>(data, data + size));
    Exercise(path);

    // The input as the description: lead-in as documented, then 256 sample bytes.
    std::uint64_t offset = (24 + size + 7) / 8 * 8;
    std::vector<unsigned char> file(offset, ' ');
    const unsigned char magic[8] = {0x89, 'T', 'R', 'X', '\r', '\n', 0x1A, '\n'};
    std::memcpy(file.data(), magic, 8);
    file[8] = 1;
    file[9] = file[10] = file[11] = 0;
    std::uint32_t h = std::uint32_t(size);
    std::memcpy(file.data() + 12, &h, 4);
    std::memcpy(file.data() + 16, &offset, 8);
    if (size) std::memcpy(file.data() + 24, data, size);
    for (int i = 0; i < 256; ++i) file.push_back(static_cast<unsigned char>(i * 37 + (size ? data[std::size_t(i) % size] : 0)));
    Write(path, file);
    Exercise(path);
    return 0;
}
