#include "platform/iohost/cli/option_parser.h"

namespace iohost::cli {

OptionParser& OptionParser::flag(std::initializer_list<const char*> names, bool& target) {
    m_options.push_back({{names.begin(), names.end()}, &target, nullptr});
    return *this;
}

OptionParser& OptionParser::value(std::initializer_list<const char*> names,
                                  std::optional<std::string>& target) {
    m_options.push_back({{names.begin(), names.end()}, nullptr, &target});
    return *this;
}

const OptionParser::Option* OptionParser::find(const std::string& name) const {
    for (const Option& option : m_options)
        for (const std::string& known : option.names)
            if (known == name) return &option;
    return nullptr;
}

std::vector<std::string> OptionParser::parse(const std::vector<std::string>& args) const {
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
        const Option* option = find(name);
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

}  // namespace iohost::cli
