// What names one file: an output is compared with the inputs and with the run's other outputs by
// identity, not by spelling (another drive letter, case, "./"), devices are refused by name on
// Windows, and a file that another program has open is refused and left whole.
#include <filesystem>

#ifdef _WIN32
#include <windows.h>
#endif

#include "tests/iohost/cli_test_support.h"
#include "tests/iohost/host_test_fixture.h"

namespace iohost_test {
namespace {

namespace fs = std::filesystem;

class OutputIdentityTest : public HostTest {
protected:
    ScratchDir dir;
};

TEST_F(OutputIdentityTest, TwoOutputsThatAreOneFileAreRefused) {
    ASSERT_EQ(RunIohost({"encode", dir / "a.avi", "--pattern", "--tone", "--size", "8x4",
                         "--frames", "2", "-q"})
                  .status,
              0);
    const fs::path cwd = fs::current_path();
    fs::current_path(dir.path);
    const CliOutcome same = RunIohost({"decode", "a.avi", "-o", "./take1.y4m", "--audio-out",
#ifdef _WIN32
                                       "TAKE1.Y4M"
#else
                                       "take1.y4m"
#endif
    });
    fs::current_path(cwd);
    EXPECT_EQ(same.status, 2) << same.err;
    EXPECT_TRUE(Has(same.err, "the same file")) << same.err;
    EXPECT_FALSE(fs::exists(dir.path / "take1.y4m"));
}

#ifdef _WIN32

// The Unix path of a Windows one under Wine (nothing on Windows itself).
std::string WineUnixPath(const std::wstring& path) {
    using Convert = char*(__cdecl*)(const wchar_t*);
    const auto convert = reinterpret_cast<Convert>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (convert == nullptr) return {};
    char* unix = convert(path.c_str());
    if (unix == nullptr) return {};
    std::string text = unix;
    HeapFree(GetProcessHeap(), 0, unix);
    return text;
}

TEST_F(OutputIdentityTest, OneFileThroughTwoDriveLettersIsOneFile) {
    const std::string src = WriteSource(dir, "src.y4m", "yuv422p", 8, 4, 2);
    const std::string before = ReadFile(src);
    std::string other = WineUnixPath(fs::absolute(src).wstring());
    if (other.empty()) GTEST_SKIP() << "needs Wine's Z: drive";
    other = "Z:" + other;
    std::replace(other.begin(), other.end(), '/', '\\');
    ASSERT_EQ(ReadFile(other), before);  // the same bytes through Z:
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"encode", other, src, "-y"},
             {"decode", dir / "none.avi", "-o", other, "-y", "--verify", src},
         }) {
        const CliOutcome r = RunIohost(args);
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_TRUE(Has(r.err, "is the input")) << r.err;
    }
    EXPECT_EQ(ReadFile(src), before);
}

TEST_F(OutputIdentityTest, DevicesAndFilesInUseAreRefusedAndLeftWhole) {
    for (const std::string name : {"nul.avi", "NUL", "con.txt", "COM1.avi", "lpt9", "aux.y4m"}) {
        const CliOutcome r = RunIohost({"encode", dir / name, "--pattern", "--frames", "1"});
        EXPECT_EQ(r.status, 1) << name;
        EXPECT_TRUE(Has(r.err, "is a device")) << r.err;
    }
    const std::string held = dir / "held.avi";
    WriteFile(held, "not to be lost");
    const HANDLE other = CreateFileW(fs::path(held).c_str(), GENERIC_READ | GENERIC_WRITE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    const CliOutcome r = RunIohost({"encode", held, "--pattern", "--frames", "1", "-y"});
    CloseHandle(other);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r.err, "is in use by another program")) << r.err;
    EXPECT_EQ(ReadFile(held), "not to be lost");
}

#endif

}  // namespace
}  // namespace iohost_test
