// The smallest plug-in module: it answers one selector, logs whether an initialisation is the
// first since it was loaded, and reports its static tear-down to the host, so the loader's tests
// can see a module really load, initialise and unload.
#include <cstdint>

#include "plugin/encoder/wrapper/iop_abi.h"

namespace {

HostAPI s_host{0, nullptr};
int s_inits = 0;

void Log(const char* text) {
    IopDispatchFn fn = s_host.dispatch;
    if (fn != nullptr) (void)fn(hostLog, uint32_t{0}, text);
}

int32_t PluginDispatch(uint32_t selector, ...) {
    return selector == plugNop1 ? errNone : errUnsupported;
}

struct UnloadReporter {
    ~UnloadReporter() { Log("unloaded"); }
} s_unloadReporter;

}  // namespace

extern "C" int32_t pluginInit(const HostAPI* host, PluginAPI* plugin) {
    plugin->version = 1;
    if (host->version == 0) return errVersion;
    s_host = *host;
    plugin->dispatch = &PluginDispatch;
    Log(++s_inits == 1 ? "first init" : "init again");
    return errNone;
}
