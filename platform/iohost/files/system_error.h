// The operating system's own words for a failed call, to end a message that names a path.
// Read the code (errno, or GetLastError on Windows) right after the failing call, before anything
// else can change it, and pass it here.
#pragma once

#include <cstdint>
#include <string>

namespace iohost {

// The C library's text for an errno value.
[[nodiscard]] std::string SystemReason(int error);

// The reason a C stream's write just failed: Windows' own words for the system's error behind it
// (the runtime keeps that beside errno), the C library's text for errno elsewhere.
[[nodiscard]] std::string StreamWriteReason();

#ifdef _WIN32
// Windows' text for a GetLastError code (FormatMessageW, as UTF-8, without the final period and
// line break), so a Windows user reads what Explorer would say. Some texts name their subject
// as "%1" (the loader's "%1 is not a valid Win32 application"): `subject` takes its place.
[[nodiscard]] std::string WindowsReason(uint32_t error, const std::string& subject = "it");
// The text for the calling thread's GetLastError, read first.
[[nodiscard]] std::string LastWindowsReason();
#endif

}  // namespace iohost
