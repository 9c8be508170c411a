#include "fileio/win_file.h"

namespace fileio {

bool WinFile::setSize(uint64_t size) {
    const uint64_t back = tell();
    if (!seek(size)) {
        return false;
    }
    const bool done = SetEndOfFile(handle) != 0;
    (void)seek(back);
    return done;
}

}  // namespace fileio
