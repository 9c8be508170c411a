// The command line of iohost: one command with its own options, and the global ones, all in any
// order.
//
//   iohost <command> [options] [--module PATH] [-v] [-q]
//
// A command is declared in its own file (its name, options, help and function) and listed in
// Commands(). Run() never throws: every failure is a message on `err` and an exit status; a
// command's UsageError and OutputRefused are said for it, "iohost <command>: why". Standard output
// carries only what a command produces (a listing, decoded frames); summaries, warnings and
// progress go to `err`.
#pragma once

#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <vector>

#include "platform/iohost/cli/option_parser.h"
#include "platform/iohost/module/plugin_module.h"

namespace iohost::cli {

// Exit statuses, as media tools use them.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;  // the work failed (module, plug-in, file)
inline constexpr int kExitUsage = 2;    // the command line was wrong
inline constexpr int kExitInUse = 4;    // the file is in use by another program (inspect, repair)
// A run stopped by a signal exits with 128 + the signal's number (130 SIGINT, 143 SIGTERM).
inline constexpr int kExitSignalBase = 128;

struct GlobalOptions {
    std::string modulePath;  // empty: the product's module next to the executable
    bool verbose = false;    // echo the plug-in's log to standard error
    bool quiet = false;      // no summary, progress or warnings; errors only
};

struct Context {
    GlobalOptions options;
    std::vector<std::string> args;  // the command's own arguments
    std::ostream& out;
    std::ostream& err;
    const char* command = "";  // its name, for error()

    // Starts a message of the command on `err`: "iohost <command>: ".
    std::ostream& error() const;
};

struct Command {
    const char* name;
    const char* synopsis;  // arguments, for the usage text
    const char* summary;   // one line
    int (*run)(Context& context);
    // The rows of 'iohost <command> --help': its operands, then the options it parses, from the
    // table it parses them with. None for a command without options.
    std::vector<OptionHelp> (*options)() = nullptr;
    const char* notes = "";  // free text after the options
};

// The commands, in the order of the usage text.
extern const Command kInfo, kEncode, kInspect, kDecode, kRepair, kJoin;
[[nodiscard]] std::span<const Command* const> Commands();

// Runs a command line (without the program name); answers the exit status.
[[nodiscard]] int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// The module path the options name, or the default next to the executable.
[[nodiscard]] std::string ResolveModulePath(const GlobalOptions& options);

// Loads the module the options name and calls pluginInit; on failure prints why on `err` and
// answers false.
[[nodiscard]] bool LoadPlugin(const Context& context, std::optional<PluginModule>& module);

// Whether stderr is a terminal and `err` writes to it: progress lines are shown only then.
[[nodiscard]] bool ErrIsTerminal(const Context& context);

// Prints "iohost <command>: warning: text" on `err`, unless quiet.
void Warn(const Context& context, const std::string& text);

}  // namespace iohost::cli
