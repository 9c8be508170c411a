#include "tests/avi_reader/avi_builder.h"

#include <string>

namespace avitest {
namespace {

constexpr uint32_t kSuperIndexRoom = 4;

class ByteWriter {
public:
    size_t pos() const { return m_data.size(); }
    void u8(uint8_t v) { m_data.push_back(v); }
    void u16(uint16_t v) {
        u8(uint8_t(v));
        u8(uint8_t(v >> 8));
    }
    void u32(uint32_t v) {
        u16(uint16_t(v));
        u16(uint16_t(v >> 16));
    }
    void u64(uint64_t v) {
        u32(uint32_t(v));
        u32(uint32_t(v >> 32));
    }
    void id(const char* four) { m_data.insert(m_data.end(), four, four + 4); }
    void zeros(size_t n) { m_data.resize(m_data.size() + n, 0); }
    void bytes(const std::vector<uint8_t>& b) { m_data.insert(m_data.end(), b.begin(), b.end()); }

    size_t open(const char* four) {
        const size_t at = pos();
        id(four);
        u32(0);
        return at;
    }
    size_t openList(const char* kind, const char* type) {
        const size_t at = open(kind);
        id(type);
        return at;
    }
    void close(size_t header) {
        const auto size = uint32_t(pos() - header - 8);
        patch32(header + 4, size);
        if (size & 1) u8(0);
    }
    void patch32(size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) m_data[at + size_t(i)] = uint8_t(v >> (8 * i));
    }
    void patch64(size_t at, uint64_t v) {
        patch32(at, uint32_t(v));
        patch32(at + 4, uint32_t(v >> 32));
    }
    std::vector<uint8_t> take() { return std::move(m_data); }

private:
    std::vector<uint8_t> m_data;
};

uint16_t blockAlign(const StreamPlan& s) {
    return uint16_t((s.bits + 7) / 8 * s.channels);
}

std::string chunkId(int stream, bool video) {
    std::string id = {char('0' + stream / 10), char('0' + stream % 10)};
    return id + (video ? "dc" : "wb");
}

uint32_t chunkId32(int stream, bool video) {
    const std::string id = chunkId(stream, video);
    return uint32_t(uint8_t(id[0])) | uint32_t(uint8_t(id[1])) << 8 |
           uint32_t(uint8_t(id[2])) << 16 | uint32_t(uint8_t(id[3])) << 24;
}

struct Written {
    size_t payload;
    uint32_t size;
};

struct OldEntry {
    uint32_t id;
    uint32_t flags;
    uint32_t offset;
    uint32_t size;
};

void writeStreamList(ByteWriter& w, const FilePlan& plan, size_t index, uint32_t length,
                     Layout& l) {
    const StreamPlan& s = plan.streams[index];
    const size_t strl = w.openList("LIST", "strl");
    const size_t strh = w.open("strh");
    l.strh.push_back(w.pos());
    w.id(s.video ? "vids" : "auds");
    w.u32(s.video ? s.handler : 0);
    w.u32(0);  // dwFlags
    w.u32(0);  // wPriority, wLanguage
    w.u32(0);  // dwInitialFrames
    w.u32(s.video ? s.scale : blockAlign(s));
    w.u32(s.video ? s.rate : blockAlign(s) * s.sampleRate);
    w.u32(0);  // dwStart
    w.u32(length);
    w.u32(0);  // dwSuggestedBufferSize: unknown
    w.u32(10000);
    w.u32(s.video ? 0 : blockAlign(s));
    w.u16(0);
    w.u16(0);
    w.u16(uint16_t(s.video ? s.width : 0));
    w.u16(uint16_t(s.video ? s.height : 0));
    w.close(strh);

    const size_t strf = w.open("strf");
    l.strf.push_back(w.pos());
    if (s.video) {
        w.u32(uint32_t(40 + s.privateBytes.size()));
        w.u32(uint32_t(s.width));
        w.u32(uint32_t(s.height));
        w.u16(1);
        w.u16(s.bitCount);
        w.u32(s.handler);
        w.u32(uint32_t(s.width * s.height * s.bitCount / 8));
        w.zeros(16);
        w.bytes(s.privateBytes);
    } else {
        w.u16(s.extensible ? 0xFFFE : 1);
        w.u16(s.channels);
        w.u32(s.sampleRate);
        w.u32(blockAlign(s) * s.sampleRate);
        w.u16(blockAlign(s));
        w.u16(uint16_t((s.bits + 7) / 8 * 8));
        if (s.extensible) {
            w.u16(22);
            w.u16(s.bits);
            w.u32(s.channelMask);
            w.bytes({1, 0, 0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71});
        }
    }
    w.close(strf);

    if (plan.openDml) {
        const size_t indx = w.open("indx");
        l.indx.push_back(w.pos());
        w.zeros(24 + 16 * kSuperIndexRoom);
        w.close(indx);
    }
    w.close(strl);
}

struct SuperEntry {
    uint64_t offset;
    uint32_t size;
    uint32_t duration;
};

}  // namespace

void Built::put32(size_t pos, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[pos + size_t(i)] = uint8_t(value >> (8 * i));
}

uint32_t Built::get32(size_t pos) const {
    return uint32_t(bytes[pos]) | uint32_t(bytes[pos + 1]) << 8 | uint32_t(bytes[pos + 2]) << 16 |
           uint32_t(bytes[pos + 3]) << 24;
}

uint8_t payloadByte(size_t header, int stream, size_t i) {
    return uint8_t(header * 31 + size_t(stream) * 7 + i);
}

Built buildAvi(const FilePlan& plan) {
    const size_t streams = plan.streams.size();
    std::vector<uint64_t> chunks(streams), bytes(streams);
    uint32_t firstSegmentFrames = 0;
    for (size_t seg = 0; seg < plan.segments.size(); ++seg) {
        for (const ChunkPlan& c : plan.segments[seg]) {
            chunks[size_t(c.stream)]++;
            bytes[size_t(c.stream)] += c.size;
            if (seg == 0 && plan.streams[size_t(c.stream)].video) firstSegmentFrames++;
        }
    }
    uint32_t totalFrames = 0;
    for (size_t s = 0; s < streams; ++s) {
        if (plan.streams[s].video) totalFrames += uint32_t(chunks[s]);
    }

    ByteWriter w;
    Built built;
    Layout& l = built.layout;
    std::vector<OldEntry> oldEntries;
    std::vector<std::vector<SuperEntry>> superEntries(streams);
    for (size_t seg = 0; seg < plan.segments.size(); ++seg) {
        const size_t riff = w.openList("RIFF", seg == 0 ? "AVI " : "AVIX");
        l.riff.push_back(riff);
        if (seg == 0) {
            const size_t hdrl = w.openList("LIST", "hdrl");
            const size_t avih = w.open("avih");
            l.avih = w.pos();
            w.u32(40000);
            w.u32(0);
            w.u32(0);
            w.u32(plan.oldIndex ? 0x10 : 0);
            w.u32(firstSegmentFrames);
            w.u32(0);
            w.u32(uint32_t(streams));
            w.u32(0);
            w.u32(uint32_t(plan.streams.empty() ? 0 : plan.streams[0].width));
            w.u32(uint32_t(plan.streams.empty() ? 0 : plan.streams[0].height));
            w.zeros(16);
            w.close(avih);
            for (size_t s = 0; s < streams; ++s) {
                const StreamPlan& st = plan.streams[s];
                const uint64_t length = st.video ? chunks[s] : bytes[s] / blockAlign(st);
                writeStreamList(w, plan, s, uint32_t(length), l);
            }
            if (plan.openDml) {
                const size_t odml = w.openList("LIST", "odml");
                const size_t dmlh = w.open("dmlh");
                l.dmlh = w.pos();
                w.u32(totalFrames);
                w.zeros(244);
                w.close(dmlh);
                w.close(odml);
            }
            w.close(hdrl);
        }
        const size_t movi = w.openList("LIST", "movi");
        l.movi.push_back(movi);
        l.chunks.emplace_back();
        std::vector<std::vector<Written>> written(streams);
        std::vector<ChunkPlan> list = plan.segments[seg];
        const bool extra = plan.unindexedChunk && plan.unindexedChunk->second == seg;
        if (extra) list.push_back({plan.unindexedChunk->first, 10});
        for (size_t i = 0; i < list.size(); ++i) {
            const ChunkPlan& c = list[i];
            const bool video = plan.streams[size_t(c.stream)].video;
            const size_t header = w.open(chunkId(c.stream, video).c_str());
            for (size_t b = 0; b < c.size; ++b) w.u8(payloadByte(header, c.stream, b));
            w.close(header);
            l.chunks[seg].push_back(header);
            if (extra && i + 1 == list.size()) break;
            written[size_t(c.stream)].push_back({header + 8, c.size});
            if (seg == 0) {
                oldEntries.push_back({chunkId32(c.stream, video), video ? 0x10u : 0u,
                                      uint32_t(header - (movi + 8)), c.size});
            }
        }
        for (size_t s = 0; plan.openDml && s < streams; ++s) {
            if (written[s].empty()) continue;
            const StreamPlan& st = plan.streams[s];
            const auto n = uint32_t(written[s].size());
            uint64_t duration = n;
            if (!st.video) {
                duration = 0;
                for (const Written& c : written[s]) duration += c.size / blockAlign(st);
            }
            l.ix[{int(s), seg}] = w.pos();
            superEntries[s].push_back({w.pos(), 32 + 8 * n, uint32_t(duration)});
            if (plan.skipStandardIndex == std::pair<int, size_t>(int(s), seg)) continue;
            const std::string id = "ix" + chunkId(int(s), st.video).substr(0, 2);
            const size_t ix = w.open(id.c_str());
            w.u16(2);
            w.u8(0);
            w.u8(1);
            w.u32(n);
            w.u32(chunkId32(int(s), st.video));
            w.u64(movi);
            w.u32(0);
            for (const Written& c : written[s]) {
                w.u32(uint32_t(c.payload - movi));
                w.u32(c.size | (st.video ? 0 : 0x80000000u));
            }
            w.close(ix);
        }
        w.close(movi);
        if (seg == 0 && plan.oldIndex) {
            const size_t idx1 = w.open("idx1");
            l.idx1 = w.pos();
            for (const OldEntry& e : oldEntries) {
                w.u32(e.id);
                w.u32(e.flags);
                w.u32(e.offset);
                w.u32(e.size);
            }
            w.close(idx1);
        }
        w.close(riff);
    }
    for (size_t s = 0; plan.openDml && s < streams; ++s) {
        const size_t at = l.indx[s];
        w.patch32(at, 4);  // wLongsPerEntry 4, index of indexes
        w.patch32(at + 4, uint32_t(superEntries[s].size()));
        w.patch32(at + 8, chunkId32(int(s), plan.streams[s].video));
        for (size_t i = 0; i < superEntries[s].size(); ++i) {
            const size_t e = at + 24 + 16 * i;
            w.patch64(e, superEntries[s][i].offset);
            w.patch32(e + 8, superEntries[s][i].size);
            w.patch32(e + 12, superEntries[s][i].duration);
        }
    }
    built.bytes = w.take();
    return built;
}

FilePlan twoSegmentPlan() {
    FilePlan plan;
    StreamPlan video;
    video.privateBytes = {'P', 'V', 1, 0};
    StreamPlan audio;
    audio.video = false;
    plan.streams = {video, audio};
    plan.segments = {{{0, 1001}, {1, 400}, {1, 400}, {0, 998}, {1, 400}, {0, 1200}, {1, 404}},
                     {{0, 900}, {1, 400}, {1, 400}, {0, 1003}, {1, 400}}};
    return plan;
}

}  // namespace avitest
