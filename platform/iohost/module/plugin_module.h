// Loads a plug-in module, hands it the host record and keeps the plug-in record it fills in.
//
// The module stays loaded for the life of the PluginModule; the destructor unloads it, which
// runs the module's static tear-down. Every plug-in object must be released before that.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include "plugin/encoder/wrapper/iop_abi.h"

namespace iohost {

// A module that cannot be loaded or has no pluginInit; the text names the path and the
// system's reason.
class ModuleError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class PluginModule {
public:
    // Loads the module (a UTF-8 path) and finds pluginInit; throws ModuleError. Does not call
    // pluginInit: see initialize().
    explicit PluginModule(const std::string& path);
    ~PluginModule();
    PluginModule(const PluginModule&) = delete;
    PluginModule& operator=(const PluginModule&) = delete;

    // Loads and initialises with the reference host's record; throws ModuleError when
    // pluginInit does not answer errNone.
    [[nodiscard]] static PluginModule load(const std::string& path);
    PluginModule(PluginModule&& other) noexcept;

    // Calls pluginInit with `host` and keeps the plug-in record it fills in. The record starts
    // as {0, null}, so a test can see which fields the plug-in wrote. Answers pluginInit's code.
    [[nodiscard]] int32_t initialize(const HostAPI& host);
    // Calls pluginInit with the reference host's record.
    [[nodiscard]] int32_t initialize();

    [[nodiscard]] const std::string& path() const { return m_path; }
    [[nodiscard]] uint32_t pluginVersion() const { return m_plugin.version; }
    [[nodiscard]] IopDispatchFn pluginDispatch() const { return m_plugin.dispatch; }
    [[nodiscard]] bool ready() const { return m_plugin.dispatch != nullptr; }

    // Forwards to the plug-in's dispatch function. The arguments must already have the C types
    // of iop_abi.h (uint32_t, int64_t, void*, pointers). errVersion until initialize() gave the
    // module a dispatch function.
    template <class... Args>
    [[nodiscard]] int32_t dispatch(uint32_t selector, Args... args) const {
        IopDispatchFn fn = m_plugin.dispatch;
        if (fn == nullptr) return errVersion;
        return fn(selector, args...);
    }

private:
    PluginModule() = default;
    void unload() noexcept;

    std::string m_path;
    void* m_library = nullptr;  // dlopen handle or HMODULE
    PluginInitFn m_init = nullptr;
    PluginAPI m_plugin{0, nullptr};
};

// The directory of the running executable (UTF-8, no trailing separator).
[[nodiscard]] std::string ExecutableDirectory();
// The file name of the product's module on this platform.
[[nodiscard]] const char* DefaultModuleFileName();
// `fileName` in the directory of the running executable.
[[nodiscard]] std::string PathNextToExecutable(const std::string& fileName);
// The platform's loadable-module suffix, ".so" or ".dll".
[[nodiscard]] const char* ModuleSuffix();

}  // namespace iohost
