#include "tests/avi/avi_parse.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <stdexcept>

#include "avi/four_cc.h"

std::string fourccText(uint32_t value) {
    std::string text;
    for (int i = 0; i < 4; ++i) {
        text.push_back(static_cast<char>(value >> (8 * i)));
    }
    return text;
}

uint16_t le16(std::span<const uint8_t> b, size_t at) {
    return static_cast<uint16_t>(b[at] | b[at + 1] << 8);
}

uint32_t le32(std::span<const uint8_t> b, size_t at) {
    return static_cast<uint32_t>(le16(b, at)) | static_cast<uint32_t>(le16(b, at + 2)) << 16;
}

uint64_t le64(std::span<const uint8_t> b, size_t at) {
    return static_cast<uint64_t>(le32(b, at)) | static_cast<uint64_t>(le32(b, at + 4)) << 32;
}

std::string Node::name() const {
    const bool list = id == fourCC("RIFF") || id == fourCC("LIST");
    return list ? fourccText(id) + " " + fourccText(listType) : fourccText(id);
}

namespace {

void walk(const ByteReader& read, uint64_t from, uint64_t to, int depth, std::vector<Node>& out) {
    uint64_t at = from;
    while (at + 8 <= to) {
        const std::vector<uint8_t> head = read(at, 8);
        Node node{le32(head, 0), 0, at, le32(head, 4), depth};
        const uint64_t next = at + 8 + node.size + (node.size & 1);
        if (at + 8 + node.size > to) {
            throw std::runtime_error(node.name() + " at " + std::to_string(at) + " runs past " +
                                     std::to_string(to));
        }
        const bool list = node.id == fourCC("RIFF") || node.id == fourCC("LIST");
        if (list) {
            node.listType = le32(read(at + 8, 4), 0);
        }
        out.push_back(node);
        if (list) {
            walk(read, at + 12, at + 8 + node.size, depth + 1, out);
        }
        at = next;
    }
}

struct Stream {
    bool video = false;
    uint32_t sampleSize = 0;
    Node strh;
    Node indx;
    std::vector<Node> ix;  // across the file
    std::vector<uint64_t> ixDuration;
    uint64_t duration = 0;
    uint32_t chunks = 0;
    uint32_t largest = 0;
};

int streamOf(const Node& n) {
    return (n.id & 0xFF) * 10 + ((n.id >> 8) & 0xFF) - '0' * 11;
}

uint64_t durationOf(const Stream& st, const Node& chunk) {
    return st.video ? 1 : chunk.size / std::max(st.sampleSize, 1U);
}

bool isData(const Node& n) {
    const std::string s = fourccText(n.id);
    return s.ends_with("dc") || s.ends_with("wb");
}

}  // namespace

std::vector<Node> parseTree(const ByteReader& read, uint64_t fileSize) {
    std::vector<Node> out;
    walk(read, 0, fileSize, 0, out);
    return out;
}

std::vector<std::string> checkIndexes(const ByteReader& read, const std::vector<Node>& tree) {
    std::vector<std::string> problems;
    auto expect = [&](bool ok, const std::string& what) {
        if (!ok) {
            problems.push_back(what);
        }
    };
    std::vector<Stream> streams;
    Node avih;
    Node dmlh;
    for (const Node& n : tree) {
        if (n.name() == "strh") {
            const std::vector<uint8_t> h = read(n.payload(), 56);
            streams.push_back({le32(h, 0) == fourCC("vids"), le32(h, 44), n, {}, {}, {}, 0, 0, 0});
        } else if (n.name() == "indx") {
            streams.back().indx = n;
        } else if (n.name() == "avih") {
            avih = n;
        } else if (n.name() == "dmlh") {
            dmlh = n;
        }
    }
    uint32_t firstSegmentFrames = 0;
    uint32_t allFrames = 0;
    uint32_t largestFootprint = 0;
    int segment = -1;
    uint64_t moviStart = 0;
    std::map<int, std::vector<Node>> data;  // this segment's data chunks by stream
    std::vector<Node> firstSegmentData;
    for (const Node& n : tree) {
        if (n.depth == 0) {
            expect(data.empty(), "data chunks without a standard index");
            ++segment;
            const uint64_t limit = segment == 0 ? 0x3FFFFFFE : 0x7FFFFFFE;
            expect(n.name() == (segment == 0 ? "RIFF AVI " : "RIFF AVIX"), "segment form");
            expect(8 + uint64_t{n.size} <= limit, "segment " + std::to_string(segment) + " size");
            data.clear();
        } else if (n.name() == "LIST movi") {
            moviStart = n.offset;
        } else if (n.depth == 2 && isData(n)) {
            const int s = streamOf(n);
            data[s].push_back(n);
            Stream& st = streams.at(static_cast<size_t>(s));
            ++st.chunks;
            st.duration += durationOf(st, n);
            st.largest = std::max(st.largest, n.size);
            largestFootprint = std::max(largestFootprint, n.size + 8 + (n.size & 1));
            allFrames += st.video ? 1 : 0;
            if (segment == 0) {
                firstSegmentFrames += st.video ? 1 : 0;
                firstSegmentData.push_back(n);
            }
        } else if (n.depth == 2 && fourccText(n.id).starts_with("ix")) {
            const int s = (n.id >> 16 & 0xFF) * 10 + (n.id >> 24) - '0' * 11;
            const std::vector<uint8_t> ix = read(n.payload(), n.size);
            const std::vector<Node>& chunks = data[s];
            const uint32_t count = le32(ix, 4);
            const std::string where = n.name() + " at " + std::to_string(n.offset);
            expect(le16(ix, 0) == 2 && ix[2] == 0 && ix[3] == 1, where + " kind");
            expect(le64(ix, 12) == moviStart, where + " base");
            expect(count > 0 && count == chunks.size() && n.size == 24 + 8 * count,
                   where + " count");
            for (size_t i = 0; i < std::min<size_t>(count, chunks.size()); ++i) {
                const uint32_t size = le32(ix, 28 + 8 * i);
                expect(moviStart + le32(ix, 24 + 8 * i) == chunks[i].payload(), where + " offset");
                expect((size & 0x7FFFFFFF) == chunks[i].size, where + " size");
                expect((size >> 31) == (streams[static_cast<size_t>(s)].video ? 0U : 1U),
                       where + " key frame bit");
            }
            Stream& st = streams.at(static_cast<size_t>(s));
            st.ix.push_back(n);
            uint64_t duration = 0;
            for (const Node& c : chunks) {
                duration += durationOf(st, c);
            }
            st.ixDuration.push_back(duration);
            data.erase(s);
        } else if (n.name() == "idx1") {
            const std::vector<uint8_t> idx = read(n.payload(), n.size);
            expect(n.size == 16 * firstSegmentData.size(), "idx1 count");
            for (size_t i = 0; i < std::min<size_t>(n.size / 16, firstSegmentData.size()); ++i) {
                const Node& c = firstSegmentData[i];
                const bool video = streams[static_cast<size_t>(streamOf(c))].video;
                expect(le32(idx, 16 * i) == c.id && le32(idx, 16 * i + 4) == (video ? 0x10U : 0U) &&
                           le32(idx, 16 * i + 8) == c.offset - moviStart - 8 &&
                           le32(idx, 16 * i + 12) == c.size,
                       "idx1 entry " + std::to_string(i));
            }
        }
    }
    expect(data.empty(), "data chunks without a standard index");
    expect(segment >= 0, "no RIFF");
    const std::vector<uint8_t> main = read(avih.payload(), 56);
    expect(le32(main, 16) == firstSegmentFrames, "avih dwTotalFrames");
    expect(le32(main, 24) == streams.size(), "avih dwStreams");
    expect(le32(main, 28) == largestFootprint, "avih dwSuggestedBufferSize");
    expect(le32(read(dmlh.payload(), 4), 0) == allFrames, "dmlh dwTotalFrames");
    for (size_t s = 0; s < streams.size(); ++s) {
        const Stream& st = streams[s];
        const std::string name = "stream " + std::to_string(s);
        const std::vector<uint8_t> strh = read(st.strh.payload(), 56);
        expect(le32(strh, 32) == st.duration, name + " dwLength");
        expect(le32(strh, 36) == st.largest, name + " dwSuggestedBufferSize");
        const std::vector<uint8_t> head = read(st.indx.payload(), 24);
        const uint32_t used = le32(head, 4);
        expect(le16(head, 0) == 4 && head[3] == 0 && used == st.ix.size(), name + " super index");
        const std::vector<uint8_t> entries = read(st.indx.payload() + 24, 16 * used);
        for (size_t i = 0; i < std::min<size_t>(used, st.ix.size()); ++i) {
            expect(le64(entries, 16 * i) == st.ix[i].offset &&
                       le32(entries, 16 * i + 8) == st.ix[i].size + 8 &&
                       le32(entries, 16 * i + 12) == st.ixDuration[i],
                   name + " super index entry " + std::to_string(i));
        }
    }
    return problems;
}

testing::AssertionResult sameBytes(std::span<const uint8_t> expected,
                                   std::span<const uint8_t> actual) {
    const size_t common = std::min(expected.size(), actual.size());
    for (size_t i = 0; i < common; ++i) {
        if (expected[i] != actual[i]) {
            char text[96];
            std::snprintf(text, sizeof text,
                          "first difference at offset %zu: expected 0x%02X, got 0x%02X", i,
                          expected[i], actual[i]);
            return testing::AssertionFailure() << text;
        }
    }
    if (expected.size() != actual.size()) {
        return testing::AssertionFailure()
               << "sizes differ: expected " << expected.size() << ", got " << actual.size();
    }
    return testing::AssertionSuccess();
}

std::vector<uint8_t> readWholeFile(const std::string& utf8Path) {
    std::ifstream in(std::filesystem::path(std::u8string(utf8Path.begin(), utf8Path.end())),
                     std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

ByteReader memoryReader(const std::vector<uint8_t>& bytes) {
    return [&bytes](uint64_t offset, size_t count) {
        if (offset > bytes.size() || count > bytes.size() - offset) {
            throw std::runtime_error("read past the end at " + std::to_string(offset));
        }
        const auto first = bytes.begin() + static_cast<std::ptrdiff_t>(offset);
        return std::vector<uint8_t>(first, first + static_cast<std::ptrdiff_t>(count));
    };
}
