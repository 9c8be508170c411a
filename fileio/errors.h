// The exceptions in which write failures are reported. The file operations themselves never
// throw; the writers above them compare counts and throw these, carrying only sizes and offsets
// (the system is never asked for an error code).
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace fileio {

class Error : public std::runtime_error {
public:
    explicit Error(const std::string& message);
};

// A sequential write transferred fewer bytes than asked.
class WriteError : public Error {
public:
    WriteError(uint64_t size, uint64_t written);

    uint64_t size;
    uint64_t written;

protected:
    WriteError(const std::string& message, uint64_t size, uint64_t written);
};

// A positioned patch transferred fewer bytes than asked.
class WriteAtError : public WriteError {
public:
    WriteAtError(int64_t offset, uint64_t size, uint64_t written);

    int64_t offset;
};

}  // namespace fileio
