// Parts of one export made anywhere (`iohost encode --start-frame N --frames M`) and joined into
// the file a single export writes (`iohost join`).
//
// A part is an ordinary export of frames N to N+M-1, with its sound cut at the same frame
// boundaries as a whole export cuts it (so 23.976 and 29.97 fps sample counts come out as in one
// run) and the sound after the last frame only in the part that reaches the input's end. Which
// frames it holds is recorded in reserved space of its header that players skip, so that join can
// tell a gap or an overlap. Joining copies the parts' chunks in order through the
// product's AVI writer, which makes the indexes and headers of the whole.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "avi/avi_scan.h"
#include "avi/avi_writer.h"
#include "fileio/file.h"
#include "platform/iohost/media/audio_source.h"
#include "platform/iohost/media/video_source.h"

namespace iohost {

struct PartRange {
    uint64_t first = 0;   // the input's frame number of the part's first frame
    uint64_t frames = 0;  // frames the part holds
    bool last = false;    // the part reaches the input's end (and holds the sound after it)
};

// Writes the record into a finished part (opened for update). Throws std::runtime_error.
void WritePartRange(fileio::File& file, const AviScan& scan, const PartRange& range);
// Opens the finished part at `path` (UTF-8), which this run made, and writes the record.
void RecordPart(const std::string& path, const PartRange& range);
// Reads and drops the sound of frames before `frame` (cut where a whole export cuts it); answers
// the sample frames dropped.
[[nodiscard]] uint64_t DropSound(AudioSource& audio, const PictureFormat& picture, uint64_t frame);
// The record of a scanned part, if it has one.
[[nodiscard]] std::optional<PartRange> ReadPartRange(fileio::File& file, const AviScan& scan);

// Frames first to first+count-1 of another source. skip() reads and drops the frames before them;
// after the last one, read() tries one more to learn whether the input ends there.
class RangeSource final : public VideoSource {
public:
    RangeSource(VideoSource& inner, uint64_t first, std::optional<uint64_t> count);

    // False when the input ends before the range starts.
    [[nodiscard]] bool skip();
    const PictureFormat& format() const override { return m_inner.format(); }
    bool read(uint8_t* frame) override;
    // Counted from the input's start, as the session counts frames.
    std::optional<uint64_t> frameCount() const override;
    [[nodiscard]] bool reachedEnd() const { return m_reachedEnd; }

private:
    VideoSource& m_inner;
    uint64_t m_first;
    std::optional<uint64_t> m_count;
    uint64_t m_done = 0;
    bool m_reachedEnd = false;
};

// Why parts cannot be joined.
class JoinRefused : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct JoinPart {
    std::string path;
    AviScan scan;
    PartRange range;
};

// Scans a finished part (opened for reading) and reads its record; throws JoinRefused.
[[nodiscard]] JoinPart ReadPart(fileio::File& file, const std::string& path);
// Whether the parts make one export, in this order; throws JoinRefused with the reason.
void CheckParts(const std::vector<JoinPart>& parts);
// Writes the joined file into `out` (new and empty): the parts' chunks in order, read from
// `files` (the parts, open, in the same order), then the writer's finalisation.
// `limits`: the sizes the parts were written with.
void JoinParts(fileio::File& out, const std::vector<JoinPart>& parts,
               const std::vector<fileio::File*>& files, const AviLimits& limits = {});

}  // namespace iohost
