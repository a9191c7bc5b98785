// What the fuzz targets share: findings, a scratch folder in memory, files
// made of the input, and the TRX lead-in that puts any bytes where the
// description parser reads them.

#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace fuzz {

// A broken invariant is a finding: the fuzzer keeps the input that broke it.
inline void Check(bool ok)
{
    if (!ok) __builtin_trap();
}

// A folder of this process on a memory-backed file system when there is one
// (a run creates, flushes and removes files for every input, and on a disk
// fsync alone holds a target at a few hundred runs a second). tmpfs memory is
// not given back by itself, so the folder goes when the run ends. The process
// also gets its own semaphore and configuration folders in it, so that
// fuzzing neither waits for nor disturbs conversions of the user.
inline const std::string& Scratch()
{
    static const std::string dir = [] {
        const char* tmp = std::getenv("TMPDIR");
        std::string t = std::string(::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : tmp ? tmp : "/tmp") +
                        "/tessel-fuzz-XXXXXX";
        if (!::mkdtemp(t.data())) std::abort();
        static std::string made = t;
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(made, ec);
        });
        for (const char* sub : {"sem", "config"}) std::filesystem::create_directory(t + "/" + sub);
        ::setenv("TESSEL_SEM_DIR", (t + "/sem").c_str(), 1);
        ::setenv("TESSEL_CONFIG_DIR", (t + "/config").c_str(), 1);
        return t;
    }();
    return dir;
}

inline void WriteFile(const std::string& path, const void* data, std::size_t size)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f || (size && std::fwrite(data, 1, size, f) != size)) std::abort();
    std::fclose(f);
}

inline bool Exists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

// A TRX file whose description is the given bytes, behind a valid lead-in
// (magic, version, description size and the offset of the samples, as
// docs/trx-format.md has them); the caller appends sample bytes.
inline void TrxAround(const std::uint8_t* description, std::size_t size, std::vector<unsigned char>& file)
{
    const std::uint64_t offset = (24 + size + 7) / 8 * 8;
    file.assign(offset, ' ');
    const unsigned char lead[12] = {0x89, 'T', 'R', 'X', '\r', '\n', 0x1A, '\n', 1, 0, 0, 0};
    std::memcpy(file.data(), lead, sizeof lead);
    const std::uint32_t n = std::uint32_t(size);
    std::memcpy(file.data() + 12, &n, 4);
    std::memcpy(file.data() + 16, &offset, 8);
    if (size) std::memcpy(file.data() + 24, description, size);
}

}  // namespace fuzz
