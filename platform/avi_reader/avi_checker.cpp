#include "platform/avi_reader/avi_checker.h"

#include <algorithm>
#include <map>
#include <string>

#include "platform/avi_reader/fourcc.h"
#include "platform/avi_reader/text_cat.h"

namespace avireader {
namespace {

constexpr uint64_t kFirstSegmentLimit = uint64_t(1) << 30;
constexpr uint64_t kLaterSegmentLimit = uint64_t(2) << 30;
constexpr uint32_t kSizeMask = ~kNotKeyFrame;
constexpr size_t kShownPerKind = 8;
constexpr size_t kShownReadProblems = 32;

// Keeps the first few problems of each kind, so that one systematic fault in a long file gives a
// readable report instead of a line per chunk.
class Report {
public:
    void add(Severity severity, const char* kind, std::string text, size_t shown = kShownPerKind) {
        Kind& k = m_kinds[kind];
        k.severity = std::max(k.severity, severity);
        if (k.count++ < shown) {
            m_problems.push_back({severity, std::move(text)});
        } else {
            k.hidden++;
        }
    }
    void error(const char* kind, std::string text) { add(Severity::Error, kind, std::move(text)); }
    void warning(const char* kind, std::string text) {
        add(Severity::Warning, kind, std::move(text));
    }

    std::vector<Problem> finish() {
        for (const auto& [kind, k] : m_kinds) {
            if (k.hidden > 0) m_problems.push_back({k.severity, cat(k.hidden, " more: ", kind)});
        }
        return std::move(m_problems);
    }

private:
    struct Kind {
        Severity severity = Severity::Warning;
        size_t count = 0;
        size_t hidden = 0;
    };
    std::map<std::string, Kind> m_kinds;
    std::vector<Problem> m_problems;
};

struct StreamStats {
    uint64_t chunks = 0;
    uint64_t bytes = 0;
    uint64_t firstSegmentChunks = 0;
    uint32_t largest = 0;
};

bool isVideo(const Stream& s) {
    return s.header && s.header->type == fourcc("vids");
}
bool isAudio(const Stream& s) {
    return s.header && s.header->type == fourcc("auds");
}

// Stream time is counted in samples only for audio with a fixed sample size; every other stream
// counts one unit per chunk.
uint32_t sampleSizeOf(const Stream& s) {
    return isAudio(s) ? s.header->sampleSize : 0;
}

// Integer PCM or float, plain or extensible: the formats whose block size follows from the sample
// layout.
bool isLinearPcm(const WaveFormat& w) {
    auto plain = [](uint32_t tag) { return tag == 1 || tag == 3; };
    if (w.extensible) return plain(uint32_t(w.subFormat[0] | w.subFormat[1] << 8));
    return plain(w.formatTag);
}

bool chunkFitsType(uint32_t id, const StreamHeader& header) {
    const uint32_t suffix = id >> 16;
    auto is = [suffix](const char(&s)[5]) { return suffix == fourcc(s) >> 16; };
    if (header.type == fourcc("vids")) return is("00dc") || is("00db") || is("00pc");
    if (header.type == fourcc("auds")) return is("00wb");
    return true;
}

class Checker {
public:
    explicit Checker(const AviFile& file)
        : m_file(file),
          m_stats(file.streams.size()),
          m_inStandardIndex(file.chunks.size(), 0),
          m_inOldIndex(file.chunks.size(), 0),
          m_keyFrame(file.chunks.size(), -1),
          m_indexDuration(file.standardIndexes.size(), 0),
          m_indexListed(file.standardIndexes.size(), 0) {}

    std::vector<Problem> run() {
        for (const Problem& p : m_file.problems) {
            m_report.add(p.severity, "problems while reading", p.text, kShownReadProblems);
        }
        if (m_file.segments.empty()) {
            m_report.error("no segment", "no RIFF 'AVI ' segment");
            return m_report.finish();
        }
        m_openDml = !m_file.standardIndexes.empty() ||
                    std::any_of(m_file.streams.begin(), m_file.streams.end(),
                                [](const Stream& s) { return s.superIndex.has_value(); });
        checkSegments();
        checkHeaders();
        checkChunks();
        checkStandardIndexes();
        checkSuperIndexes();
        checkCoverage();
        checkOldIndex();
        checkLengths();
        return m_report.finish();
    }

private:
    bool validStream(int s) const { return s >= 0 && size_t(s) < m_file.streams.size(); }

    // The chunk whose payload starts at `offset`, or -1.
    int64_t chunkAt(uint64_t offset) const {
        const auto& chunks = m_file.chunks;
        const auto it =
            std::lower_bound(chunks.begin(), chunks.end(), offset,
                             [](const DataChunk& c, uint64_t value) { return c.offset < value; });
        if (it == chunks.end() || it->offset != offset) return -1;
        return it - chunks.begin();
    }

    int64_t standardIndexAt(uint64_t offset) const {
        const auto& indexes = m_file.standardIndexes;
        const auto it = std::lower_bound(
            indexes.begin(), indexes.end(), offset,
            [](const StandardIndex& x, uint64_t value) { return x.chunkOffset < value; });
        if (it == indexes.end() || it->chunkOffset != offset) return -1;
        return it - indexes.begin();
    }

    static std::string chunkText(const DataChunk& c) {
        return cat("'", fourccText(c.id), "' at ", c.offset - 8);
    }

    void checkSegments() {
        for (size_t i = 0; i < m_file.segments.size(); ++i) {
            const Segment& s = m_file.segments[i];
            const uint64_t total = 8 + uint64_t(s.size);
            if (i == 0 && total > kFirstSegmentLimit) {
                m_report.warning("segment size", cat("the first RIFF segment is ", total,
                                                     " bytes, more than 1 GiB"));
            }
            if (i > 0 && total > kLaterSegmentLimit) {
                m_report.warning("segment size",
                                 cat("RIFF '", fourccText(s.form), "' at ", s.offset, " is ", total,
                                     " bytes, more than 2 GiB"));
            }
            if (!s.moviOffset) {
                m_report.error("segment without movi",
                               cat("RIFF segment at ", s.offset, " has no LIST 'movi'"));
            }
        }
    }

    void checkHeaders() {
        const auto& streams = m_file.streams;
        if (!m_file.mainHeader) {
            m_report.error("headers", "no main header 'avih'");
        } else if (m_file.mainHeader->streams != streams.size()) {
            m_report.error("headers", cat("'avih' dwStreams is ", m_file.mainHeader->streams,
                                          " but the file has ", streams.size(), " stream lists"));
        }
        if (streams.empty()) m_report.error("headers", "no stream list 'strl'");
        for (size_t i = 0; i < streams.size(); ++i) checkStreamHeader(i, streams[i]);
    }

    void checkStreamHeader(size_t i, const Stream& s) {
        if (!s.header) {
            m_report.error("stream headers", cat("stream ", i, " has no 'strh'"));
            return;
        }
        const StreamHeader& h = *s.header;
        if (h.scale == 0 || h.rate == 0) {
            m_report.error("stream headers", cat("stream ", i, ": dwRate ", h.rate, " / dwScale ",
                                                 h.scale, " gives no time base"));
        }
        if (s.format.empty()) {
            m_report.error("stream formats", cat("stream ", i, " has no 'strf'"));
            return;
        }
        if (isVideo(s)) {
            if (!s.video) {
                m_report.error("stream formats", cat("stream ", i, ": 'strf' has ", s.format.size(),
                                                     " bytes, too few for a BITMAPINFOHEADER"));
            } else if (s.video->size < 40 || s.video->size > s.format.size()) {
                m_report.error("stream formats",
                               cat("stream ", i, ": biSize is ", s.video->size,
                                   " but 'strf' holds ", s.format.size(), " bytes"));
            }
        } else if (isAudio(s)) {
            if (!s.audio) {
                m_report.error("stream formats", cat("stream ", i, ": 'strf' has ", s.format.size(),
                                                     " bytes, too few for a WAVEFORMATEX"));
                return;
            }
            checkWaveFormat(i, h, *s.audio, s.format.size());
        }
    }

    void checkWaveFormat(size_t i, const StreamHeader& h, const WaveFormat& w, size_t size) {
        if (w.cbSize && 18 + size_t(*w.cbSize) > size) {
            m_report.error("stream formats", cat("stream ", i, ": cbSize ", *w.cbSize,
                                                 " runs past the ", size, " bytes of 'strf'"));
        }
        if (w.formatTag == 0xFFFE && !w.extensible) {
            m_report.error("stream formats", cat("stream ", i, ": WAVE_FORMAT_EXTENSIBLE in ", size,
                                                 " bytes with cbSize ", w.cbSize.value_or(0)));
        }
        if (!isLinearPcm(w) || (w.formatTag == 0xFFFE && !w.extensible)) return;
        const uint32_t block = (uint32_t(w.bitsPerSample) + 7) / 8 * w.channels;
        if (w.blockAlign != block) {
            m_report.warning("stream formats", cat("stream ", i, ": nBlockAlign is ", w.blockAlign,
                                                   " but ", w.channels, " channels of ",
                                                   w.bitsPerSample, " bits take ", block));
        }
        if (h.sampleSize != w.blockAlign) {
            m_report.warning("stream formats", cat("stream ", i, ": dwSampleSize is ", h.sampleSize,
                                                   " but nBlockAlign is ", w.blockAlign));
        }
        if (uint64_t(h.rate) != uint64_t(w.samplesPerSec) * h.scale) {
            m_report.warning("stream formats",
                             cat("stream ", i, ": dwRate ", h.rate, " / dwScale ", h.scale,
                                 " is not the sample rate ", w.samplesPerSec));
        }
    }

    void checkChunks() {
        for (const DataChunk& c : m_file.chunks) {
            if (!validStream(c.stream)) {
                m_report.error("chunk of no stream", chunkText(c) + " names no stream");
                continue;
            }
            const Stream& s = m_file.streams[size_t(c.stream)];
            if (s.header && !chunkFitsType(c.id, *s.header)) {
                m_report.error("chunk of wrong type",
                               cat(chunkText(c), " does not fit stream ", c.stream, " of type '",
                                   fourccText(s.header->type), "'"));
            }
            StreamStats& st = m_stats[size_t(c.stream)];
            st.chunks++;
            st.bytes += c.size;
            st.largest = std::max(st.largest, c.size);
            if (c.segment == 0) st.firstSegmentChunks++;
        }
    }

    void checkStandardIndexes() {
        for (size_t i = 0; i < m_file.standardIndexes.size(); ++i) {
            checkStandardIndex(i, m_file.standardIndexes[i]);
        }
    }

    void checkStandardIndex(size_t i, const StandardIndex& ix) {
        const int s = streamOfIndexId(ix.id);
        const std::string label = cat("'", fourccText(ix.id), "' at ", ix.chunkOffset);
        if (!validStream(s)) {
            m_report.error("standard index header", label + " belongs to no stream");
            return;
        }
        if (ix.longsPerEntry != 2 && ix.longsPerEntry != 3) {
            m_report.error("standard index header",
                           cat(label, ": wLongsPerEntry is ", ix.longsPerEntry, ", not 2"));
        }
        if (ix.indexType != 1) {
            m_report.error("standard index header",
                           cat(label, ": bIndexType is ", unsigned(ix.indexType),
                               ", not AVI_INDEX_OF_CHUNKS (1)"));
        }
        if (streamOfChunkId(ix.chunkId) != s) {
            m_report.error("standard index header",
                           cat(label, ": dwChunkId '", fourccText(ix.chunkId),
                               "' is not a chunk of stream ", s));
        }
        if (ix.longsPerEntry >= 2) {
            const uint64_t room =
                ix.chunkSize < 24 ? 0 : (ix.chunkSize - 24) / (4u * ix.longsPerEntry);
            if (ix.entriesInUse > room) {
                m_report.error("standard index header",
                               cat(label, ": nEntriesInUse is ", ix.entriesInUse,
                                   " but the chunk has room for ", room));
            }
        }
        const uint32_t sampleSize = sampleSizeOf(m_file.streams[size_t(s)]);
        uint64_t bytes = 0;
        for (size_t j = 0; j < ix.entries.size(); ++j) {
            const StandardIndexEntry& e = ix.entries[j];
            bytes += e.size & kSizeMask;
            checkStandardEntry(label, s, ix, j, e);
        }
        m_indexDuration[i] = sampleSize ? bytes / sampleSize : ix.entries.size();
    }

    void checkStandardEntry(const std::string& label, int s, const StandardIndex& ix, size_t j,
                            const StandardIndexEntry& e) {
        const uint64_t target = ix.baseOffset + e.offset;  // wraps harmlessly on garbage
        const int64_t k = chunkAt(target);
        if (k < 0) {
            m_report.error("standard index entry points at no chunk",
                           cat(label, " entry ", j, " points at ", target,
                               ", where no data chunk's payload starts"));
            return;
        }
        const DataChunk& c = m_file.chunks[size_t(k)];
        if (c.stream != s || c.id != ix.chunkId) {
            m_report.error("standard index entry points at a foreign chunk",
                           cat(label, " entry ", j, " points at ", chunkText(c), ", not a chunk '",
                               fourccText(ix.chunkId), "'"));
            return;
        }
        if ((e.size & kSizeMask) != c.size) {
            m_report.error("standard index entry size",
                           cat(label, " entry ", j, " gives size ", e.size & kSizeMask, " but ",
                               chunkText(c), " holds ", c.size, " bytes"));
        }
        m_inStandardIndex[size_t(k)]++;
        m_keyFrame[size_t(k)] = (e.size & kNotKeyFrame) ? 0 : 1;
    }

    void checkSuperIndexes() {
        for (size_t s = 0; s < m_file.streams.size(); ++s) {
            const Stream& stream = m_file.streams[s];
            if (stream.superIndex) {
                checkSuperIndex(s, *stream.superIndex);
            } else if (m_openDml && m_stats[s].chunks > 0) {
                m_report.error("super index", cat("stream ", s, " has no super index 'indx'"));
            }
        }
        for (size_t i = 0; i < m_file.standardIndexes.size(); ++i) {
            const StandardIndex& ix = m_file.standardIndexes[i];
            if (validStream(streamOfIndexId(ix.id)) && m_indexListed[i] == 0) {
                m_report.error("standard index not in a super index",
                               cat("'", fourccText(ix.id), "' at ", ix.chunkOffset,
                                   " is not listed in its stream's super index"));
            }
        }
    }

    void checkSuperIndex(size_t s, const SuperIndex& si) {
        const std::string label = cat("stream ", s, " super index");
        if (si.longsPerEntry != 4) {
            m_report.error("super index",
                           cat(label, ": wLongsPerEntry is ", si.longsPerEntry, ", not 4"));
        }
        if (si.indexType != 0) {
            m_report.error("super index", cat(label, ": bIndexType is ", unsigned(si.indexType),
                                              ", not AVI_INDEX_OF_INDEXES (0)"));
        }
        if (streamOfChunkId(si.chunkId) != int(s)) {
            m_report.error("super index", cat(label, ": dwChunkId '", fourccText(si.chunkId),
                                              "' is not a chunk of stream ", s));
        }
        const uint64_t room = si.chunkSize < 24 ? 0 : (si.chunkSize - 24) / 16;
        if (si.entriesInUse > room) {
            m_report.error("super index", cat(label, ": nEntriesInUse is ", si.entriesInUse,
                                              " but the chunk has room for ", room));
        }
        const Stream& stream = m_file.streams[s];
        for (size_t j = 0; j < si.entries.size(); ++j) {
            const SuperIndexEntry& e = si.entries[j];
            const std::string entry = cat(label, " entry ", j);
            const int64_t i = standardIndexAt(e.offset);
            if (i < 0) {
                m_report.error("super index entry",
                               cat(entry, " points at ", e.offset, ", where no 'ix", s / 10, s % 10,
                                   "' chunk starts"));
                continue;
            }
            const StandardIndex& ix = m_file.standardIndexes[size_t(i)];
            if (streamOfIndexId(ix.id) != int(s)) {
                m_report.error("super index entry",
                               cat(entry, " points at '", fourccText(ix.id), "' at ", e.offset));
                continue;
            }
            if (ix.chunkId != si.chunkId) {
                m_report.error("super index entry",
                               cat(entry, " points at an index of '", fourccText(ix.chunkId),
                                   "', not '", fourccText(si.chunkId), "'"));
            }
            if (m_indexListed[size_t(i)]++ > 0) {
                m_report.error("super index entry",
                               cat(entry, " lists the standard index at ", e.offset, " again"));
            }
            const uint64_t expected = 32 + 8 * uint64_t(ix.entriesInUse);
            if (e.size != 8 + uint64_t(ix.chunkSize) || e.size != expected) {
                m_report.error(
                    "super index entry size",
                    cat(entry, " gives size ", e.size, " but the chunk at ", e.offset, " is ",
                        8 + uint64_t(ix.chunkSize), " bytes with ", ix.entriesInUse, " entries"));
            }
            const uint64_t duration = m_indexDuration[size_t(i)];
            if (e.duration == duration) continue;
            if (sampleSizeOf(stream) > 0 && e.duration == ix.entries.size()) {
                m_report.warning("super index duration in chunks",
                                 cat(entry, " gives duration ", e.duration,
                                     ", its chunk count, not its ", duration, " samples"));
            } else {
                m_report.error(
                    "super index entry duration",
                    cat(entry, " gives duration ", e.duration, " but its index covers ", duration));
            }
        }
    }

    void checkCoverage() {
        if (!m_openDml) {
            if (m_file.segments.size() > 1) {
                m_report.error("no OpenDML index", cat("the file has ", m_file.segments.size(),
                                                       " RIFF segments but no OpenDML index"));
            }
            return;
        }
        for (size_t k = 0; k < m_file.chunks.size(); ++k) {
            const DataChunk& c = m_file.chunks[k];
            if (!validStream(c.stream)) continue;
            if (m_inStandardIndex[k] == 0) {
                m_report.error(
                    "chunk in no standard index",
                    cat(chunkText(c), " (segment ", c.segment, ") is in no standard index"));
            } else if (m_inStandardIndex[k] > 1) {
                m_report.error("chunk in several standard index entries",
                               cat(chunkText(c), " is listed ", m_inStandardIndex[k],
                                   " times in standard indexes"));
            }
        }
    }

    void checkOldIndex() {
        const auto& oi = m_file.oldIndex;
        if (!oi) {
            const bool flagged = m_file.mainHeader && (m_file.mainHeader->flags & kAviHasIndex);
            if (flagged) {
                m_report.add(m_openDml ? Severity::Warning : Severity::Error, "old index",
                             "'avih' has AVIF_HASINDEX but there is no 'idx1'");
            } else if (!m_openDml) {
                m_report.warning("old index", "the file has no index");
            }
            return;
        }
        if (oi->segment != 0) {
            m_report.error("old index", cat("'idx1' at ", oi->chunkOffset, " is in segment ",
                                            oi->segment, ", not the first"));
        }
        const auto& movi = m_file.segments[0].moviOffset;
        if (!movi) return;
        const uint64_t base = pickOldIndexBase(*movi + 8);
        for (size_t j = 0; j < oi->entries.size(); ++j) checkOldEntry(j, oi->entries[j], base);
        for (size_t k = 0; k < m_file.chunks.size(); ++k) {
            const DataChunk& c = m_file.chunks[k];
            if (c.segment != 0 || !validStream(c.stream)) continue;
            if (m_inOldIndex[k] == 0) {
                m_report.error("chunk missing from idx1", chunkText(c) + " is missing from 'idx1'");
            } else if (m_inOldIndex[k] > 1) {
                m_report.error(
                    "chunk listed twice in idx1",
                    cat(chunkText(c), " is listed ", m_inOldIndex[k], " times in 'idx1'"));
            }
        }
    }

    // Offsets count from the "movi" FourCC, but some writers store file positions; the first entry
    // that names a data chunk tells which.
    uint64_t pickOldIndexBase(uint64_t relative) const {
        for (const OldIndexEntry& e : m_file.oldIndex->entries) {
            if (e.chunkId == fourcc("rec ")) continue;
            if (chunkAt(relative + e.offset + 8) >= 0) return relative;
            if (chunkAt(uint64_t(e.offset) + 8) >= 0) return 0;
            return relative;
        }
        return relative;
    }

    void checkOldEntry(size_t j, const OldIndexEntry& e, uint64_t base) {
        if (e.chunkId == fourcc("rec ")) return;
        const std::string label = cat("'idx1' entry ", j, " ('", fourccText(e.chunkId), "')");
        const uint64_t header = base + e.offset;
        const int64_t k = chunkAt(header + 8);
        if (k < 0) {
            m_report.error("idx1 entry points at no chunk",
                           cat(label, " points at ", header, ", where no data chunk starts"));
            return;
        }
        const DataChunk& c = m_file.chunks[size_t(k)];
        if (c.segment != 0) {
            m_report.error("idx1 entry outside the first segment",
                           cat(label, " points at ", chunkText(c), " in segment ", c.segment));
            return;
        }
        if (c.id != e.chunkId) {
            m_report.error("idx1 entry id", cat(label, " points at ", chunkText(c)));
            return;
        }
        if (e.size != c.size) {
            m_report.error("idx1 entry size", cat(label, " gives size ", e.size, " but ",
                                                  chunkText(c), " holds ", c.size, " bytes"));
        }
        m_inOldIndex[size_t(k)]++;
        const bool key = (e.flags & kOldIndexKeyFrame) != 0;
        if (m_keyFrame[size_t(k)] >= 0 && key != (m_keyFrame[size_t(k)] == 1)) {
            m_report.error("key-frame flags disagree",
                           cat(label, ": key-frame flag ", key ? "set" : "clear",
                               " but the standard index says otherwise for ", chunkText(c)));
        }
    }

    void checkLengths() {
        uint64_t videoChunks = 0;
        uint64_t firstSegmentVideoChunks = 0;
        bool anyVideo = false;
        for (size_t s = 0; s < m_file.streams.size(); ++s) {
            const Stream& stream = m_file.streams[s];
            if (!stream.header) continue;
            const StreamStats& st = m_stats[s];
            const uint32_t sampleSize = sampleSizeOf(stream);
            uint64_t expected = st.chunks;
            if (sampleSize > 0) {
                expected = st.bytes / sampleSize;
                if (st.bytes % sampleSize) {
                    m_report.warning("partial samples", cat("stream ", s, ": its ", st.bytes,
                                                            " bytes are not a whole number of ",
                                                            sampleSize, "-byte samples"));
                }
            }
            if (stream.header->length != expected) {
                m_report.error("stream length",
                               cat("stream ", s, ": dwLength is ", stream.header->length,
                                   " but its chunks hold ", expected,
                                   sampleSize > 0 ? " samples" : " chunks"));
            }
            const uint32_t suggested = stream.header->suggestedBufferSize;
            if (suggested != 0 && suggested < st.largest) {
                m_report.warning("suggested buffer size",
                                 cat("stream ", s, ": dwSuggestedBufferSize is ", suggested,
                                     " but a chunk holds ", st.largest, " bytes"));
            }
            if (isVideo(stream)) {
                anyVideo = true;
                videoChunks = std::max(videoChunks, st.chunks);
                firstSegmentVideoChunks = std::max(firstSegmentVideoChunks, st.firstSegmentChunks);
            }
        }
        if (m_file.odmlTotalFrames) {
            if (anyVideo && *m_file.odmlTotalFrames != videoChunks) {
                m_report.error("total frames",
                               cat("'dmlh' dwTotalFrames is ", *m_file.odmlTotalFrames,
                                   " but the file holds ", videoChunks, " video chunks"));
            }
        } else if (m_file.segments.size() > 1) {
            m_report.error("total frames", cat("the file has ", m_file.segments.size(),
                                               " RIFF segments but no 'dmlh'"));
        }
        if (anyVideo && m_file.mainHeader &&
            m_file.mainHeader->totalFrames != firstSegmentVideoChunks) {
            m_report.error(
                "total frames",
                cat("'avih' dwTotalFrames is ", m_file.mainHeader->totalFrames,
                    " but the first segment holds ", firstSegmentVideoChunks, " video chunks"));
        }
    }

    const AviFile& m_file;
    Report m_report;
    bool m_openDml = false;
    std::vector<StreamStats> m_stats;
    std::vector<uint32_t> m_inStandardIndex;  // per data chunk
    std::vector<uint32_t> m_inOldIndex;       // per data chunk
    std::vector<int8_t> m_keyFrame;           // per data chunk: -1 unknown, 0 or 1 as indexed
    std::vector<uint64_t> m_indexDuration;    // per standard index
    std::vector<uint32_t> m_indexListed;      // per standard index
};

}  // namespace

std::vector<Problem> checkAvi(const AviFile& file) {
    return Checker(file).run();
}

}  // namespace avireader
