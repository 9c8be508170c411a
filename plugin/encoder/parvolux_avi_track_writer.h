// One track of a ParvoluxAviContainer as the host holds it: it names its stream in the
// container's writer and hands every packet the host writes to the container. It keeps its
// container alive through one counted reference (dropped by the base's destructor), and is kept
// alive by the container until Close and by the host until the host releases it.
#pragma once

#include <cstdint>

#include "plugin/encoder/wrapper/plugin_api.h"

class ParvoluxAviContainer;

class ParvoluxAviTrackWriter : public IOPlugin::IPluginTrackBase,
                               public IOPlugin::IPluginTrackWriter {
public:
    // Reference count 1 (the container's); takes a reference to `container`.
    ParvoluxAviTrackWriter(ParvoluxAviContainer* container, uint64_t streamIndex, bool isVideo);

    // `packet` is null when the host passed no buffer.
    int32_t WritePacket(IOPlugin::HostBufferRef* packet) override;

    const uint64_t streamIndex;  // the stream in the container's writer
    const bool isVideo;
};
