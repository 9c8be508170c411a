// The progress line of the commands that move frames, on standard error when it is a terminal:
// "frame 120/500  25.0 fps  30.1 MB/s  0:05  ETA 0:15", rewritten in place.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

namespace iohost::cli {

// `expected` frames when the length is known; `rawBytes` of pictures moved in `seconds`.
[[nodiscard]] std::string ProgressLine(uint64_t frames, std::optional<uint64_t> expected,
                                       double seconds, uint64_t rawBytes);

// Shows the line at most four times a second, and always the last frame's.
class ProgressMeter {
public:
    ProgressMeter(std::ostream& err, bool shown) : m_err(err), m_shown(shown) {}
    void update(uint64_t frames, std::optional<uint64_t> expected, double seconds,
                uint64_t rawBytes);
    // Ends the line, once something was shown.
    void finish();

private:
    std::ostream& m_err;
    bool m_shown;
    double m_shownAt = -1;
};

}  // namespace iohost::cli
