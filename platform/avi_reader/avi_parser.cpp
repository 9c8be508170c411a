#include "platform/avi_reader/avi_parser.h"

#include <algorithm>

#include "platform/avi_reader/file_source.h"
#include "platform/avi_reader/fourcc.h"
#include "platform/avi_reader/le_bytes.h"
#include "platform/avi_reader/text_cat.h"

namespace avireader {
namespace {

constexpr int kMaxDepth = 8;
// Formats are a few dozen bytes; a larger "strf" is kept only up to this much.
constexpr uint32_t kMaxFormatBytes = 1u << 20;

constexpr uint32_t kRiff = fourcc("RIFF");
constexpr uint32_t kList = fourcc("LIST");

enum class ListKind { Segment, Header, StreamList, Odml, Movi, Other };

struct Parent {
    uint32_t id;
    uint32_t type;
    uint64_t offset;
};

std::string describe(const Parent& parent) {
    return cat(fourccText(parent.id), " '", fourccText(parent.type), "' at ", parent.offset);
}

class Parser {
public:
    explicit Parser(ByteSource& source) : m_source(source) { m_file.fileSize = source.size(); }

    AviFile run() {
        walkTop();
        return std::move(m_file);
    }

private:
    void error(std::string text) { m_file.problems.push_back({Severity::Error, std::move(text)}); }
    void warning(std::string text) {
        m_file.problems.push_back({Severity::Warning, std::move(text)});
    }

    // Reads `count` bytes that the walk has already found to lie inside the file.
    std::vector<uint8_t> bytes(uint64_t offset, uint64_t count) {
        std::vector<uint8_t> data(static_cast<size_t>(count));
        const size_t got = m_source.read(offset, data.data(), data.size());
        if (got < data.size()) {
            error(cat("could read only ", got, " of ", count, " bytes at ", offset));
            data.resize(got);
        }
        return data;
    }

    // False, with a problem, when a chunk is too short for the structure it must hold.
    bool holds(uint32_t held, uint32_t need, uint32_t id, uint64_t pos, const char* what) {
        if (held >= need) return true;
        error(cat("'", fourccText(id), "' at ", pos, " has ", held, " bytes, too few for ", what));
        return false;
    }

    size_t addNode(int depth, uint32_t id, uint32_t listType, uint64_t offset, uint32_t size) {
        m_file.nodes.push_back({depth, id, listType, offset, size, -1});
        return m_file.nodes.size() - 1;
    }

    void walkTop() {
        const uint64_t end = m_file.fileSize;
        uint64_t pos = 0;
        while (pos < end) {
            if (end - pos < 12) {
                warning(cat(end - pos, " stray bytes at the end of the file, at ", pos));
                return;
            }
            const auto header = bytes(pos, 12);
            if (header.size() < 12) return;
            const uint32_t id = le32(header.data());
            const uint32_t size = le32(header.data() + 4);
            const uint64_t next = pos + 8 + size + (size & 1);
            if (id != kRiff) {
                if (pos == 0) {
                    error(cat("not a RIFF file: it starts with '", fourccText(id), "'"));
                    return;
                }
                warning(cat("chunk '", fourccText(id), "' at ", pos, " lies outside any RIFF"));
                addNode(0, id, 0, pos, size);
                pos = next;
                continue;
            }
            if (size < 4) {
                error(cat("RIFF at ", pos, " is too small to hold its form"));
                pos = next;
                continue;
            }
            const uint32_t form = le32(header.data() + 8);
            if (m_file.segments.empty() && form != fourcc("AVI ")) {
                error(cat("not an AVI file: its RIFF form is '", fourccText(form), "'"));
                return;
            }
            pos = std::max(next, walkSegment(pos, size, form));
        }
    }

    // Answers where the segment ends: past its stated size when it was never closed.
    uint64_t walkSegment(uint64_t pos, uint32_t size, uint32_t form) {
        const size_t index = m_file.segments.size();
        if (index > 0 && form != fourcc("AVIX")) {
            error(cat("RIFF at ", pos, " has form '", fourccText(form),
                      "'; segments after the first must be 'AVIX'"));
        }
        if (size & 1) error(cat("RIFF at ", pos, " has an odd size, ", size));
        uint64_t end = pos + 8 + size;
        m_segmentOpen = false;
        if (size == 4 && end < m_file.fileSize && startsList(end)) {
            // A writer that never closed the segment left the size it opened it with.
            error(cat("RIFF '", fourccText(form), "' at ", pos,
                      " was never closed: its size is still 4; read to the end of the file"));
            end = m_file.fileSize;
            m_segmentOpen = true;
        }
        if (end > m_file.fileSize) {
            error(cat("RIFF '", fourccText(form), "' at ", pos, " claims ", size,
                      " bytes but the file ends ", m_file.fileSize - pos - 8,
                      " bytes after its header"));
            end = m_file.fileSize;
        }
        Segment segment;
        segment.form = form;
        segment.offset = pos;
        segment.size = size;
        segment.firstChunk = m_file.chunks.size();
        m_file.segments.push_back(segment);
        m_file.nodes[addNode(0, kRiff, form, pos, size)].ref = int64_t(index);
        walk(pos + 12, end, 1, ListKind::Segment, {kRiff, form, pos});
        m_file.segments.back().chunkCount = m_file.chunks.size() - segment.firstChunk;
        return end;
    }

    void walk(uint64_t begin, uint64_t end, int depth, ListKind kind, const Parent& parent) {
        if (depth > kMaxDepth) {
            error(cat("lists nested deeper than ", kMaxDepth, " levels in ", describe(parent)));
            return;
        }
        uint64_t pos = begin;
        while (pos < end) {
            if (end - pos < 8) {
                error(cat(end - pos, " bytes at ", pos, " at the end of ", describe(parent),
                          " are too few for a chunk header"));
                return;
            }
            const auto header = bytes(pos, 8);
            if (header.size() < 8) return;
            const uint32_t id = le32(header.data());
            const uint32_t size = le32(header.data() + 4);
            const uint64_t room = end - pos - 8;
            if (size > room) {
                error(cat("chunk '", fourccText(id), "' at ", pos, " claims ", size,
                          " bytes but only ", room, " remain in ", describe(parent)));
            }
            uint32_t held = uint32_t(std::min<uint64_t>(size, room));
            // An empty "movi" has size 4 too; only an open segment's is taken as never closed.
            if (id == kList && size == 4 && room > 4 && kind == ListKind::Segment &&
                m_segmentOpen && isMovi(pos)) {
                error(
                    cat("LIST 'movi' at ", pos,
                        " was never closed: its size is still 4; read to the end of its segment"));
                held = uint32_t(std::min<uint64_t>(room, UINT32_MAX));
                onChunk(kind, depth, id, pos, size, held, parent);
                return;
            }
            onChunk(kind, depth, id, pos, size, held, parent);
            if (size > room) return;
            pos += 8 + uint64_t(size) + (size & 1);
        }
    }

    // Whether a LIST chunk starts at pos: what follows the header of a segment never closed.
    bool startsList(uint64_t pos) {
        if (m_file.fileSize - pos < 4) return false;
        const auto id = bytes(pos, 4);
        return id.size() == 4 && le32(id.data()) == kList;
    }

    bool isMovi(uint64_t pos) {
        const auto type = bytes(pos + 8, 4);
        return type.size() == 4 && le32(type.data()) == fourcc("movi");
    }

    // `held` is the part of the payload that lies inside the parent.
    void onChunk(ListKind kind, int depth, uint32_t id, uint64_t pos, uint32_t size, uint32_t held,
                 const Parent& parent) {
        if (id == kList || id == kRiff) {
            onList(kind, depth, id, pos, size, held, parent);
            return;
        }
        if (kind == ListKind::Movi && streamOfChunkId(id) >= 0) {
            m_file.chunks.push_back(
                {id, streamOfChunkId(id), m_file.segments.size() - 1, pos + 8, size});
            return;
        }
        const size_t node = addNode(depth, id, 0, pos, size);
        if (streamOfIndexId(id) >= 0 && (kind == ListKind::Movi || kind == ListKind::Segment)) {
            readStandardIndex(node, id, pos, size, held);
        } else if (kind == ListKind::Segment && id == fourcc("idx1")) {
            readOldIndex(node, pos, size, held);
        } else if (kind == ListKind::Header && id == fourcc("avih")) {
            readMainHeader(node, pos, held);
        } else if (kind == ListKind::StreamList) {
            readStreamChunk(node, id, pos, size, held);
        } else if (kind == ListKind::Odml && id == fourcc("dmlh")) {
            readOdmlHeader(node, pos, held);
        } else if (kind == ListKind::Movi && id != fourcc("JUNK")) {
            warning(
                cat("unexpected chunk '", fourccText(id), "' at ", pos, " in ", describe(parent)));
        }
    }

    void onList(ListKind kind, int depth, uint32_t id, uint64_t pos, uint32_t size, uint32_t held,
                const Parent& parent) {
        if (id == kRiff) {
            error(cat("RIFF chunk at ", pos, " nested in ", describe(parent)));
            addNode(depth, id, 0, pos, size);
            return;
        }
        if (held < 4) {
            error(cat("LIST at ", pos, " is too small to hold its type"));
            addNode(depth, id, 0, pos, size);
            return;
        }
        if (size & 1) error(cat("LIST at ", pos, " has an odd size, ", size));
        const auto typeBytes = bytes(pos + 8, 4);
        if (typeBytes.size() < 4) return;
        const uint32_t type = le32(typeBytes.data());
        const uint64_t begin = pos + 12;
        const uint64_t end = pos + 8 + held;
        const Parent self{id, type, pos};
        if (kind == ListKind::Movi && type == fourcc("rec ")) {
            // Grouping only: its chunks belong to the segment like any other.
            ++m_file.segments.back().recLists;
            walk(begin, end, depth + 1, ListKind::Movi, self);
            return;
        }
        const size_t node = addNode(depth, id, type, pos, size);
        ListKind inner = ListKind::Other;
        if (kind == ListKind::Segment && type == fourcc("hdrl")) {
            if (m_file.segments.size() > 1 || m_seenHeaderList) {
                error(cat("LIST 'hdrl' at ", pos, " is not the first segment's header list"));
                return;
            }
            m_seenHeaderList = true;
            inner = ListKind::Header;
        } else if (kind == ListKind::Segment && type == fourcc("movi")) {
            Segment& segment = m_file.segments.back();
            if (segment.moviOffset) {
                error(cat("second LIST 'movi' at ", pos, " in one RIFF segment"));
            } else {
                segment.moviOffset = pos;
            }
            m_file.nodes[node].ref = int64_t(m_file.segments.size() - 1);
            inner = ListKind::Movi;
        } else if (kind == ListKind::Header && type == fourcc("strl")) {
            m_file.streams.emplace_back();
            m_file.nodes[node].ref = int64_t(m_file.streams.size() - 1);
            inner = ListKind::StreamList;
        } else if (kind == ListKind::Header && type == fourcc("odml")) {
            inner = ListKind::Odml;
        }
        walk(begin, end, depth + 1, inner, self);
        if (inner == ListKind::StreamList) decodeFormat(m_file.streams.back());
    }

    void readMainHeader(size_t node, uint64_t pos, uint32_t held) {
        if (m_file.mainHeader) {
            error(cat("second 'avih' at ", pos));
            return;
        }
        if (!holds(held, 40, fourcc("avih"), pos, "a main header")) return;
        if (held < 56) warning(cat("'avih' at ", pos, " has ", held, " bytes instead of 56"));
        const auto b = bytes(pos + 8, 40);
        if (b.size() < 40) return;
        const uint8_t* p = b.data();
        MainHeader h;
        h.microSecPerFrame = le32(p);
        h.maxBytesPerSec = le32(p + 4);
        h.paddingGranularity = le32(p + 8);
        h.flags = le32(p + 12);
        h.totalFrames = le32(p + 16);
        h.initialFrames = le32(p + 20);
        h.streams = le32(p + 24);
        h.suggestedBufferSize = le32(p + 28);
        h.width = le32(p + 32);
        h.height = le32(p + 36);
        m_file.mainHeader = h;
        m_file.nodes[node].ref = 0;
    }

    void readOdmlHeader(size_t node, uint64_t pos, uint32_t held) {
        if (m_file.odmlTotalFrames) {
            error(cat("second 'dmlh' at ", pos));
            return;
        }
        if (!holds(held, 4, fourcc("dmlh"), pos, "the total frame count")) return;
        const auto b = bytes(pos + 8, 4);
        if (b.size() < 4) return;
        m_file.odmlTotalFrames = le32(b.data());
        m_file.nodes[node].ref = 0;
    }

    void readStreamChunk(size_t node, uint32_t id, uint64_t pos, uint32_t size, uint32_t held) {
        const int64_t index = int64_t(m_file.streams.size() - 1);
        Stream& stream = m_file.streams.back();
        if (id == fourcc("strh")) {
            if (stream.header) {
                error(cat("second 'strh' at ", pos, " in stream ", index));
                return;
            }
            readStreamHeader(stream, pos, held);
            if (stream.header) m_file.nodes[node].ref = index;
        } else if (id == fourcc("strf")) {
            if (!stream.format.empty()) {
                error(cat("second 'strf' at ", pos, " in stream ", index));
                return;
            }
            if (size > kMaxFormatBytes) {
                error(cat("'strf' at ", pos, " is ", size, " bytes long; only the first ",
                          kMaxFormatBytes, " are kept"));
            }
            stream.format = bytes(pos + 8, std::min(held, kMaxFormatBytes));
            m_file.nodes[node].ref = index;
        } else if (id == fourcc("indx")) {
            if (stream.superIndex) {
                error(cat("second 'indx' at ", pos, " in stream ", index));
                return;
            }
            readSuperIndex(stream, pos, size, held);
            if (stream.superIndex) m_file.nodes[node].ref = index;
        }
    }

    void readStreamHeader(Stream& stream, uint64_t pos, uint32_t held) {
        if (!holds(held, 48, fourcc("strh"), pos, "a stream header")) return;
        const auto b = bytes(pos + 8, std::min<uint32_t>(held, 56));
        if (b.size() < 48) return;
        const uint8_t* p = b.data();
        StreamHeader h;
        h.type = le32(p);
        h.handler = le32(p + 4);
        h.flags = le32(p + 8);
        h.priority = le16(p + 12);
        h.language = le16(p + 14);
        h.initialFrames = le32(p + 16);
        h.scale = le32(p + 20);
        h.rate = le32(p + 24);
        h.start = le32(p + 28);
        h.length = le32(p + 32);
        h.suggestedBufferSize = le32(p + 36);
        h.quality = le32(p + 40);
        h.sampleSize = le32(p + 44);
        if (b.size() >= 56) {
            h.frameLeft = int16_t(le16(p + 48));
            h.frameTop = int16_t(le16(p + 50));
            h.frameRight = int16_t(le16(p + 52));
            h.frameBottom = int16_t(le16(p + 54));
        }
        stream.header = h;
    }

    static void decodeFormat(Stream& stream) {
        if (!stream.header) return;
        const std::vector<uint8_t>& f = stream.format;
        const uint8_t* p = f.data();
        if (stream.header->type == fourcc("vids") && f.size() >= 40) {
            BitmapInfo v;
            v.size = le32(p);
            v.width = int32_t(le32(p + 4));
            v.height = int32_t(le32(p + 8));
            v.planes = le16(p + 12);
            v.bitCount = le16(p + 14);
            v.compression = le32(p + 16);
            v.sizeImage = le32(p + 20);
            v.xPelsPerMeter = int32_t(le32(p + 24));
            v.yPelsPerMeter = int32_t(le32(p + 28));
            v.clrUsed = le32(p + 32);
            v.clrImportant = le32(p + 36);
            v.extra.assign(f.begin() + 40, f.end());
            stream.video = std::move(v);
        } else if (stream.header->type == fourcc("auds") && f.size() >= 14) {
            WaveFormat a;
            a.formatTag = le16(p);
            a.channels = le16(p + 2);
            a.samplesPerSec = le32(p + 4);
            a.avgBytesPerSec = le32(p + 8);
            a.blockAlign = le16(p + 12);
            if (f.size() >= 16) a.bitsPerSample = le16(p + 14);
            if (f.size() >= 18) a.cbSize = le16(p + 16);
            if (a.formatTag == 0xFFFE && a.cbSize && *a.cbSize >= 22 && f.size() >= 40) {
                a.extensible = true;
                a.validBitsPerSample = le16(p + 18);
                a.channelMask = le32(p + 20);
                std::copy(p + 24, p + 40, a.subFormat.begin());
            }
            stream.audio = a;
        }
    }

    void readSuperIndex(Stream& stream, uint64_t pos, uint32_t size, uint32_t held) {
        if (!holds(held, 24, fourcc("indx"), pos, "an index header")) return;
        const auto head = bytes(pos + 8, 24);
        if (head.size() < 24) return;
        SuperIndex index;
        index.chunkOffset = pos;
        index.chunkSize = size;
        index.longsPerEntry = le16(head.data());
        index.indexSubType = head[2];
        index.indexType = head[3];
        index.entriesInUse = le32(head.data() + 4);
        index.chunkId = le32(head.data() + 8);
        // Entries are read only in the layout this reader knows, 4 longs each.
        if (index.longsPerEntry == 4) {
            const uint64_t count = std::min<uint64_t>(index.entriesInUse, (held - 24) / 16);
            const auto b = bytes(pos + 8 + 24, count * 16);
            for (size_t i = 0; i + 16 <= b.size(); i += 16) {
                index.entries.push_back({le64(&b[i]), le32(&b[i + 8]), le32(&b[i + 12])});
            }
        }
        stream.superIndex = std::move(index);
    }

    void readStandardIndex(size_t node, uint32_t id, uint64_t pos, uint32_t size, uint32_t held) {
        if (!holds(held, 24, id, pos, "an index header")) return;
        const auto head = bytes(pos + 8, 24);
        if (head.size() < 24) return;
        StandardIndex index;
        index.id = id;
        index.chunkOffset = pos;
        index.chunkSize = size;
        index.segment = m_file.segments.size() - 1;
        index.longsPerEntry = le16(head.data());
        index.indexSubType = head[2];
        index.indexType = head[3];
        index.entriesInUse = le32(head.data() + 4);
        index.chunkId = le32(head.data() + 8);
        index.baseOffset = le64(head.data() + 12);
        // Field indexes carry a third long per entry; the first two mean the same.
        if (index.longsPerEntry >= 2) {
            const uint64_t stride = uint64_t(4) * index.longsPerEntry;
            const uint64_t count = std::min<uint64_t>(index.entriesInUse, (held - 24) / stride);
            const auto b = bytes(pos + 8 + 24, count * stride);
            for (size_t i = 0; i + stride <= b.size(); i += size_t(stride)) {
                index.entries.push_back({le32(&b[i]), le32(&b[i + 4])});
            }
        }
        m_file.standardIndexes.push_back(std::move(index));
        m_file.nodes[node].ref = int64_t(m_file.standardIndexes.size() - 1);
    }

    void readOldIndex(size_t node, uint64_t pos, uint32_t size, uint32_t held) {
        if (m_file.oldIndex) {
            error(cat("second 'idx1' at ", pos));
            return;
        }
        if (size % 16)
            warning(
                cat("'idx1' at ", pos, " has a size, ", size, ", that is not a multiple of 16"));
        OldIndex index;
        index.chunkOffset = pos;
        index.chunkSize = size;
        index.segment = m_file.segments.size() - 1;
        const auto b = bytes(pos + 8, held - held % 16);
        for (size_t i = 0; i + 16 <= b.size(); i += 16) {
            index.entries.push_back(
                {le32(&b[i]), le32(&b[i + 4]), le32(&b[i + 8]), le32(&b[i + 12])});
        }
        m_file.oldIndex = std::move(index);
        m_file.nodes[node].ref = 0;
    }

    ByteSource& m_source;
    AviFile m_file;
    bool m_seenHeaderList = false;
    bool m_segmentOpen = false;  // the segment being walked was never closed
};

}  // namespace

AviFile parseAvi(ByteSource& source) {
    return Parser(source).run();
}

AviFile parseAvi(const uint8_t* data, size_t size) {
    MemorySource source(data, size);
    return parseAvi(source);
}

AviFile readAvi(const std::string& path) {
    FileSource source(path);
    if (!source.isOpen()) {
        AviFile file;
        file.problems.push_back({Severity::Error, cat("cannot open '", path, "'")});
        return file;
    }
    return parseAvi(source);
}

}  // namespace avireader
