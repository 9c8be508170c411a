// The module's only export and the plug-in's dispatch function. Nothing here keeps state beyond
// the host record; no exception leaves PluginDispatch.
#include <cstdarg>
#include <cstddef>
#include <cstring>
#include <exception>

#include "plugin/encoder/registration.h"
#include "plugin/encoder/wrapper/host_api.h"
#include "plugin/encoder/wrapper/plugin_api.h"

#if defined(_WIN32)
#define PARVOLUX_EXPORT __declspec(dllexport)
#else
#define PARVOLUX_EXPORT __attribute__((visibility("default")))
#endif

namespace {

using IOPlugin::HostListRef;
using IOPlugin::HostPropertyCollectionRef;
using IOPlugin::IPluginObjRef;

bool IsObjectSelector(uint32_t selector) {
    switch (selector) {
        case codecConfigure:
        case codecOpen:
        case codecFinish:
        case codecSetCallback:
        case codecProcess:
        case codecQuery:
        case codecQueryState:
        case contInit:
        case contOpen:
        case contAddTrack:
        case contClose:
        case trackWrite:
            return true;
        default:
            return false;
    }
}

int32_t DispatchReferenceCount(uint32_t selector, va_list args) {
    auto* object = va_arg(args, IPluginObjRef*);
    auto* count = va_arg(args, uint32_t*);
    if (object == nullptr || count == nullptr) return errInvalidParam;
    *count = selector == plugAddRef ? object->AddRef() : object->Release();
    return errNone;
}

int32_t Route(uint32_t selector, va_list args) {
    switch (selector) {
        case plugCreateObject: {
            const auto* classId = va_arg(args, const uint8_t*);
            auto** object = va_arg(args, IPluginObjRef**);
            if (classId == nullptr || object == nullptr) return errInvalidParam;
            return Registration::CreateObject(classId, object);
        }
        case plugAddRef:
        case plugRelease:
            return DispatchReferenceCount(selector, args);
        case plugQueryCodec: {
            const auto* codecId = va_arg(args, const uint8_t*);
            HostPropertyCollectionRef props(va_arg(args, void*));
            HostListRef list(va_arg(args, void*));
            if (props.IsEmpty() || codecId == nullptr) return errInvalidParam;
            return Registration::QueryCodec(codecId, props, list);
        }
        case plugNop1:
        case plugNop2:
            return errNone;
        case plugListCodecs: {
            HostListRef list(va_arg(args, void*));
            return Registration::ListCodecs(list);
        }
        case plugListContainers: {
            HostListRef list(va_arg(args, void*));
            return Registration::ListContainers(list);
        }
        case plugGetInfo: {
            HostPropertyCollectionRef props(va_arg(args, void*));
            if (props.IsEmpty()) return errInvalidParam;
            return Registration::GetInfo(props);
        }
        default:
            break;
    }
    if (!IsObjectSelector(selector)) return errUnsupported;
    auto* object = va_arg(args, IPluginObjRef*);
    if (object == nullptr) return errInvalidParam;
    return object->Dispatch(selector, args);
}

}  // namespace

extern "C" int32_t PluginDispatch(uint32_t selector, ...) {
    va_list args;
    va_start(args, selector);
    int32_t result = errFail;
    // Every operation reports its own failures; this is the last line that keeps an unexpected
    // exception from unwinding into the host.
    try {
        result = Route(selector, args);
    } catch (const std::exception& e) {
        IOPlugin::HostLog(0, "Parvolux Plugin :: %s", e.what());
    } catch (...) {
        IOPlugin::HostLog(0, "Parvolux Plugin :: unexpected failure");
    }
    va_end(args);
    return result;
}

extern "C" PARVOLUX_EXPORT int32_t pluginInit(const HostAPI* host, PluginAPI* plugin) {
    if (host == nullptr || plugin == nullptr) return errInvalidParam;
    const uint32_t version = 1;
    std::memcpy(&plugin->version, &version, sizeof version);
    uint32_t hostVersion = 0;
    std::memcpy(&hostVersion, &host->version, sizeof hostVersion);
    if (hostVersion == 0) return errVersion;
    std::memcpy(&IOPlugin::s_HostAPI, host, sizeof(HostAPI));
    const IopDispatchFn dispatch = &PluginDispatch;
    std::memcpy(reinterpret_cast<unsigned char*>(plugin) + offsetof(PluginAPI, dispatch), &dispatch,
                sizeof dispatch);
    return errNone;
}
