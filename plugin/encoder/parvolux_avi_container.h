// The "Parvolux AVI" container: the plug-in object that turns the host's tracks and packets into
// one AVI file. The host's order is Init, AddTrack for every track (at most one video track, which
// carries the encoder's packets, and any number of audio tracks of PCM or float samples), Open
// (the file is created and the header written at once, so every track comes first), packets to
// the tracks in any interleaving, Close. Close finalizes the file and makes the container fresh
// again, so one container can write several files in turn.
//
// What the host's properties become in the file:
// - video: the main header's frame time and size, a "vids" stream header with the codec's
//   four-character code, and a BITMAPINFOHEADER followed by the codec's private bytes
//   ("magicCookie") whose biBitCount comes from the format table row of that code (32 for none);
// - audio: AviStream::setAudioFormat with PCM or float, the channel count, rate, sample width and
//   the channel mask named by "audLayout".
//
// Ownership is a cycle: each track writer holds a reference to its container and the container
// one to each track writer until Close drops them. So the container dies only after Close and
// after the host has dropped its own references, in whatever order it drops them; Close itself
// keeps the container alive until it returns.
//
// Every failure reaches the host as a result code, errFail always with one message in its log;
// no exception leaves an operation. No lock: the calls on one container and its tracks must not
// overlap (they share one writer and one file); different containers may run at once.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "avi/avi_writer.h"
#include "fileio/platform_file.h"
#include "plugin/encoder/wrapper/plugin_api.h"

class ParvoluxAviTrackWriter;

class ParvoluxAviContainer : public IOPlugin::IPluginContainerRef {
public:
    ParvoluxAviContainer();
    // Finalizes an unfinished file (failures swallowed) and closes it. Drops no track reference:
    // while a track lives, its reference keeps the container alive.
    ~ParvoluxAviContainer() override;

    // Ignores the collection; a fresh writer and a closed file, the tracks kept.
    int32_t Init(IOPlugin::HostPropertyCollectionRef& props) override;
    // Creates (or truncates) the file named by "path" and writes the header for the tracks so far.
    int32_t Open(IOPlugin::HostPropertyCollectionRef& props) override;
    // errInvalidParam for a "mediaType" other than 1 (audio) or 2 (video) and for a video track
    // without a usable frame rate; errUnsupported for a second video track, a track once the header
    // is written, or one track more than the writer can name. A refused track creates nothing.
    int32_t AddTrack(IOPlugin::HostPropertyCollectionRef& trackProps,
                     IOPlugin::HostPropertyCollectionRef& codecProps,
                     IOPlugin::IPluginObjRef** track) override;
    int32_t Close() override;

    // One chunk per packet: a key frame of duration 1 for video; for audio the packet's
    // "duration" (sample frames) and no key frame. No packet, no buffer in it, or a buffer that
    // cannot be locked: errNone and nothing written.
    int32_t writeVideoPacket(uint64_t streamIndex, IOPlugin::HostBufferRef* packet);
    int32_t writeAudioPacket(uint64_t streamIndex, IOPlugin::HostBufferRef* packet);

private:
    // Replaces the writer and closes the file; the tracks stay.
    void reset();
    int32_t addVideoTrack(IOPlugin::HostPropertyCollectionRef& trackProps,
                          IOPlugin::HostPropertyCollectionRef& codecProps, uint32_t rate,
                          uint32_t scale, IOPlugin::IPluginObjRef** track);
    int32_t addAudioTrack(IOPlugin::HostPropertyCollectionRef& trackProps,
                          IOPlugin::IPluginObjRef** track);
    // Video chunks are key frames, audio chunks are not.
    int32_t writePacket(uint64_t streamIndex, IOPlugin::HostBufferRef* packet, uint32_t duration,
                        bool isVideo);

    ParvoluxAviTrackWriter* videoTrack = nullptr;
    std::vector<ParvoluxAviTrackWriter*> audioTracks;
    fileio::PlatformFile file;
    std::unique_ptr<AviWriter> writer;  // never null
};
