#pragma once
// A 16-bit PCM WAVE file written from the published RIFF layout, apart from
// the library's own writer, so that the samples a test expects are the
// literals it put in.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

namespace tessel::test {

// sample(frame, channel) gives the values; a non-zero dataSizeField is written
// as the data chunk's size instead of the true one.
inline void MakeWave(const std::filesystem::path& p, int channels, int frames,
                     const std::function<int(int, int)>& sample, unsigned rate = 8000,
                     std::uint32_t dataSizeField = 0)
{
    std::string b = "RIFF____WAVEfmt ";
    auto put16 = [&](unsigned v) {
        b += char(v & 0xFF);
        b += char(v >> 8 & 0xFF);
    };
    auto put32 = [&](std::uint32_t v) {
        put16(v & 0xFFFF);
        put16(v >> 16);
    };
    put32(16);
    put16(1);
    put16(unsigned(channels));
    put32(rate);
    put32(rate * 2 * unsigned(channels));
    put16(unsigned(2 * channels));
    put16(16);
    b += "data";
    put32(dataSizeField ? dataSizeField : std::uint32_t(2 * channels * frames));
    for (int f = 0; f < frames; ++f)
        for (int c = 0; c < channels; ++c)
            put16(unsigned(std::int16_t(sample(f, c))) & 0xFFFF);
    const std::uint32_t riff = std::uint32_t(b.size() - 8);
    for (int i = 0; i < 4; ++i)
        b[std::size_t(4 + i)] = char(riff >> (8 * i));
    std::ofstream(p, std::ios::binary) << b;
}

}  // namespace tessel::test
