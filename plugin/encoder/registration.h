// The host's questions about the plug-in, its codecs and its container, and the object factory.
// Registration keeps no state: each answer is built, published and dropped.
#pragma once

#include <cstdint>

#include "plugin/encoder/wrapper/host_api.h"
#include "plugin/encoder/wrapper/plugin_api.h"

namespace Registration {

int32_t CreateObject(const uint8_t* classId, IOPlugin::IPluginObjRef** object);
int32_t QueryCodec(const uint8_t* codecId, IOPlugin::HostPropertyCollectionRef& props,
                   IOPlugin::HostListRef& list);
int32_t ListCodecs(IOPlugin::HostListRef& list);
int32_t ListContainers(IOPlugin::HostListRef& list);
int32_t GetInfo(IOPlugin::HostPropertyCollectionRef& props);

}  // namespace Registration
