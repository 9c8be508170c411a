#include "fileio/file.h"

namespace fileio {

size_t File::blockSize() {
    return 4096;
}

size_t File::alignment() {
    return 4096;
}

size_t File::writeAt(const void* buffer, size_t count, int64_t offset) {
    const uint64_t back = tell();
    if (!seek(static_cast<uint64_t>(offset))) {
        return 0;
    }
    const size_t written = write(buffer, count);
    (void)seek(back);  // nothing useful to do if the way back fails; the next write will show it
    return written;
}

}  // namespace fileio
