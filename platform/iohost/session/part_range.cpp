#include "platform/iohost/session/part_range.h"

#include <algorithm>
#include <memory>

#include "avi/avi_writer.h"
#include "avi/four_cc.h"
#include "avi/little_endian_buffer.h"
#include "avi/little_endian_reader.h"
#include "fileio/platform_file.h"
#include "platform/iohost/session/append_buffer_file.h"
#include "platform/iohost/session/encode_session.h"
#include "platform/iohost/session/resume_session.h"

namespace iohost {

namespace {

constexpr size_t kRecordSize = 21;

// The last two entries of the video stream's super index: the writer reserves room for a file
// thousands of times a part's size and finalisation writes only the entries in use, so the
// record stays where readers and repair never look.
int64_t RecordPos(const AviScan& scan) {
    for (const ScannedStream& s : scan.streams)
        if (s.header.fccType == fourCC("vids") && s.indxPos >= 0 && s.indxSize >= 64)
            return s.indxPos + static_cast<int64_t>(s.indxSize) - 32;
    return -1;
}

std::string Frames(const PartRange& r) {
    return "frames " + std::to_string(r.first) + "-" + std::to_string(r.first + r.frames - 1);
}

uint64_t VideoChunks(const AviScan& scan) {
    uint64_t n = 0;
    for (const ScannedSegment& segment : scan.segments)
        for (const ScannedChunk& c : segment.chunks)
            n += scan.streams[c.stream].header.fccType == fourCC("vids") ? 1 : 0;
    return n;
}

}  // namespace

void WritePartRange(fileio::File& file, const AviScan& scan, const PartRange& range) {
    LittleEndianBuffer record(kRecordSize);
    record.putFourCC(fourCC("IOHP"));
    record.put64(range.first);
    record.put64(range.frames);
    record.put8(range.last ? 1 : 0);
    const int64_t pos = RecordPos(scan);
    std::vector<uint8_t> free(kRecordSize);
    // Entries in use there would mean a part too large for a record; a record there is the one
    // a resumed part had.
    const auto unused = [&] {
        return std::all_of(free.begin(), free.end(), [](uint8_t b) { return b == 0; }) ||
               LittleEndianReader(free).get32() == fourCC("IOHP");
    };
    if (pos < 0 || !file.seek(static_cast<uint64_t>(pos)) ||
        file.read(free.data(), free.size()) != free.size() || !unused() ||
        file.writeAt(record.data(), record.size(), pos) != record.size())
        throw std::runtime_error("cannot record the part's frames in its header");
}

void RecordPart(const std::string& path, const PartRange& range) {
    fileio::PlatformFile file;
    if (!file.open(path.c_str(), fileio::File::Read | fileio::File::Write | fileio::File::Existing))
        throw std::runtime_error("cannot open '" + path + "' to record its frames");
    const AviScan scan = scanAvi(file);
    if (scan.verdict != AviScan::Verdict::Ours)
        throw std::runtime_error("'" + path + "' cannot be read back: " + scan.reason);
    WritePartRange(file, scan, range);
}

uint64_t DropSound(AudioSource& audio, const PictureFormat& picture, uint64_t frame) {
    const AudioFormat& a = audio.format();
    const uint64_t until = AudioFramesUntil(frame, picture, a.sampleRate);
    std::vector<uint8_t> block(static_cast<size_t>(a.sampleRate) * a.blockAlign());
    uint64_t dropped = 0;
    while (dropped < until) {
        const auto want = static_cast<size_t>(std::min<uint64_t>(until - dropped, a.sampleRate));
        const size_t got = audio.read(block.data(), want);
        if (got == 0) break;
        dropped += got;
    }
    return dropped;
}

std::optional<PartRange> ReadPartRange(fileio::File& file, const AviScan& scan) {
    std::vector<uint8_t> bytes(kRecordSize);
    const int64_t pos = RecordPos(scan);
    if (pos < 0 || !file.seek(static_cast<uint64_t>(pos)) ||
        file.read(bytes.data(), bytes.size()) != bytes.size())
        return std::nullopt;
    LittleEndianReader in(bytes);
    if (in.get32() != fourCC("IOHP")) return std::nullopt;
    PartRange range;
    range.first = in.get64();
    range.frames = in.get64();
    range.last = in.get8() != 0;
    return range;
}

RangeSource::RangeSource(VideoSource& inner, uint64_t first, std::optional<uint64_t> count)
    : m_inner(inner), m_first(first), m_count(count) {}

bool RangeSource::skip() {
    std::vector<uint8_t> frame(static_cast<size_t>(format().frameBytes()));
    for (uint64_t i = 0; i < m_first; ++i)
        if (!m_inner.read(frame.data())) return false;
    return true;
}

bool RangeSource::read(uint8_t* frame) {
    if (m_count && m_done == *m_count) {
        std::vector<uint8_t> next(static_cast<size_t>(format().frameBytes()));
        m_reachedEnd = !m_inner.read(next.data());
        return false;
    }
    if (!m_inner.read(frame)) {
        m_reachedEnd = true;
        return false;
    }
    ++m_done;
    return true;
}

std::optional<uint64_t> RangeSource::frameCount() const {
    std::optional<uint64_t> n = m_inner.frameCount();
    if (n) n = *n > m_first ? *n - m_first : 0;
    if (m_count) n = n ? std::min(*n, *m_count) : *m_count;
    if (n) *n += m_first;
    return n;
}

JoinPart ReadPart(fileio::File& file, const std::string& path) {
    JoinPart part{path, scanAvi(file), {}};
    const std::string name = "'" + path + "'";
    if (part.scan.verdict != AviScan::Verdict::Ours)
        throw JoinRefused(name +
                          " is not an export of this plug-in's AVI writer: " + part.scan.reason);
    const std::optional<PartRange> range = ReadPartRange(file, part.scan);
    if (!range)
        throw JoinRefused(name + " is not a finished part: its range is recorded when encode " +
                          "--start-frame finishes it; encode it (again)");
    part.range = *range;
    if (VideoChunks(part.scan) != range->frames || part.scan.torn())
        throw JoinRefused(name + " is unfinished: it should hold " + Frames(*range) +
                          "; encode that part again");
    return part;
}

void CheckParts(const std::vector<JoinPart>& parts) {
    for (size_t i = 1; i < parts.size(); ++i) {
        const JoinPart &before = parts[i - 1], &part = parts[i];
        const std::string name = "'" + part.path + "'";
        try {
            CompareHeaders(part.scan, parts.front().scan);
        } catch (const ResumeRefused& e) {
            throw JoinRefused(name + " is not of the same export as '" + parts.front().path +
                              "': " + e.what());
        }
        const uint64_t next = before.range.first + before.range.frames;
        if (before.range.last)
            throw JoinRefused("'" + before.path + "' ends the input, yet " + name + " follows it");
        if (part.range.first > next)
            throw JoinRefused("gap: frames " + std::to_string(next) + "-" +
                              std::to_string(part.range.first - 1) + " are in no part (between '" +
                              before.path + "' and " + name + ")");
        if (part.range.first < next)
            throw JoinRefused("overlap: '" + before.path + "' holds " + Frames(before.range) +
                              ", " + name + " " + Frames(part.range));
    }
}

void JoinParts(fileio::File& out, const std::vector<JoinPart>& parts,
               const std::vector<fileio::File*>& files, const AviLimits& limits) {
    constexpr size_t kBlock = 1 << 20;
    AppendBufferFile buffered(out, kBlock);
    // The writer as the container set it up before the first chunk: the headers without what the
    // chunks add to them.
    const AviScan& first = parts.front().scan;
    AviWriter writer(buffered, limits);
    writer.mainHeader = first.mainHeader;
    writer.mainHeader.dwStreams = 0;
    writer.mainHeader.dwTotalFrames = 0;
    writer.mainHeader.dwSuggestedBufferSize = 0;
    for (const ScannedStream& found : first.streams) {
        AviStream& s = writer.stream(writer.addStream(found.header.fccType));
        s.header = found.header;
        s.header.dwLength = 0;
        s.header.dwSuggestedBufferSize = 0;
        s.format = found.format;
    }
    writer.writeHeader();
    // Left uninitialised: it is always read into before use.
    size_t spanCapacity = kBlock;
    auto span = std::make_unique_for_overwrite<uint8_t[]>(spanCapacity);
    for (size_t i = 0; i < parts.size(); ++i) {
        const AviScan& scan = parts[i].scan;
        fileio::File& in = *files[i];
        for (const ScannedSegment& segment : scan.segments) {
            const std::vector<ScannedChunk>& chunks = segment.chunks;
            // Chunks lie one after the other: each read takes as many as fit in a block.
            for (size_t c = 0; c < chunks.size();) {
                const uint64_t start = chunks[c].pos;
                size_t end = c + 1;
                while (end < chunks.size() &&
                       chunks[end].pos + 8 + chunks[end].size - start <= kBlock)
                    ++end;
                const uint64_t length = chunks[end - 1].pos + 8 + chunks[end - 1].size - start;
                if (length > spanCapacity) {
                    spanCapacity = static_cast<size_t>(length);
                    span = std::make_unique_for_overwrite<uint8_t[]>(spanCapacity);
                }
                const auto bytes = static_cast<size_t>(length);
                if (!in.seek(start) || in.read(span.get(), bytes) != bytes)
                    throw std::runtime_error("cannot read '" + parts[i].path + "' at byte " +
                                             std::to_string(start));
                for (; c < end; ++c) {
                    // Durations and key frames as the container gives them.
                    const ScannedChunk& chunk = chunks[c];
                    const AviStreamHeader& h = scan.streams[chunk.stream].header;
                    const bool video = h.fccType == fourCC("vids");
                    const uint32_t duration =
                        video ? 1 : (h.dwSampleSize != 0 ? chunk.size / h.dwSampleSize : 0);
                    writer.writeChunk(chunk.stream, span.get() + (chunk.pos + 8 - start),
                                      chunk.size, duration, video);
                }
            }
        }
    }
    writer.finalize();
    if (!buffered.flush()) throw std::runtime_error("cannot write the joined file");
}

}  // namespace iohost
