// The host's side of one container object: init, tracks, open, packets, close. Each call
// answers the plug-in's code. The host's order is init, addVideoTrack/addAudioTrack, open,
// packets to the tracks in any interleaving, close; nothing here enforces it, so tests can
// break it on purpose.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/iohost/driver/plugin_object.h"
#include "platform/iohost/driver/track.h"
#include "platform/iohost/host/host.h"

namespace iohost {

// A video track: properties of the track collection and of the codec collection.
struct VideoTrackSettings {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t rate = 25;  // "frameRate": rate then scale
    uint32_t scale = 1;
    uint32_t fourcc = 0;              // "4cc" of the codec collection
    std::vector<uint8_t> cookie;      // "magicCookie" of the codec collection
    bool withCodecCollection = true;  // false: contAddTrack gets a null codec collection

    void applyTo(PropertyStore& track, PropertyStore& codec) const;
};

// An audio track: PCM (sampleBits 16/24/32) or float (isFloat, 32).
struct AudioTrackSettings {
    uint32_t samplingRate = 48000;
    uint32_t numChannels = 2;
    uint32_t sampleBits = 16;
    bool isFloat = false;
    uint32_t audLayout = 2;
    // "frameRate": samplingRate / 1 unless set.
    uint32_t rate = 0;
    uint32_t scale = 1;

    void applyTo(PropertyStore& track) const;
};

class Container : public PluginObject {
public:
    using PluginObject::PluginObject;

    // contInit with a new empty collection, or with the handle given (null allowed).
    [[nodiscard]] int32_t init();
    [[nodiscard]] int32_t initWith(void* collection);

    [[nodiscard]] int32_t addVideoTrack(const VideoTrackSettings& settings, Track& out);
    [[nodiscard]] int32_t addAudioTrack(const AudioTrackSettings& settings, Track& out);
    // contAddTrack with any two handles (either may be null). On errNone with a track object,
    // `out` owns the track's reference.
    [[nodiscard]] int32_t addTrackWith(void* trackCollection, void* codecCollection, Track& out);

    // contOpen with a collection carrying "path" (UTF-8), or with the handle given.
    [[nodiscard]] int32_t open(const std::string& path);
    [[nodiscard]] int32_t openWith(void* collection);

    [[nodiscard]] int32_t close();
};

}  // namespace iohost
