// A failed call into the codec library. The text says which call failed and with what, and
// carries the library's status and its name for it, so that one line in the host's log is enough
// to tell what went wrong:
//   "Parvolux error (" status "): " library's status name ": " where-text
// The status in signed decimal; the name is parvolux_get_string's for category 2.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

class ParvoluxError : public std::runtime_error {
public:
    ParvoluxError(const std::string& where, int32_t status);

    [[nodiscard]] int32_t status() const noexcept { return m_status; }

private:
    int32_t m_status;
};
