#include "plugin/encoder/parvolux_avi_track_writer.h"

#include <cstddef>

#include "plugin/encoder/parvolux_avi_container.h"
#include "plugin/encoder/wrapper/plugin_assert.h"

ParvoluxAviTrackWriter::ParvoluxAviTrackWriter(ParvoluxAviContainer* container,
                                               uint64_t streamIndex, bool isVideo)
    : streamIndex(streamIndex), isVideo(isVideo) {
    m_pContainer = container;
    m_pContainer->AddRef();
}

int32_t ParvoluxAviTrackWriter::WritePacket(IOPlugin::HostBufferRef* packet) {
    auto* pContainer = dynamic_cast<ParvoluxAviContainer*>(m_pContainer);
    PARVOLUX_ASSERT(pContainer != NULL, "plugin/encoder/parvolux_avi_container");
    return isVideo ? pContainer->writeVideoPacket(streamIndex, packet)
                   : pContainer->writeAudioPacket(streamIndex, packet);
}
