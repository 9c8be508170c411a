#include "platform/iohost/cli.h"

#include <algorithm>
#include <exception>
#include <iostream>

#ifdef _WIN32
#include <io.h>
#define IOHOST_ISATTY _isatty
#else
#include <unistd.h>
#define IOHOST_ISATTY isatty
#endif

#include "platform/iohost/host.h"
#include "platform/iohost/plugin_module.h"

namespace iohost::cli {

namespace {

constexpr Command kCommands[] = {
    {"info", "", "show the plug-in, its container and its codec table", &RunInfo},
    {"encode", "OUT.avi [INPUT|-]", "encode video (and audio) into an AVI file", &RunEncode,
     "INPUT is a YUV4MPEG2 file, '-' for a YUV4MPEG2 pipe (ffmpeg -f yuv4mpegpipe), or a raw\n"
     "RGB/RGBA file with --pix; without INPUT a built-in moving test pattern is encoded.\n"
     "\n"
     "  --codec NAME|4CC      codec by name (\"8-bit YUV 422\") or code (P8Y2); default from "
     "input\n"
     "  --pix rgb24|rgba|rgb48le|rgba64le   INPUT is raw frames of this layout\n"
     "  --size WxH            frame size (raw input, test pattern; default 1280x720)\n"
     "  --rate N[/D]          frame rate (raw input, test pattern; default 25)\n"
     "  --frames N            stop after N frames (test pattern: default 100)\n"
     "  --format PIXFMT       layout of the test pattern: yuv420p, yuv422p (default), yuv444p,\n"
     "                        gray, yuv422p10, yuv444p10, gray10, rgb24, rgba, rgb48le, ...\n"
     "  --audio FILE.wav      audio from a WAV file (PCM 16/24/32-bit or 32-bit float, 1-8 ch)\n"
     "  --no-audio            no audio track (default: a built-in stereo tone)\n"
     "  --jobs N              run N encoders on N threads (same file as --jobs 1)\n"
     "  -q, --quiet           no summary\n"},
    {"inspect", "FILE.avi", "print an AVI file's structure and check its indexes", &RunInspect,
     "Prints the chunk tree, the streams and their chunk counts, then every inconsistency\n"
     "found between headers, indexes and chunks. A file whose export was interrupted is\n"
     "reported as unfinished: its segments, complete chunks per stream, torn tail and what\n"
     "'iohost repair' would do.\n"
     "\n"
     "Exit status: 0 consistent, 1 inconsistent or unreadable, 2 usage error,\n"
     "3 unfinished and repairable.\n"},
    {"decode", "FILE.avi -o OUT.y4m|OUT.raw [--verify SOURCE]",
     "decode the video (and audio) of an AVI file", &RunDecode,
     "  -o, --output FILE     decoded video: YUV4MPEG2 for YUV (.y4m), raw frames for RGB\n"
     "  --verify SOURCE       compare every frame with a YUV4MPEG2 or raw source; exits 1 and\n"
     "                        names the first difference on a mismatch\n"
     "  --pix FMT             layout of a raw SOURCE (default: that of the decoded frames)\n"
     "  --audio-out FILE.wav  extract the first audio track to a WAV file\n"},
    {"repair", "FILE.avi [-o OUT.avi [-y]] [--dry-run]",
     "finish an AVI file whose export was interrupted", &RunRepair,
     "Keeps every complete chunk where it lies, drops a torn tail and writes what closing the\n"
     "file would have written: the result is the file the export gives when stopped after the\n"
     "same frames. Reads only chunk headers. A finished file is left alone; a file this\n"
     "plug-in did not write, or one damaged before its header ended, is refused, unchanged.\n"
     "\n"
     "  -o, --output OUT      write the repaired file to OUT and leave FILE unchanged\n"
     "  -y, --yes             allow -o to overwrite an existing OUT (never FILE itself)\n"
     "  -n, --dry-run         only report what repair would do\n"
     "\n"
     "Exit status: 0 repaired or nothing to repair, 1 refused or failed, 2 usage error.\n"},
};

void PrintUsage(std::ostream& out) {
    out << "usage: iohost [options] <command> [command options]\n"
           "\n"
           "Drives the encoder plug-in module as a host application does.\n"
           "\n"
           "Commands:\n";
    for (const Command& command : kCommands) {
        std::string head = std::string(command.name) + " " + command.synopsis;
        head.resize(std::max<size_t>(head.size(), 14), ' ');
        out << "  " << head << command.summary << "\n";
    }
    out << "\n"
           "Options:\n"
           "  --module PATH     plug-in module to load (default: "
        << DefaultModuleFileName()
        << "\n"
           "                    next to this program)\n"
           "  -v, --verbose     echo the plug-in's log messages to standard error\n"
           "  -h, --help        show this help and exit\n"
           "  --version         show the program version and exit\n"
           "\n"
           "Run 'iohost <command> --help' for the options of one command.\n";
}

void PrintCommandUsage(const Command& command, std::ostream& out) {
    out << "usage: iohost [options] " << command.name;
    if (*command.synopsis != '\0') out << " " << command.synopsis;
    out << "\n\n" << command.summary << "\n";
    if (*command.details != '\0') out << "\n" << command.details;
}

const Command* FindCommand(const std::string& name) {
    for (const Command& command : kCommands) {
        if (name == command.name) return &command;
    }
    return nullptr;
}

bool IsTerminal(int fd) {
    return IOHOST_ISATTY(fd) != 0;
}

int UsageError(std::ostream& err, const std::string& message) {
    err << "iohost: " << message << "\n"
        << "Run 'iohost --help' for usage.\n";
    return kExitUsage;
}

}  // namespace

std::span<const Command> Commands() {
    return kCommands;
}

std::string ResolveModulePath(const GlobalOptions& options) {
    return options.modulePath.empty() ? PathNextToExecutable(DefaultModuleFileName())
                                      : options.modulePath;
}

bool LoadPlugin(const Context& context, std::optional<PluginModule>& module) {
    const std::string path = ResolveModulePath(context.options);
    try {
        module.emplace(path);
    } catch (const ModuleError& e) {
        context.err << "iohost: " << e.what() << "\n";
        if (context.options.modulePath.empty())
            context.err << "Use --module PATH to load a module from elsewhere.\n";
        return false;
    }
    if (const int32_t init = module->initialize(); init != errNone) {
        context.err << "iohost: pluginInit of '" << path << "' answered " << init << "\n";
        module.reset();
        return false;
    }
    return true;
}

bool ErrIsTerminal(const Context& context) {
    return &context.err == &std::cerr && IsTerminal(2);
}

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    try {
        GlobalOptions options;
        size_t i = 0;
        for (; i < args.size(); ++i) {
            const std::string& arg = args[i];
            if (arg == "-h" || arg == "--help") {
                PrintUsage(out);
                return kExitOk;
            }
            if (arg == "--version") {
                out << "iohost 0.1.0 (host interface version " << kHostInterfaceVersion << ")\n";
                return kExitOk;
            }
            if (arg == "-v" || arg == "--verbose") {
                options.verbose = true;
            } else if (arg == "--module") {
                if (i + 1 >= args.size()) return UsageError(err, "--module needs a path");
                options.modulePath = args[++i];
            } else if (arg.rfind("--module=", 0) == 0) {
                options.modulePath = arg.substr(9);
            } else if (arg.size() > 1 && arg[0] == '-') {
                return UsageError(err, "unknown option '" + arg + "'");
            } else {
                break;
            }
        }
        if (i == args.size()) {
            PrintUsage(err);
            return kExitUsage;
        }
        const Command* command = FindCommand(args[i]);
        if (command == nullptr) return UsageError(err, "unknown command '" + args[i] + "'");

        Context context{
            options, {args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end()}, out, err};
        for (const std::string& arg : context.args) {
            if (arg == "-h" || arg == "--help") {
                PrintCommandUsage(*command, out);
                return kExitOk;
            }
        }
        Host::instance().log().setEcho(options.verbose);
        return command->run(context);
    } catch (const std::exception& e) {
        err << "iohost: " << e.what() << "\n";
        return kExitFailure;
    }
}

}  // namespace iohost::cli
