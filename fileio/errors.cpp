#include "fileio/errors.h"

namespace fileio {

Error::Error(const std::string& message) : std::runtime_error(message) {}

WriteError::WriteError(uint64_t size, uint64_t written)
    : WriteError(
          "Write error: size: " + std::to_string(size) + ", written: " + std::to_string(written),
          size, written) {}

WriteError::WriteError(const std::string& message, uint64_t size, uint64_t written)
    : Error(message), size(size), written(written) {}

WriteAtError::WriteAtError(int64_t offset, uint64_t size, uint64_t written)
    : WriteError("Write at error: offset: " + std::to_string(offset) +
                     ", size: " + std::to_string(size) + ", written: " + std::to_string(written),
                 size, written),
      offset(offset) {}

}  // namespace fileio
