#pragma once
// What the reader learns from an AVI file: the decoded headers, every index as stored, every data
// chunk of every "movi" list, and a flat outline of the other chunks for printing. The structs keep
// the values exactly as found, so that the checker can compare what the headers and indexes claim
// with what the file holds; nothing here is corrected or inferred.
//
// Offsets are absolute file positions. A chunk's "offset" is where its 8-byte header starts; a data
// chunk is located by its payload, which is what the OpenDML standard indexes point at.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/avi_reader/problem.h"

namespace avireader {

inline constexpr uint32_t kAviHasIndex = 0x10;         // MainHeader::flags, AVIF_HASINDEX
inline constexpr uint32_t kOldIndexKeyFrame = 0x10;    // OldIndexEntry::flags, AVIIF_KEYFRAME
inline constexpr uint32_t kNotKeyFrame = 0x80000000u;  // StandardIndexEntry::size, bit 31

// "avih" (MainAVIHeader).
struct MainHeader {
    uint32_t microSecPerFrame = 0;
    uint32_t maxBytesPerSec = 0;
    uint32_t paddingGranularity = 0;
    uint32_t flags = 0;
    uint32_t totalFrames = 0;
    uint32_t initialFrames = 0;
    uint32_t streams = 0;
    uint32_t suggestedBufferSize = 0;
    uint32_t width = 0;
    uint32_t height = 0;
};

// "strh" (AVIStreamHeader). Old writers end it before rcFrame; the frame then reads as zeros.
struct StreamHeader {
    uint32_t type = 0;
    uint32_t handler = 0;
    uint32_t flags = 0;
    uint16_t priority = 0;
    uint16_t language = 0;
    uint32_t initialFrames = 0;
    uint32_t scale = 0;
    uint32_t rate = 0;
    uint32_t start = 0;
    uint32_t length = 0;
    uint32_t suggestedBufferSize = 0;
    uint32_t quality = 0;
    uint32_t sampleSize = 0;
    int16_t frameLeft = 0;
    int16_t frameTop = 0;
    int16_t frameRight = 0;
    int16_t frameBottom = 0;
};

// "strf" of a video stream: BITMAPINFOHEADER and whatever follows it (codec private bytes).
struct BitmapInfo {
    uint32_t size = 0;
    int32_t width = 0;
    int32_t height = 0;
    uint16_t planes = 0;
    uint16_t bitCount = 0;
    uint32_t compression = 0;
    uint32_t sizeImage = 0;
    int32_t xPelsPerMeter = 0;
    int32_t yPelsPerMeter = 0;
    uint32_t clrUsed = 0;
    uint32_t clrImportant = 0;
    std::vector<uint8_t> extra;
};

// "strf" of an audio stream: WAVEFORMATEX in its 14-byte (WAVEFORMAT), 16-byte (PCMWAVEFORMAT) or
// 18-byte form, or WAVEFORMATEXTENSIBLE.
struct WaveFormat {
    uint16_t formatTag = 0;
    uint16_t channels = 0;
    uint32_t samplesPerSec = 0;
    uint32_t avgBytesPerSec = 0;
    uint16_t blockAlign = 0;
    uint16_t bitsPerSample = 0;  // 0 in the 14-byte form
    std::optional<uint16_t> cbSize;
    bool extensible = false;  // tag 0xFFFE with the 22 extension bytes present
    uint16_t validBitsPerSample = 0;
    uint32_t channelMask = 0;
    std::array<uint8_t, 16> subFormat{};
};

struct SuperIndexEntry {
    uint64_t offset = 0;  // file position of a standard index chunk's header
    uint32_t size = 0;    // that chunk's size, header included
    uint32_t duration = 0;
};

// "indx" in a stream list (AVISUPERINDEX). `entries` holds the entries in use that fit in the
// chunk; `entriesInUse` is the count as stored, which may claim more.
struct SuperIndex {
    uint64_t chunkOffset = 0;
    uint32_t chunkSize = 0;
    uint16_t longsPerEntry = 0;
    uint8_t indexSubType = 0;
    uint8_t indexType = 0;
    uint32_t entriesInUse = 0;
    uint32_t chunkId = 0;
    std::vector<SuperIndexEntry> entries;
};

struct StandardIndexEntry {
    uint32_t offset = 0;  // payload position minus the index's base offset
    uint32_t size = 0;    // payload size; kNotKeyFrame set for chunks that are not key frames
};

// An "ix##" chunk (AVISTDINDEX), wherever it was found. `entries` as for SuperIndex.
struct StandardIndex {
    uint32_t id = 0;  // "ix00", "ix01", ...
    uint64_t chunkOffset = 0;
    uint32_t chunkSize = 0;
    size_t segment = 0;
    uint16_t longsPerEntry = 0;
    uint8_t indexSubType = 0;
    uint8_t indexType = 0;
    uint32_t entriesInUse = 0;
    uint32_t chunkId = 0;
    uint64_t baseOffset = 0;
    std::vector<StandardIndexEntry> entries;
};

struct OldIndexEntry {
    uint32_t chunkId = 0;
    uint32_t flags = 0;
    uint32_t offset = 0;  // to the chunk's header, from the "movi" FourCC (or, for some writers,
                          // from the start of the file)
    uint32_t size = 0;
};

// "idx1" (AVI 1.0 index).
struct OldIndex {
    uint64_t chunkOffset = 0;
    uint32_t chunkSize = 0;
    size_t segment = 0;
    std::vector<OldIndexEntry> entries;
};

// One data chunk of a "movi" list ("00dc", "01wb", ...). `stream` is -1 when the id does not start
// with two digits.
struct DataChunk {
    uint32_t id = 0;
    int stream = -1;
    size_t segment = 0;
    uint64_t offset = 0;  // payload
    uint32_t size = 0;    // as stored in the header (may run past the end of a damaged file)
};

struct Stream {
    std::optional<StreamHeader> header;
    std::vector<uint8_t> format;  // the "strf" payload as stored
    std::optional<BitmapInfo> video;
    std::optional<WaveFormat> audio;
    std::optional<SuperIndex> superIndex;
};

// One RIFF chunk at the top level of the file: "AVI " first, "AVIX" after it.
struct Segment {
    uint32_t form = 0;
    uint64_t offset = 0;
    uint32_t size = 0;                   // as stored
    std::optional<uint64_t> moviOffset;  // the first "movi" list's header
    size_t firstChunk = 0;               // this segment's data chunks in AviFile::chunks
    size_t chunkCount = 0;
    size_t recLists = 0;  // "rec " lists inside "movi"
};

// A chunk other than a data chunk, for the outline. `ref` indexes the decoded record that the
// chunk produced (streams for strl/strh/strf/indx, standardIndexes for ix##, segments for RIFF and
// movi), 0 for the singletons avih, dmlh and idx1, and -1 when nothing was decoded from it.
struct Node {
    int depth = 0;
    uint32_t id = 0;
    uint32_t listType = 0;  // for RIFF and LIST
    uint64_t offset = 0;
    uint32_t size = 0;
    int64_t ref = -1;
};

struct AviFile {
    uint64_t fileSize = 0;
    std::optional<MainHeader> mainHeader;
    std::optional<uint32_t> odmlTotalFrames;  // "dmlh" dwTotalFrames
    std::vector<Stream> streams;              // in "strl" order
    std::vector<Segment> segments;
    std::vector<DataChunk> chunks;  // in file order, hence by increasing offset
    std::vector<StandardIndex> standardIndexes;
    std::optional<OldIndex> oldIndex;
    std::vector<Node> nodes;
    std::vector<Problem> problems;  // found while reading: damage that stopped a part of the walk
};

}  // namespace avireader
