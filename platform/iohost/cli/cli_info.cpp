#include <iomanip>
#include <optional>
#include <sstream>

#include "platform/iohost/cli/cli.h"
#include "platform/iohost/driver/driver.h"

namespace iohost::cli {

namespace {

// The host's names for the colour model codes a plug-in publishes.
std::string ColorModelName(int32_t model) {
    switch (model) {
        case 1:
            return "RGB";
        case 3:
            return "RGBA";
        case 7:
            return "YUV planar";
        case 8:
            return "YUV packed";
        default:
            return "model " + std::to_string(model);
    }
}

std::string Answer(int32_t code) {
    return ResultName(code) + " (" + std::to_string(code) + ")";
}

void PrintCodecTable(const std::vector<CodecInfo>& codecs, std::ostream& out) {
    out << "  " << std::left << std::setw(18) << "Name" << std::setw(6) << "4CC" << std::setw(13)
        << "Colour model" << std::setw(13) << "Subsampling"
        << "Bit depth\n";
    for (const CodecInfo& codec : codecs) {
        out << "  " << std::setw(18) << codec.name << std::setw(6) << FourCCToText(codec.fourcc)
            << std::setw(13) << ColorModelName(codec.colorModel) << std::setw(13)
            << codec.subsamplingText() << codec.bitDepth << "\n";
    }
}

// The plug-in, its containers and its codecs; answers false when the module refused any of them.
bool PrintRegistration(const Driver& driver, std::ostream& out) {
    bool answered = true;
    PluginInfo info;
    if (const int32_t code = driver.getInfo(info); code == errNone) {
        out << "Plug-in:    " << info.name << "  {" << UuidToHex(info.uuid) << "}\n";
    } else {
        out << "Plug-in:    the module answered " << Answer(code) << "\n";
        answered = false;
    }
    std::vector<ContainerInfo> containers;
    const int32_t containerCode = driver.listContainers(containers);
    for (const ContainerInfo& container : containers) {
        out << "Container:  " << container.name << "  (." << container.extension << ")  {"
            << UuidToHex(container.uuid) << "}\n";
    }
    if (containerCode != errNone) {
        out << "Containers: the module answered " << Answer(containerCode) << "\n";
        answered = false;
    }
    std::vector<CodecInfo> codecs;
    const int32_t codecCode = driver.listCodecs(codecs);
    out << "Codecs:     " << codecs.size() << "\n";
    if (!codecs.empty()) PrintCodecTable(codecs, out);
    if (codecCode != errNone) {
        out << "Codec list: the module answered " << Answer(codecCode) << "\n";
        answered = false;
    }
    return answered;
}

int RunInfo(Context& context) {
    std::ostream& out = context.out;
    std::ostream& err = context.err;
    if (!context.args.empty()) {
        const std::string& arg = context.args.front();
        throw UsageError(
            (arg.size() > 1 && arg[0] == '-' ? "unknown option '" : "unexpected argument '") + arg +
            "'");
    }

    const std::string path = ResolveModulePath(context.options);
    std::optional<PluginModule> loaded;
    try {
        loaded.emplace(path);
    } catch (const ModuleError& e) {
        err << "iohost: " << e.what() << "\n";
        if (context.options.modulePath.empty())
            err << "Use --module PATH to load a module from elsewhere.\n";
        return kExitFailure;
    }
    PluginModule& module = *loaded;
    const int32_t init = module.initialize();
    out << "Module:     " << path << "\n";
    if (init != errNone) {
        err << "iohost: pluginInit answered " << Answer(init) << "\n";
        return kExitFailure;
    }
    out << "Interface:  version " << module.pluginVersion() << "\n";
    const bool failed = !PrintRegistration(Driver(module), out);
    if (failed && !context.options.verbose) {
        for (const LogEntry& entry : Host::instance().log().entries())
            err << "plug-in: " << entry.text << "\n";
    }
    return failed ? kExitFailure : kExitOk;
}

}  // namespace

constexpr Command kInfo{"info", "", "show the plug-in, its container and its codec table",
                        &RunInfo};

}  // namespace iohost::cli
