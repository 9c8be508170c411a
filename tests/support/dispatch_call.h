// Calls a plug-in object's Dispatch with the arguments after the selector, as PluginDispatch does.
#pragma once

#include <cstdarg>

#include "plugin/encoder/wrapper/plugin_api.h"

namespace bridge_test {

inline int32_t Send(IOPlugin::IPluginObjRef* object, uint32_t selector, ...) {
    va_list args;
    va_start(args, selector);
    const int32_t code = object->Dispatch(selector, args);
    va_end(args);
    return code;
}

}  // namespace bridge_test
