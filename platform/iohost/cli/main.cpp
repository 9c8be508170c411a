#include <iostream>
#include <string>
#include <vector>

#include "platform/iohost/cli/cli.h"

#ifdef _WIN32
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>
#endif

namespace {

// The arguments as UTF-8: on Windows from the UTF-16 command line, since argv is in the ANSI
// code page and cannot carry every file name.
std::vector<std::string> Arguments(int argc, char** argv) {
    std::vector<std::string> args;
#ifdef _WIN32
    (void)argc;
    (void)argv;
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 1; wide != nullptr && i < count; ++i) {
        const int n = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
        std::string arg(static_cast<size_t>(n > 0 ? n - 1 : 0), '\0');
        if (n > 1) WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, arg.data(), n, nullptr, nullptr);
        args.push_back(std::move(arg));
    }
    if (wide != nullptr) LocalFree(wide);
#else
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
#endif
    return args;
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
    // Messages are UTF-8; a console shows them right only in its UTF-8 code page. Files and pipes
    // get the bytes as they are.
    DWORD mode = 0;
    const UINT codePage = GetConsoleOutputCP();
    const bool console = GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
    if (console) SetConsoleOutputCP(CP_UTF8);
    const int status = iohost::cli::Run(Arguments(argc, argv), std::cout, std::cerr);
    std::cerr.flush();
    if (console) SetConsoleOutputCP(codePage);
    return status;
#else
    return iohost::cli::Run(Arguments(argc, argv), std::cout, std::cerr);
#endif
}
