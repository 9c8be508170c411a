#include "avi/avi_stream.h"
#include "avi/riff_layout.h"

#include "avi/four_cc.h"
#include "avi/little_endian_buffer.h"

namespace {

constexpr uint16_t kExtensibleTag = 0xFFFE;

uint8_t digit(uint64_t value) {
    return static_cast<uint8_t>('0' + value);
}

bool needsExtensible(uint16_t formatTag, uint16_t channels, uint16_t bitsPerSample,
                     uint32_t channelMask) {
    return channels > 2 || (channels == 1 && channelMask != 0) ||
           (channels == 2 && channelMask != 3) || bitsPerSample % 8 != 0 ||
           (formatTag == 1 && bitsPerSample > 16);
}

}  // namespace

AviStream::AviStream(uint64_t index, uint32_t fccType) : index(index) {
    header.fccType = fccType;
    superIndexHeader.dwChunkId = chunkId();
}

uint32_t AviStream::chunkId() const {
    uint8_t kind0 = '?';
    uint8_t kind1 = '?';
    if (header.fccType == fourCC("vids")) {
        kind0 = 'd';
        kind1 = 'c';
    } else if (header.fccType == fourCC("auds")) {
        kind0 = 'w';
        kind1 = 'b';
    }
    return fourCC(digit(index / 10), digit(index % 10), kind0, kind1);
}

uint32_t AviStream::indexChunkId() const {
    return fourCC('i', 'x', digit(index / 10), digit(index % 10));
}

void AviStream::setAudioFormat(uint16_t formatTag, uint16_t channels, uint32_t sampleRate,
                               uint16_t bitsPerSample, uint32_t channelMask) {
    header = AviStreamHeader{};
    header.fccType = fourCC("auds");
    header.dwQuality = 10000;
    const auto blockAlign = static_cast<uint16_t>((bitsPerSample + 7) / 8 * channels);
    header.dwScale = blockAlign;
    header.dwSampleSize = blockAlign;
    header.dwRate = blockAlign * sampleRate;  // unsigned, wraps as the 32-bit field does
    const auto containerBits = static_cast<uint16_t>((bitsPerSample + 7) / 8 * 8);
    const bool extensible = needsExtensible(formatTag, channels, bitsPerSample, channelMask);

    LittleEndianBuffer out(40);
    out.put16(extensible ? kExtensibleTag : formatTag);
    out.put16(channels);
    out.put32(sampleRate);
    out.put32(header.dwRate);  // nAvgBytesPerSec
    out.put16(blockAlign);
    out.put16(containerBits);
    if (extensible) {
        out.put16(22);             // cbSize
        out.put16(bitsPerSample);  // wValidBitsPerSample
        out.put32(channelMask);
        // SubFormat: the format tag in the published KSDATAFORMAT_SUBTYPE GUID pattern.
        out.put32(formatTag);
        out.put16(0x0000);
        out.put16(0x0010);
        const uint8_t tail[8] = {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
        out.putBytes(tail, sizeof tail);
    }
    format = out.take();
    superIndexHeader.dwChunkId = chunkId();
}

const StandardIndex& AviStream::buildStandardIndex(uint64_t moviStart, uint64_t chunkPos) {
    StandardIndex& ix = stdIndexes.emplace_back();
    ix.header.dwChunkId = chunkId();
    ix.header.qwBaseOffset = moviStart;
    ix.entries.reserve(pending.size());
    uint32_t duration = 0;
    for (const PendingChunk& p : pending) {
        StdIndexEntry& e = ix.entries.emplace_back();
        e.dwOffset = static_cast<uint32_t>(p.dataPos - moviStart);
        e.dwSize = p.keyFrame ? p.size : (p.size | StdIndexEntry::kNotKeyFrame);
        ++ix.header.nEntriesInUse;
        duration += p.duration;
    }
    pending.clear();
    superIndexEntries.push_back(SuperIndexEntry{
        chunkPos,
        static_cast<uint32_t>(StdIndexHeader::kSize + kChunkHeaderSize + 8 * ix.entries.size()),
        duration});
    ++superIndexHeader.nEntriesInUse;
    return ix;
}
