// The header records of an AVI file, in memory with their on-disk field names, and their layout.
// Callers fill the fields; serialize() lays them out field by field in file order.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "avi/little_endian_buffer.h"
#include "avi/little_endian_reader.h"

// "avih" payload.
struct AviMainHeader {
    static constexpr size_t kSize = 56;
    static constexpr uint32_t kHasIndex = 0x10;  // AVIF_HASINDEX

    uint32_t dwMicroSecPerFrame = 0;
    uint32_t dwMaxBytesPerSec = 0;
    uint32_t dwPaddingGranularity = 0;
    uint32_t dwFlags = 0;
    uint32_t dwTotalFrames = 0;
    uint32_t dwInitialFrames = 0;
    uint32_t dwStreams = 0;
    uint32_t dwSuggestedBufferSize = 0;
    uint32_t dwWidth = 0;
    uint32_t dwHeight = 0;
    std::array<uint32_t, 4> dwReserved{};

    void serialize(LittleEndianBuffer& out) const;
    [[nodiscard]] static AviMainHeader parse(LittleEndianReader& in);
};

struct AviRect {
    int16_t left = 0;
    int16_t top = 0;
    int16_t right = 0;
    int16_t bottom = 0;
};

// "strh" payload.
struct AviStreamHeader {
    static constexpr size_t kSize = 56;

    uint32_t fccType = 0;
    uint32_t fccHandler = 0;
    uint32_t dwFlags = 0;
    uint16_t wPriority = 0;
    uint16_t wLanguage = 0;
    uint32_t dwInitialFrames = 0;
    uint32_t dwScale = 0;
    uint32_t dwRate = 0;
    uint32_t dwStart = 0;
    uint32_t dwLength = 0;
    uint32_t dwSuggestedBufferSize = 0;
    uint32_t dwQuality = 0;
    uint32_t dwSampleSize = 0;
    AviRect rcFrame;

    void serialize(LittleEndianBuffer& out) const;
    [[nodiscard]] static AviStreamHeader parse(LittleEndianReader& in);
};

// "dmlh" payload: the whole file's frame count, then reserved space.
struct OdmlHeader {
    static constexpr size_t kSize = 248;

    uint32_t dwTotalFrames = 0;

    void serialize(LittleEndianBuffer& out) const;
};
