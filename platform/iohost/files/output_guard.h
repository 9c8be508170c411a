// One output path of a run, guarded so that the run never destroys a file it did not make.
//
// Before anything is read or written the path is checked: "-" is standard output; an existing
// path that is not a regular file (a directory, a device, a pipe) is refused, so is one that is the
// same file as any input (compared by device and inode through links), and so is any other
// existing file unless overwriting was asked for. create() then makes the file exclusively, so a
// file that appears between the check and the creation is not clobbered either. Only a file that
// this run created is ever removed again (discardIfCreated).
#pragma once

#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

namespace iohost {

// Why an output was refused; the text names the path.
class OutputRefused : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class OutputGuard {
public:
    // Checks `path` (UTF-8) against `inputs` (paths the run reads, "-" for standard input);
    // throws OutputRefused.
    OutputGuard(std::string path, bool overwrite, const std::vector<std::string>& inputs);

    [[nodiscard]] const std::string& path() const { return m_path; }
    [[nodiscard]] bool isStandardOutput() const { return m_path == "-"; }

    // Creates the file (truncating an existing one only when overwriting was asked for) and
    // answers it open for binary writing; standard output (binary mode) for "-". Throws
    // OutputRefused with the system's reason. The caller closes a file it got (not stdout).
    [[nodiscard]] std::FILE* open();
    // As open(), then closes the file: for a writer that opens the path itself.
    void create();
    // Removes the file when this run created it; answers whether it did.
    bool discardIfCreated();

private:
    std::string m_path;
    bool m_overwrite;
    bool m_existed = false;
    bool m_created = false;
};

// Whether two paths ("-" for standard input or output) name the same existing file.
[[nodiscard]] bool SameFile(const std::string& a, const std::string& b);

// The system's text for the last failed call's errno.
[[nodiscard]] std::string SystemReason(int error);

}  // namespace iohost
