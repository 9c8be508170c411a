// A problem with what the user gave the command line: a missing or unreadable file, a malformed
// header, a truncated frame, a format the codec cannot take. The text is shown as it is, after
// "iohost <command>: ".
#pragma once

#include <stdexcept>

namespace iohost {

class InputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace iohost
