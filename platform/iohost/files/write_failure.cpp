#include "platform/iohost/files/write_failure.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#include "platform/iohost/files/file_in_use.h"
#include "platform/iohost/files/output_guard.h"
#include "platform/iohost/files/system_error.h"
#include "platform/iohost/files/utf8_path.h"

namespace iohost {

std::string WriteFailureReason(const std::string& outputPath) {
    namespace fs = std::filesystem;
    if (InUseByAnotherProgram(outputPath)) return " (another program is writing it)";
    const fs::path out = Utf8Path(outputPath);
    const std::string probe =
        (out.parent_path() / (".iohost-probe-" + std::to_string(reinterpret_cast<uintptr_t>(&out))))
            .string();
    std::string reason;
    try {
        OutputGuard guard(probe, false, {});
        std::FILE* file = guard.open();
        const std::vector<char> block(1 << 16, 0);
        errno = 0;
#ifdef _WIN32
        _doserrno = 0;
#else
        // At the output's own size, so a file size limit shows too (a sparse hole costs nothing).
        std::error_code ec;
        const auto size = fs::file_size(out, ec);
        if (!ec && size > 0) (void)fseeko(file, static_cast<off_t>(size), SEEK_SET);
#endif
        if (std::fwrite(block.data(), 1, block.size(), file) != block.size() ||
            std::fflush(file) != 0)
            reason = " (" + StreamWriteReason() + ")";
        std::fclose(file);
        guard.discardIfCreated();
    } catch (const OutputRefused& e) {
        reason = std::string(" (") + e.what() + ")";
    }
    return reason;
}

}  // namespace iohost
