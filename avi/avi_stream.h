// One stream of an AviWriter: its header and format as the caller describes them, and the index
// records the writer gathers for it. The container fills header and format directly for video and
// calls setAudioFormat for audio; the writer takes those bytes as they are.
#pragma once

#include <cstdint>
#include <vector>

#include "avi/avi_headers.h"
#include "avi/avi_index.h"

struct AviStream {
    // Well-formed chunk ids exist for stream indexes 0 to 99.
    AviStream(uint64_t index, uint32_t fccType);

    // Describes a PCM (formatTag 1) or IEEE float (3) stream: the stream header, and as format a
    // 16-byte WAVEFORMATEX, or a 40-byte WAVEFORMATEXTENSIBLE when the channel count, the channel
    // mask or the sample width cannot be said in the plain form.
    void setAudioFormat(uint16_t formatTag, uint16_t channels, uint32_t sampleRate,
                        uint16_t bitsPerSample, uint32_t channelMask);

    // Two digits of the index, then "dc" for video, "wb" for audio, "??" otherwise.
    [[nodiscard]] uint32_t chunkId() const;
    // "ix" then the two digits.
    [[nodiscard]] uint32_t indexChunkId() const;

    // Moves pending into a new standard index based at the segment's "movi" list, records the super
    // index entry for a chunk written at chunkPos, and returns the index to be written.
    const StandardIndex& buildStandardIndex(uint64_t moviStart, uint64_t chunkPos);

    uint64_t index;
    AviStreamHeader header;
    std::vector<uint8_t> format;  // "strf" payload
    std::vector<StandardIndex> stdIndexes;
    SuperIndexHeader superIndexHeader;
    std::vector<SuperIndexEntry> superIndexEntries;
    int64_t indxPos = -1;  // position of the "indx" payload once the header is written
    uint64_t indxSize = 0;
    int64_t strhPos = -1;
    std::vector<PendingChunk> pending;
};
