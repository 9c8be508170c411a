// `iohost encode --resume`: continues an export that this plug-in's AVI writer left in a file
// (killed, repaired or stopped early) from its first missing frame, so that the file ends byte for
// byte as an export never interrupted would have left it.
//
// The check reads the sources from their start as far as the file goes (frames are read and
// dropped) and proves the file is this export's without decoding it: the headers are compared with
// those the plug-in writes for these sources and settings, the chunks' order and sizes with the
// order the export writes them in, and the last kept frame (re-encoded; the codec is
// deterministic) and the last kept audio chunk with the input. The continuation resumes the
// writer from the file's scan and hands it the new packets; its finalisation closes the file.
#pragma once

#include <cstdint>
#include <stdexcept>

#include "avi/avi_scan.h"
#include "avi/avi_writer.h"
#include "fileio/file.h"
#include "fileio/platform_file.h"
#include "platform/iohost/session/encode_session.h"

namespace iohost {

// Why a file cannot be continued with these sources and settings.
class ResumeRefused : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct ResumePoint {
    AviScan scan;
    uint64_t frames = 0;       // video chunks kept
    uint64_t audioFrames = 0;  // sample frames kept
};

// The first difference between a file's headers and `ours` (the plug-in's for the export), leaving
// out what the chunks change; throws ResumeRefused with it.
void CompareHeaders(const AviScan& file, const AviScan& ours);

// Checks `out` (held exclusively by the caller) and leaves the sources positioned after what it
// holds. For a part, the sources are already at its first frame (settings.firstFrame and
// firstAudioFrame) and settings.audioTail says whether the part reaches the input's end. Writes
// nothing to `out`; throws ResumeRefused. `settings.outPath` names the file in messages; the
// plug-in's own header is made in a file of the system's temporary folder, removed afterwards.
[[nodiscard]] ResumePoint CheckResume(const Driver& driver, const EncodeSettings& settings,
                                      fileio::File& out, VideoSource& video,
                                      const FrameConverter& converter, AudioSource* audio);

// Cuts `out` back to its last whole chunk and runs the export on from `point` through a writer
// resumed from the scan (with `limits`, the sizes the file was written with).
[[nodiscard]] EncodeResult ContinueExport(
    const Driver& driver, EncodeSettings settings, fileio::PlatformFile& out,
    const ResumePoint& point, VideoSource& video, const FrameConverter& converter,
    AudioSource* audio, const AviLimits& limits = {},
    std::function<void(const EncodeProgress&)> onProgress = {});

}  // namespace iohost
