// Helpers of the command-line tests: a scratch folder removed at the end, running the command
// line in-process, source files of the test pattern, and small file helpers.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "platform/iohost/cli/cli.h"
#include "platform/iohost/media/y4m_writer.h"
#include "platform/iohost/synthetic/test_pattern.h"
#include "tests/support/temp_dir.h"

namespace iohost_test {

// A folder of its own for one test, removed with everything in it at the end.
struct ScratchDir : TempDir {
    [[nodiscard]] std::string operator/(const std::string& name) const {
        return (path / name).string();
    }
};

inline bool Has(const std::string& text, const std::string& fragment) {
    return text.find(fragment) != std::string::npos;
}

struct CliOutcome {
    int status;
    std::string out, err;
};

inline CliOutcome RunIohost(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    const int status = iohost::cli::Run(args, out, err);
    return {status, out.str(), err.str()};
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

inline void WriteFile(const std::string& path, std::string_view bytes) {
    std::ofstream(path, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Writes `frames` of the test pattern in `pixfmt` to dir/name: YUV4MPEG2 for YUV (its header
// saying `scan` and `range`), raw frames for RGB (or when `raw`).
inline std::string WriteSource(const ScratchDir& dir, const std::string& name,
                               const std::string& pixfmt, uint32_t w, uint32_t h, int frames,
                               bool raw = false, iohost::Scan scan = iohost::Scan::Unknown,
                               iohost::Range range = iohost::Range::Unknown) {
    iohost::PictureFormat f;
    EXPECT_TRUE(iohost::ParsePixelFormat(pixfmt, f)) << pixfmt;
    f.width = w;
    f.height = h;
    f.scan = scan;
    f.range = range;
    const std::string path = dir / name;
    std::filesystem::remove(path);  // the writer makes only new files
    iohost::VideoWriter writer(path, f, !raw && !f.isRgb());
    std::vector<uint8_t> frame(f.frameBytes());
    iohost::TestPattern pattern(f, static_cast<uint64_t>(frames));
    while (pattern.read(frame.data())) writer.write(frame.data());
    writer.close();
    return path;
}

}  // namespace iohost_test
