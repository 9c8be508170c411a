// The command line of iohost: global options, then one command with its own options.
//
//   iohost [--module PATH] [-v] <command> [options]
//
// A command is a row of the table Commands(); adding encode, inspect or decode is adding a row
// and its function. Run() never throws: every failure is a message on `err` and an exit status.
#pragma once

#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <vector>

#include "platform/iohost/plugin_module.h"

namespace iohost::cli {

// Exit statuses, as media tools use them.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;  // the work failed (module, plug-in, file)
inline constexpr int kExitUsage = 2;    // the command line was wrong

struct GlobalOptions {
    std::string modulePath;  // empty: the product's module next to the executable
    bool verbose = false;    // echo the plug-in's log to standard error
};

struct Context {
    GlobalOptions options;
    std::vector<std::string> args;  // the command's own arguments
    std::ostream& out;
    std::ostream& err;
};

struct Command {
    const char* name;
    const char* synopsis;  // arguments, for the usage text
    const char* summary;   // one line
    int (*run)(Context& context);
    const char* details = "";  // the command's options, for 'iohost <command> --help'
};

[[nodiscard]] std::span<const Command> Commands();

// Runs a command line (without the program name); answers the exit status.
[[nodiscard]] int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// The commands.
[[nodiscard]] int RunInfo(Context& context);
[[nodiscard]] int RunEncode(Context& context);
[[nodiscard]] int RunInspect(Context& context);
[[nodiscard]] int RunDecode(Context& context);
[[nodiscard]] int RunRepair(Context& context);

// The module path the options name, or the default next to the executable.
[[nodiscard]] std::string ResolveModulePath(const GlobalOptions& options);

// Loads the module the options name and calls pluginInit; on failure prints why on `err` and
// answers false.
[[nodiscard]] bool LoadPlugin(const Context& context, std::optional<PluginModule>& module);

// Whether stderr is a terminal and `err` writes to it: progress lines are shown only then.
[[nodiscard]] bool ErrIsTerminal(const Context& context);

}  // namespace iohost::cli
