#pragma once
// QuickVu-RD/Windows recordings: a data file whose first 512 bytes are a
// binary header (little-endian), followed by the 16-bit samples of the used
// slots, interleaved; and optionally a SET file with engineering units per
// slot.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

struct SQuickVuHeader {
    static constexpr std::size_t kSize = 512;
    static constexpr int kSlots = 16;

    std::string sComment;                 // up to 401 characters
    std::uint8_t uVersion = 0;
    std::uint8_t uYear = 0, uMonth = 0, uDay = 0, uHour = 0, uMinute = 0, uSecond = 0;
    std::array<std::uint8_t, kSlots> channel{};   // channel number per slot, 0: unused
    std::uint32_t uTotalSamples = 0;      // 16-bit samples of all channels
    float fRate = 0.0f;                   // Hz
    std::array<std::uint8_t, kSlots> range{};     // input range code per slot, 1..6
    std::uint8_t uByteOrder = 0;          // 0: low-high

    // The 512 bytes at the start of the data file.
    static SQuickVuHeader Parse(const unsigned char* bytes);
    int UsedSlots() const;
    // Four-digit year: two digits below 70 are 20xx, the others 19xx.
    int Year() const { return uYear < 70 ? 2000 + uYear : 1900 + uYear; }
};

// Volts per count of an input range code 1..6; 0 for any other code.
double QuickVuVoltsPerCount(int rangeCode);

// The checks of a header against the length of its data file, in their
// order: 71 size, 72 byte order, 76 version, 7 no used slot, 73 range code
// (or a sampling rate that is no positive finite number). 0 when it passes.
unsigned CheckQuickVuHeader(const SQuickVuHeader& header, std::uint64_t fileLength);

struct SQuickVuSetRecord {
    std::string sName;   // up to 10 characters
    std::string sUnit;   // up to 10 characters
    float fFactor = 0.0f;   // engineering units per volt
    float fOffset = 0.0f;
};

struct SQuickVuSet {
    static constexpr std::size_t kSize = 665;
    std::array<SQuickVuSetRecord, SQuickVuHeader::kSlots> slots;
    bool bValid = false;
};

// Valid when all kSize bytes are there and every used slot has a factor that
// is a finite number other than 0.
SQuickVuSet ParseQuickVuSet(const unsigned char* bytes, std::size_t size, const SQuickVuHeader& header);
