#include "platform/iohost/cli/option_parser.h"

#include <algorithm>

namespace iohost::cli {

namespace {

const OptionTarget* Find(std::span<const OptionTarget> options, const std::string& name) {
    for (const OptionTarget& option : options)
        if (Spells(option.names, name)) return &option;
    return nullptr;
}

}  // namespace

bool Spells(std::string_view names, std::string_view name) {
    for (size_t at = 0; at < names.size();) {
        const size_t end = std::min(names.find(", ", at), names.size());
        if (names.substr(at, end - at) == name) return true;
        at = end + 2;
    }
    return false;
}

std::vector<std::string> ParseArguments(std::span<const OptionTarget> options,
                                        const std::vector<std::string>& args) {
    std::vector<std::string> positional;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--") {
            positional.insert(positional.end(), args.begin() + static_cast<std::ptrdiff_t>(i) + 1,
                              args.end());
            break;
        }
        if (arg.size() < 2 || arg[0] != '-') {  // "-" alone is standard input or output
            positional.push_back(arg);
            continue;
        }
        const size_t equals = arg.rfind("--", 0) == 0 ? arg.find('=') : std::string::npos;
        const std::string name = arg.substr(0, equals);
        const OptionTarget* option = Find(options, name);
        if (option == nullptr) throw UsageError("unknown option '" + name + "'");
        if (option->flag != nullptr) {
            if (equals != std::string::npos) throw UsageError(name + " takes no value");
            *option->flag = true;
        } else if (equals != std::string::npos) {
            *option->value = arg.substr(equals + 1);
        } else if (i + 1 < args.size()) {
            *option->value = args[++i];
        } else {
            throw UsageError(name + " needs a value");
        }
    }
    return positional;
}

void CheckPositionals(const std::vector<std::string>& positional, size_t most,
                      std::string_view first) {
    if (positional.empty()) throw UsageError("no " + std::string(first));
    if (positional.size() > most)
        throw UsageError("unexpected argument '" + positional[most] + "'");
}

}  // namespace iohost::cli
