#include "platform/iohost/module/plugin_module.h"

#include <utility>

#include "platform/iohost/files/system_error.h"
#include "platform/iohost/host/host.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>

#include <vector>
#endif

namespace iohost {

namespace {

#ifdef _WIN32
std::wstring Widen(const std::string& text) {
    if (text.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(),
                                      static_cast<int>(text.size()), nullptr, 0);
    if (n <= 0) throw ModuleError("not a UTF-8 path: " + text);
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
    return wide;
}

std::string Narrow(const std::wstring& text) {
    if (text.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                      nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<size_t>(n > 0 ? n : 0), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), narrow.data(), n,
                        nullptr, nullptr);
    return narrow;
}

#endif

}  // namespace

PluginModule::PluginModule(const std::string& path) : m_path(path) {
#ifdef _WIN32
    HMODULE library = LoadLibraryW(Widen(path).c_str());
    if (library == nullptr)
        throw ModuleError("cannot load module " + path + ": " +
                          WindowsReason(GetLastError(), "'" + path + "'"));
    FARPROC symbol = GetProcAddress(library, IOP_PLUGIN_INIT_NAME);
    if (symbol == nullptr) {
        FreeLibrary(library);
        throw ModuleError("module " + path + " has no " IOP_PLUGIN_INIT_NAME " export");
    }
    m_library = library;
    m_init = reinterpret_cast<PluginInitFn>(reinterpret_cast<void*>(symbol));
#else
    // RTLD_LOCAL keeps the module's symbols to itself, as a host application would.
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char* error = dlerror();
        std::string reason = error != nullptr ? error : "unknown reason";
        // dlerror() names the path itself; say it once.
        if (reason.rfind(path + ": ", 0) == 0) reason.erase(0, path.size() + 2);
        throw ModuleError("cannot load module " + path + ": " + reason);
    }
    void* symbol = dlsym(library, IOP_PLUGIN_INIT_NAME);
    if (symbol == nullptr) {
        dlclose(library);
        throw ModuleError("module " + path + " has no " IOP_PLUGIN_INIT_NAME " export");
    }
    m_library = library;
    m_init = reinterpret_cast<PluginInitFn>(symbol);
#endif
}

PluginModule::PluginModule(PluginModule&& other) noexcept
    : m_path(std::move(other.m_path)),
      m_library(std::exchange(other.m_library, nullptr)),
      m_init(std::exchange(other.m_init, nullptr)),
      m_plugin(std::exchange(other.m_plugin, PluginAPI{0, nullptr})) {}

PluginModule::~PluginModule() {
    unload();
}

void PluginModule::unload() noexcept {
    if (m_library == nullptr) return;
    m_plugin = PluginAPI{0, nullptr};
    m_init = nullptr;
#ifdef _WIN32
    FreeLibrary(static_cast<HMODULE>(m_library));
#else
    dlclose(m_library);
#endif
    m_library = nullptr;
}

PluginModule PluginModule::load(const std::string& path) {
    PluginModule module(path);
    const int32_t code = module.initialize();
    if (code != errNone) {
        throw ModuleError("module " + path + ": " IOP_PLUGIN_INIT_NAME " answered " +
                          std::to_string(code));
    }
    return module;
}

int32_t PluginModule::initialize(const HostAPI& host) {
    PluginAPI record{0, nullptr};
    const int32_t code = m_init(&host, &record);
    m_plugin = record;
    return code;
}

int32_t PluginModule::initialize() {
    return initialize(Host::instance().api());
}

std::string ExecutableDirectory() {
#ifdef _WIN32
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return ".";
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);
    }
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? "." : Narrow(path.substr(0, slash));
#else
    std::vector<char> path(4096);
    for (;;) {
        const ssize_t n = readlink("/proc/self/exe", path.data(), path.size());
        if (n < 0) return ".";
        if (static_cast<size_t>(n) < path.size()) {
            std::string text(path.data(), static_cast<size_t>(n));
            const size_t slash = text.find_last_of('/');
            if (slash == std::string::npos) return ".";
            return slash == 0 ? "/" : text.substr(0, slash);
        }
        path.resize(path.size() * 2);
    }
#endif
}

const char* DefaultModuleFileName() {
#ifdef _WIN32
    return "parvolux_encoder_plugin.iopx";
#else
    return "parvolux_encoder_plugin.so";
#endif
}

const char* ModuleSuffix() {
#ifdef _WIN32
    return ".dll";
#else
    return ".so";
#endif
}

std::string PathNextToExecutable(const std::string& fileName) {
#ifdef _WIN32
    return ExecutableDirectory() + "\\" + fileName;
#else
    const std::string dir = ExecutableDirectory();
    return dir == "/" ? dir + fileName : dir + "/" + fileName;
#endif
}

}  // namespace iohost
