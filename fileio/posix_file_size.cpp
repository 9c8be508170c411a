#include "fileio/posix_file.h"

#include <unistd.h>

namespace fileio {

bool PosixFile::setSize(uint64_t size) {
    if (size > static_cast<uint64_t>(INT64_MAX)) {
        return false;
    }
    return ::ftruncate(handle, static_cast<off_t>(size)) == 0;
}

}  // namespace fileio
