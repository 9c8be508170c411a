// One output path of a run, guarded so that the run never destroys a file it did not make.
//
// Before anything is read or written the path is checked: "-" is standard output; an existing
// path that is not a regular file (a directory, a device, a pipe, and on Windows a reserved device
// name such as NUL or COM1) is refused, so is one that is the same file as any input (by identity:
// device and inode, or volume and file id, through links and other spellings), and so is any
// other existing file unless overwriting was asked for.
//
// A new file is created exclusively, so a file that appears between the check and the creation is
// not clobbered either. An existing file that may be overwritten is never truncated: it is held
// for the run (another writer is refused, and a file another program is writing refuses this run)
// and the new output is written beside it, to replace it only when commit() is called. A run that
// fails or is refused therefore leaves the old file as it was. Only a file that this run created
// is ever removed again (discardIfCreated).
#pragma once

#include <cstdint>
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
    ~OutputGuard();
    OutputGuard(const OutputGuard&) = delete;
    OutputGuard& operator=(const OutputGuard&) = delete;

    [[nodiscard]] const std::string& path() const { return m_path; }
    [[nodiscard]] bool isStandardOutput() const { return m_path == "-"; }
    // Where the run writes: the path itself, or the replacement beside an existing file.
    [[nodiscard]] const std::string& writePath() const { return m_writePath; }
    [[nodiscard]] bool replaces() const { return m_writePath != m_path; }

    // Creates writePath() exclusively and answers it open for binary writing; standard output
    // (binary mode) for "-". Throws OutputRefused with the system's reason. The caller closes a
    // file it got (not stdout).
    [[nodiscard]] std::FILE* open();
    // As open(), then closes the file: for a writer that opens writePath() itself.
    void create();
    // The output is complete: a replacement is flushed to the disk and moved over the old file.
    // Throws OutputRefused with the system's reason; the replacement is then kept beside it.
    void commit();
    // Removes writePath() when this run created it and did not commit it; answers whether it did.
    bool discardIfCreated();

private:
    void hold();
    void release();

    std::string m_path;
    std::string m_writePath;
    std::string m_replacementStem;  // beside the old file: stem + n + ".part"
    bool m_overwrite;
    bool m_created = false;
    intptr_t m_hold = -1;  // the old file, held while it is being replaced
};

// Whether two paths ("-" for standard input or output) name the same existing file.
[[nodiscard]] bool SameFile(const std::string& a, const std::string& b);

// Whether two output paths end up as one file: the same existing file, or the same new path once
// made absolute (without regard to case on Windows).
[[nodiscard]] bool SameDestination(const std::string& a, const std::string& b);

}  // namespace iohost
