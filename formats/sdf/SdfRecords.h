#pragma once
// The records of an SDF file (Standard Data Format, revisions 2 and 3) at
// their file offsets. Every multi-byte field is big-endian in the file and
// host order in memory: each record passes its swap routine right after it
// is read and right before it is written. docs/sdf.md describes the fields.

#include "hostlibs/dataset/SdfCodes.h"

#include <cstddef>
#include <cstdint>

enum SdfRecordType : std::int16_t {
    SDF_FILE_HDR_TYPE = 10,
    SDF_MEAS_HDR_TYPE = 11,
    SDF_DATA_HDR_TYPE = 12,
    SDF_VECTOR_HDR_TYPE = 13,
    SDF_CHANNEL_HDR_TYPE = 14,
    SDF_SCAN_STRUCT_TYPE = 15,
    SDF_X_DATA_TYPE = 16,
    SDF_Y_DATA_TYPE = 17,
    SDF_SCAN_BIG_TYPE = 18,
    SDF_SCAN_VAR_TYPE = 19,
    SDF_COMMENT_HDR_TYPE = 20,
    SDF_UNIQUE_TYPE = 84,
};

#pragma pack(push, 1)

struct SDF_FILE_HDR {
    std::int16_t recordType;
    std::int32_t recordSize;
    std::int16_t revision;
    std::int16_t applic;
    std::int16_t yearStamp;
    std::int16_t monthDayStamp;
    std::int16_t hourMinuteStamp;
    char applicVer[8];
    std::int16_t numDataHdr;
    std::int16_t numVectorHdr;
    std::int16_t numChannelHdr;
    std::int16_t numUnique;
    std::int16_t numScanStruct;
    std::int16_t numXData;
    std::int32_t offsetDataHdr;
    std::int32_t offsetVectorHdr;
    std::int32_t offsetChannelHdr;
    std::int32_t offsetUnique;
    std::int32_t offsetScanStruct;
    std::int32_t offsetXData;
    std::int32_t offsetYData;
    std::int16_t numScanBig;
    std::int16_t numComment;
    std::int32_t offsetScanBig;
    std::int32_t offsetComment;
    std::int32_t offsetNextFile;
};

struct SDF_MEAS_HDR {
    std::int16_t recordType;
    std::int32_t recordSize;
    std::int32_t uniqueRecord;
    std::int32_t centerFreqOld;
    std::int32_t spanFreqOld;
    std::int32_t blockSize;
    std::int16_t zoomModeOn;
    std::int16_t startFreqIndexOld;
    std::int16_t stopFreqIndexOld;
    std::int16_t averageType;
    std::int32_t averageNum;
    std::int32_t pctOverlap;
    char measTitle[60];
    std::int32_t videoBandWidth;
    double centerFreq;
    double spanFreq;
    double sweepFreq;
    std::int16_t measType;
    std::int16_t realTime;
    std::int16_t detection;
    double sweepTime;
    std::int32_t startFreqIndex;
    std::int32_t stopFreqIndex;
    double expAvgNum;
};

struct SDF_DATA_HDR {
    std::int16_t recordType;
    std::int32_t recordSize;
    std::int32_t uniqueRecord;
    char dataTitle[16];
    std::int16_t domain;
    std::int16_t dataType;
    std::int16_t numPoints16;
    std::int16_t lastValidIndex16;
    float abscissaFirstX32;
    float abscissaDeltaX32;
    std::int16_t xResolutionType;
    std::int16_t xDataType;
    std::int16_t xPerPoint;
    std::int16_t yDataType;
    std::int16_t yPerPoint;
    std::int16_t yIsComplex;
    std::int16_t yIsNormalized;
    std::int16_t yIsPowerData;     // offset 56: complex values add up (re + im) when set
    std::int16_t yIsValid;
    std::int32_t firstVectorRecord;
    std::int16_t totalRows;
    std::int16_t totalCols;
    SDFSIUnit xUnit;
    std::int16_t yUnitValid;
    SDFSIUnit yUnit;
    double abscissaFirstX;
    double abscissaDeltaX;
    std::int16_t scanData;
    std::int16_t windowApplied;    // offset 132: the values already carry the window correction
    std::int32_t numPoints;
    std::int32_t lastValidIndex;
    std::int16_t overSampleFactor;
    std::int16_t multiPassRatio;
    std::int16_t multiPassDecimations;
};

struct SDF_VECTOR_HDR {
    std::int16_t recordType;
    std::int32_t recordSize;
    std::int32_t uniqueRecord;
    std::int16_t channelRecord[2];
    std::int16_t powerOfChannel[2];
};

struct SDF_CHANNEL_HDR {
    std::int16_t recordType;
    std::int32_t recordSize;
    std::int32_t uniqueRecord;
    char channelLabel[30];
    char moduleId[12];
    char serialNum[12];
    std::int16_t windowType;
    std::int16_t windowCorrMode;
    float windowBandwidth;
    float windowTimeConst;
    float windowTrunc;
    float wideBandCorr;
    float narrowBandCorr;
    std::int16_t weight;
    float delayOld;
    float range;
    std::int16_t direction;
    std::int16_t pointNum;
    std::int16_t coupling;
    std::int16_t overloaded;
    char intLabel[10];
    SDFSIUnit engUnit;
    float int2engrUnit;
    float inputImpedance;
    std::int16_t channelAttribute;
    std::int16_t aliasProtected;
    std::int16_t aliasFilter;
    double channelScale;
    double channelOffset;
    double gateBegin;
    double gateEnd;
    double userDelay;
    double delay;
    double resolution;
    std::int16_t channelNumber;
    std::int16_t channelModule;
};

struct SDF_SCAN_STRUCT {
    std::int16_t recordType;
    std::int32_t recordSize;
    std::int16_t numScans;
    std::int16_t lastScanIndex;
    std::int16_t scanType;
    std::int16_t scanVarType;
    SDFSIUnit scanUnit;
};

struct SDF_SCAN_BIG {
    std::int16_t recordType;
    std::int32_t recordSize;
    std::int32_t uniqueRecord;
    std::int32_t numScans;
    std::int32_t lastScanIndex;
    std::int16_t scanType;
};

struct SDF_SCAN_VAR {
    std::int16_t recordType;
    std::int32_t recordSize;
    std::int32_t uniqueRecord;
    std::int32_t headerSize;
    std::int16_t scanBigIndex;
    std::int16_t scanVarType;
    std::int16_t scanVarDataType;
    char scanVarLabel[10];
    std::int16_t scanVarOrder;
    SDFSIUnit scanVarUnit;
};

struct SDF_COMMENT_HDR {
    std::int16_t recordType;
    std::int32_t recordSize;
    std::int32_t uniqueRecord;
    std::int32_t textOffset;
    std::int32_t numBytes;
    std::int16_t commentType;
    std::int16_t scope;
    std::int16_t dataHdrIndex;
};

struct SDF_UNIQUE {
    std::int16_t recordType;
    std::int32_t recordSize;
    std::int32_t value;
};

// The prefix of the X and Y data records; the values follow it.
struct SDF_DATA_PREFIX {
    std::int16_t recordType;
    std::int32_t recordSize;
};

#pragma pack(pop)

static_assert(sizeof(SDF_FILE_HDR) == 80);
static_assert(sizeof(SDF_MEAS_HDR) == 156);
static_assert(sizeof(SDF_DATA_HDR) == 148);
static_assert(sizeof(SDF_VECTOR_HDR) == 18);
static_assert(sizeof(SDF_CHANNEL_HDR) == 212);
static_assert(sizeof(SDF_SCAN_STRUCT) == 36);
static_assert(sizeof(SDF_SCAN_BIG) == 20);
static_assert(sizeof(SDF_SCAN_VAR) == 54);
static_assert(sizeof(SDF_COMMENT_HDR) == 24);
static_assert(sizeof(SDF_UNIQUE) == 10);
static_assert(sizeof(SDF_DATA_PREFIX) == 6);
static_assert(offsetof(SDF_DATA_HDR, xUnit) == 68 && offsetof(SDF_DATA_HDR, abscissaFirstX) == 114 &&
              offsetof(SDF_DATA_HDR, numPoints) == 134);
static_assert(offsetof(SDF_CHANNEL_HDR, engUnit) == 116 && offsetof(SDF_CHANNEL_HDR, channelScale) == 152 &&
              offsetof(SDF_CHANNEL_HDR, channelNumber) == 208);
static_assert(offsetof(SDF_MEAS_HDR, centerFreq) == 102 && offsetof(SDF_MEAS_HDR, expAvgNum) == 148);

namespace Sdf {

// Reverses the bytes of each of `count` items of `size` bytes (2, 4 or 8;
// other sizes leave the buffer as it is).
void SwapBytes(void* buffer, int size, std::size_t count);
// Copies `count` items of `size` bytes (2, 4 or 8) from src to dst, each
// with its bytes reversed, stepping srcStride and dstStride bytes: traces
// into interleaved scans and back.
void CopySwapped(const void* src, std::size_t srcStride, void* dst, std::size_t dstStride, int size,
                 std::size_t count);

// Traces into scans: `channels` traces of `count` items of `size` bytes,
// trace c at src + c · traceStride, become `count` scans of one item per
// channel at dst, each item with its bytes reversed.
void InterleaveSwapped(const void* src, std::size_t traceStride, int channels, void* dst, int size,
                       std::size_t count);
// Scans into traces, the reverse of InterleaveSwapped.
void DeinterleaveSwapped(const void* src, int channels, void* dst, std::size_t traceStride, int size,
                         std::size_t count);
// One record between file and host byte order, in place. Each returns the
// bytes it covered: 80, 156, 148, 18, 212, 36, 20, 54, 24, 10 and 6.
int Swap(SDF_FILE_HDR& r);
int Swap(SDF_MEAS_HDR& r);
int Swap(SDF_DATA_HDR& r);
int Swap(SDF_VECTOR_HDR& r);
int Swap(SDF_CHANNEL_HDR& r);
int Swap(SDF_SCAN_STRUCT& r);
int Swap(SDF_SCAN_BIG& r);
int Swap(SDF_SCAN_VAR& r);
int Swap(SDF_COMMENT_HDR& r);
int Swap(SDF_UNIQUE& r);
int Swap(SDF_DATA_PREFIX& r);
int Swap(SDFSIUnit& r);

}  // namespace Sdf
