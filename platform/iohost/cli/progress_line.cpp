#include "platform/iohost/cli/progress_line.h"

#include <cmath>
#include <iomanip>
#include <sstream>

namespace iohost::cli {

namespace {

std::string Clock(double seconds) {
    const auto s = static_cast<long long>(std::lround(seconds));
    std::ostringstream text;
    text << s / 60 << ":" << std::setw(2) << std::setfill('0') << s % 60;
    return text.str();
}

}  // namespace

std::string ProgressLine(uint64_t frames, std::optional<uint64_t> expected, double seconds,
                         uint64_t rawBytes) {
    const double fps = seconds > 0 ? static_cast<double>(frames) / seconds : 0;
    const double mbps = seconds > 0 ? static_cast<double>(rawBytes) / 1e6 / seconds : 0;
    std::ostringstream line;
    line << "\rframe " << frames;
    if (expected) line << "/" << *expected;
    line << std::fixed << std::setprecision(1) << "  " << fps << " fps  " << mbps << " MB/s  "
         << Clock(seconds);
    if (expected && fps > 0 && *expected >= frames)
        line << "  ETA " << Clock(static_cast<double>(*expected - frames) / fps);
    line << "   ";
    return line.str();
}

void ProgressMeter::update(uint64_t frames, std::optional<uint64_t> expected, double seconds,
                           uint64_t rawBytes) {
    if (!m_shown) return;
    if (seconds - m_shownAt < 0.25 && (!expected || frames != *expected)) return;
    m_shownAt = seconds;
    m_err << ProgressLine(frames, expected, seconds, rawBytes) << std::flush;
}

void ProgressMeter::finish() {
    if (m_shownAt >= 0) m_err << "\n";
}

}  // namespace iohost::cli
