// The file type the container holds by value: the Win32 one on Windows, the POSIX one elsewhere.
#pragma once

#if defined(_WIN32)
#include "fileio/win_file.h"
#else
#include "fileio/posix_file.h"
#endif

namespace fileio {

#if defined(_WIN32)
using PlatformFile = WinFile;
#else
using PlatformFile = PosixFile;
#endif

}  // namespace fileio
