// Frame rates as the command line takes them and as the AVI header can carry them.
#pragma once

#include <cstdint>
#include <string>

namespace iohost {

struct FrameRate {
    uint32_t rate = 25;  // frames per second as rate / scale
    uint32_t scale = 1;
};

// "25", "30000/1001", or a decimal: "12.5" is 25/2, and the rates people round, 23.976, 29.97,
// 47.952, 59.94 and 119.88, are exactly 24000/1001 and so on. The fraction comes back reduced.
[[nodiscard]] bool ParseFrameRate(const std::string& text, FrameRate& out);

// Why the AVI header cannot carry the rate as it stands (its microseconds per frame,
// scale * 1000000 / rate, must fit 32 bits and not be 0); empty when it can.
[[nodiscard]] std::string FrameRateProblem(const FrameRate& rate);

}  // namespace iohost
