#include "tests/avi_reader/avi_builder.h"

#include <initializer_list>

namespace avitest {
namespace {

constexpr uint32_t kSuperIndexRoom = 4, kBlockAlign = 4;

uint32_t fourcc(const std::string& id) {
    return uint32_t(uint8_t(id[0])) | uint32_t(uint8_t(id[1])) << 8 |
           uint32_t(uint8_t(id[2])) << 16 | uint32_t(uint8_t(id[3])) << 24;
}

std::string chunkId(size_t stream, bool video) {
    return std::string{'0', char('0' + stream)} + (video ? "dc" : "wb");
}

struct Writer {
    std::vector<uint8_t> d;

    size_t pos() const { return d.size(); }
    void u32s(std::initializer_list<uint64_t> values) {  // the low 32 bits of each
        for (uint64_t v : values)
            for (int i = 0; i < 4; ++i) d.push_back(uint8_t(v >> (8 * i)));
    }
    void patch(size_t at, uint64_t v) {
        for (size_t i = 0; i < 4; ++i) d[at + i] = uint8_t(v >> (8 * i));
    }
    size_t open(const std::string& id, const char* listType = nullptr) {
        const size_t at = pos();
        u32s({fourcc(id), 0});
        if (listType != nullptr) u32s({fourcc(listType)});
        return at;
    }
    void close(size_t header) {  // the size, then a pad byte after an odd payload
        patch(header + 4, pos() - header - 8);
        if ((pos() - header) & 1) d.push_back(0);
    }
};

// The payload byte at `i` of a chunk of `stream` whose header is at `header`.
uint8_t payloadByte(size_t header, int stream, size_t i) {
    return uint8_t(header * 31 + size_t(stream) * 7 + i);
}

}  // namespace

Built buildAvi(const FilePlan& plan) {
    const size_t streams = plan.video.size();
    std::vector<uint32_t> length(streams), superUsed(streams);
    uint32_t firstSegmentFrames = 0, totalFrames = 0;
    for (size_t seg = 0; seg < plan.segments.size(); ++seg)
        for (const ChunkPlan& c : plan.segments[seg]) {
            const size_t s = size_t(c.stream);
            length[s] += plan.video[s] ? 1 : c.size / kBlockAlign;
            totalFrames += plan.video[s];
            firstSegmentFrames += plan.video[s] && seg == 0;
        }
    Writer w;
    Built built;
    auto& at = built.at;
    std::vector<uint64_t> oldIndex;  // idx1 entries: dwChunkId, dwFlags, dwOffset, dwSize
    for (size_t seg = 0; seg < plan.segments.size(); ++seg) {
        const std::string n = std::to_string(seg);
        const size_t riff = at["riff" + n] = w.open("RIFF", seg == 0 ? "AVI " : "AVIX");
        if (seg == 0) {
            const size_t hdrl = w.open("LIST", "hdrl"), avih = w.open("avih");
            // dwMicroSecPerFrame, dwMaxBytesPerSec, dwPaddingGranularity, dwFlags (has idx1),
            // dwTotalFrames, dwInitialFrames, dwStreams, dwSuggestedBufferSize, dwWidth,
            // dwHeight, dwReserved[4]
            at["avih"] = w.pos();
            w.u32s({40000, 0, 0, 0x10, firstSegmentFrames, 0, streams, 0, 64, 48, 0, 0, 0, 0});
            w.close(avih);
            for (size_t s = 0; s < streams; ++s) {
                const bool video = plan.video[s];
                const std::string k = std::to_string(s);
                const size_t strl = w.open("LIST", "strl"), strh = w.open("strh");
                // fccType, fccHandler, dwFlags, wPriority/wLanguage, dwInitialFrames, dwScale,
                // dwRate, dwStart, dwLength, dwSuggestedBufferSize, dwQuality, dwSampleSize,
                // rcFrame
                at["strh" + k] = w.pos();
                w.u32s({fourcc(video ? "vids" : "auds"), video ? fourcc("P8RG") : 0, 0, 0, 0,
                        video ? 1 : kBlockAlign, video ? 25 : kBlockAlign * 48000, 0, length[s], 0,
                        10000, video ? 0 : kBlockAlign, 0, video ? 64u | 48u << 16 : 0});
                w.close(strh);
                const size_t strf = w.open("strf");
                at["strf" + k] = w.pos();
                // Video: biSize, biWidth, biHeight, biPlanes/biBitCount, biCompression,
                // biSizeImage, four zero fields, private bytes 'P' 'V' 1 0. Audio: wFormatTag/
                // nChannels, nSamplesPerSec, nAvgBytesPerSec, nBlockAlign/wBitsPerSample.
                if (video)
                    w.u32s({44, 64, 48, 1 | 24 << 16, fourcc("P8RG"), 64 * 48 * 3, 0, 0, 0, 0,
                            0x00015650});
                else
                    w.u32s({1 | 2 << 16, 48000, kBlockAlign * 48000, kBlockAlign | 16 << 16});
                w.close(strf);
                if (plan.openDml) {
                    // wLongsPerEntry 4 (an index of indexes), nEntriesInUse, dwChunkId,
                    // dwReserved[3], then room for entries, filled in as the ix chunks are written
                    const size_t indx = w.open("indx");
                    at["indx" + k] = w.pos();
                    w.u32s({4, 0, fourcc(chunkId(s, video))});
                    w.d.resize(w.pos() + 12 + 16 * kSuperIndexRoom);
                    w.close(indx);
                }
                w.close(strl);
            }
            if (plan.openDml) {
                const size_t odml = w.open("LIST", "odml"), dmlh = w.open("dmlh");
                at["dmlh"] = w.pos();
                w.u32s({totalFrames});
                w.d.resize(w.pos() + 244);
                w.close(dmlh);
                w.close(odml);
            }
            w.close(hdrl);
        }
        const size_t movi = at["movi" + n] = w.open("LIST", "movi");
        std::vector<std::vector<uint64_t>> indexed(streams);  // offset and size per chunk
        for (size_t i = 0; i < plan.segments[seg].size(); ++i) {
            const ChunkPlan& c = plan.segments[seg][i];
            const bool video = plan.video[size_t(c.stream)];
            const size_t header = at["chunk" + n + "." + std::to_string(i)] =
                w.open(chunkId(size_t(c.stream), video));
            for (size_t b = 0; b < c.size; ++b) w.d.push_back(payloadByte(header, c.stream, b));
            w.close(header);
            indexed[size_t(c.stream)].insert(indexed[size_t(c.stream)].end(),
                                             {header + 8 - movi, c.size});
            if (seg == 0)
                oldIndex.insert(oldIndex.end(), {fourcc(chunkId(size_t(c.stream), video)),
                                                 video ? 0x10u : 0, header - movi - 8, c.size});
        }
        for (size_t s = 0; plan.openDml && s < streams; ++s) {
            if (indexed[s].empty()) continue;
            const bool video = plan.video[s];
            const uint64_t entries = indexed[s].size() / 2;
            uint64_t duration = 0;
            for (size_t i = 1; i < indexed[s].size(); i += 2)
                duration += video ? 1 : indexed[s][i] / kBlockAlign;
            // This segment's super index entry (qwOffset, dwSize, dwDuration) and the count.
            const size_t indx = at["indx" + std::to_string(s)],
                         entry = indx + 24 + 16 * superUsed[s];
            w.patch(indx + 4, ++superUsed[s]);
            w.patch(entry, w.pos());
            w.patch(entry + 8, 32 + 8 * entries);
            w.patch(entry + 12, duration);
            const size_t ix = at["ix0" + std::to_string(s) + "." + n] =
                w.open("ix" + chunkId(s, video).substr(0, 2));
            // wLongsPerEntry 2, bIndexSubType 0, bIndexType 1 (of chunks), nEntriesInUse,
            // dwChunkId, qwBaseOffset, dwReserved, then per entry the offset and the size (bit 31
            // set for chunks that are not key frames)
            w.u32s({2 | 1 << 24, entries, fourcc(chunkId(s, video)), movi, movi >> 32, 0});
            for (size_t i = 0; i < indexed[s].size(); i += 2)
                w.u32s({indexed[s][i], indexed[s][i + 1] | (video ? 0 : 0x80000000u)});
            w.close(ix);
        }
        w.close(movi);
        if (seg == 0) {
            const size_t idx1 = w.open("idx1");
            at["idx1"] = w.pos();
            for (uint64_t v : oldIndex) w.u32s({v});
            w.close(idx1);
        }
        w.close(riff);
    }
    built.bytes = std::move(w.d);
    return built;
}

FilePlan twoSegmentPlan() {
    return {{true, false},
            {{{0, 1001}, {1, 400}, {1, 400}, {0, 998}, {1, 400}, {0, 1200}, {1, 404}},
             {{0, 900}, {1, 400}, {1, 400}, {0, 1003}, {1, 400}}}};
}

}  // namespace avitest
