#include "platform/iohost/driver/container.h"

#include <array>

namespace iohost {

namespace {

void SetFrameRate(PropertyStore& track, uint32_t rate, uint32_t scale) {
    const std::array<int32_t, 2> frameRate{static_cast<int32_t>(rate), static_cast<int32_t>(scale)};
    track.setInt32s("frameRate", frameRate);
}

}  // namespace

void VideoTrackSettings::applyTo(PropertyStore& track, PropertyStore& codec) const {
    track.setInt32("mediaType", iopMediaVideo);
    SetFrameRate(track, rate, scale);
    track.setInt32("width", static_cast<int32_t>(width));
    track.setInt32("height", static_cast<int32_t>(height));
    codec.setBytes("magicCookie", cookie);
    codec.setInt32("4cc", static_cast<int32_t>(fourcc));
}

void AudioTrackSettings::applyTo(PropertyStore& track) const {
    track.setInt32("mediaType", iopMediaAudio);
    SetFrameRate(track, rate != 0 ? rate : samplingRate, rate != 0 ? scale : 1);
    track.setInt32("samplingRate", static_cast<int32_t>(samplingRate));
    track.setInt32("numChannels", static_cast<int32_t>(numChannels));
    track.setInt32("sampleBits", static_cast<int32_t>(sampleBits));
    track.setUInt8("isFloat", isFloat ? 1 : 0);
    track.setInt32("audLayout", static_cast<int32_t>(audLayout));
}

int32_t Container::init() {
    auto collection = Host::instance().createCollection();
    return initWith(collection.handle());
}

int32_t Container::initWith(void* collection) {
    return send(contInit, collection);
}

int32_t Container::addVideoTrack(const VideoTrackSettings& settings, Track& out) {
    auto track = Host::instance().createCollection();
    auto codec = Host::instance().createCollection();
    settings.applyTo(*track, *codec);
    return addTrackWith(track.handle(), settings.withCodecCollection ? codec.handle() : nullptr,
                        out);
}

int32_t Container::addAudioTrack(const AudioTrackSettings& settings, Track& out) {
    auto track = Host::instance().createCollection();
    settings.applyTo(*track);
    return addTrackWith(track.handle(), nullptr, out);
}

int32_t Container::addTrackWith(void* trackCollection, void* codecCollection, Track& out) {
    void* object = nullptr;
    const int32_t code = send(contAddTrack, trackCollection, codecCollection, &object);
    if (code == errNone && object != nullptr) out = Track(*m_module, object);
    return code;
}

int32_t Container::open(const std::string& path) {
    auto collection = Host::instance().createCollection();
    collection->setString("path", path);
    return openWith(collection.handle());
}

int32_t Container::openWith(void* collection) {
    return send(contOpen, collection);
}

int32_t Container::close() {
    return send(contClose);
}

}  // namespace iohost
