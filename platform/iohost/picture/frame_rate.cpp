#include "platform/iohost/picture/frame_rate.h"

#include <charconv>
#include <numeric>

namespace iohost {

namespace {

bool ParseNumber(const std::string& text, uint64_t& value) {
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end && !text.empty();
}

}  // namespace

bool ParseFrameRate(const std::string& text, FrameRate& out) {
    static const std::pair<const char*, uint32_t> kRounded[] = {{"23.976", 24000},
                                                                {"29.97", 30000},
                                                                {"47.952", 48000},
                                                                {"59.94", 60000},
                                                                {"119.88", 120000}};
    for (const auto& [name, rate] : kRounded) {
        if (text == name) {
            out = {rate, 1001};
            return true;
        }
    }
    uint64_t rate = 0, scale = 1;
    if (const size_t slash = text.find('/'); slash != std::string::npos) {
        if (!ParseNumber(text.substr(0, slash), rate) ||
            !ParseNumber(text.substr(slash + 1), scale))
            return false;
    } else if (const size_t dot = text.find('.'); dot != std::string::npos) {
        const std::string whole = text.substr(0, dot), fraction = text.substr(dot + 1);
        if (fraction.empty() || fraction.size() > 6 || !ParseNumber(whole + fraction, rate))
            return false;
        for (size_t i = 0; i < fraction.size(); ++i) scale *= 10;
    } else if (!ParseNumber(text, rate)) {
        return false;
    }
    if (rate == 0 || scale == 0) return false;
    const uint64_t divisor = std::gcd(rate, scale);
    if (rate / divisor > 0x7FFFFFFF || scale / divisor > 0x7FFFFFFF) return false;
    out = {static_cast<uint32_t>(rate / divisor), static_cast<uint32_t>(scale / divisor)};
    return true;
}

std::string FrameRateProblem(const FrameRate& rate) {
    const uint64_t micro = uint64_t{rate.scale} * 1000000;
    const std::string text = std::to_string(rate.rate) + "/" + std::to_string(rate.scale);
    if (micro > 0xFFFFFFFFu)
        return "the frame rate " + text + " is " + std::to_string(micro / rate.rate) +
               " microseconds per frame, more than an AVI header can hold (4294967295)";
    if (micro < rate.rate)
        return "the frame rate " + text +
               " is less than a microsecond per frame, which an AVI header cannot hold";
    return {};
}

}  // namespace iohost
