// Container AddTrack, Open, WritePacket and Close in a fuzzed order with fuzzed track and codec
// collections and packets. Files go to one scratch path (or to none: an empty path, or a folder
// that does not exist). The plug-in must answer a documented code every time, never touch memory
// it does not own, and let go of every host object and of the track/container cycle.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/iohost/host/host.h"
#include "plugin/encoder/parvolux_avi_container.h"
#include "plugin/encoder/wrapper/host_api.h"
#include "tests/reliability/fuzz_properties.h"
#include "tests/support/dispatch_call.h"

namespace {

using bridge_test::Send;

void Check(int32_t code) {
    if (code != errNone && code != errFail && code != errInvalidParam && code != errUnsupported)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string scratch =
        (std::filesystem::temp_directory_path() /
         ("parvolux-container-fuzz-" + std::to_string(getpid()) + ".avi"))
            .string();
    iohost::Host& host = iohost::Host::instance();
    IOPlugin::s_HostAPI = host.api();
    reliability::FuzzReader in(data, size);

    auto* container = new ParvoluxAviContainer();
    std::vector<IOPlugin::IPluginObjRef*> tracks;
    {
        auto none = host.createCollection();
        Check(Send(container, contInit, none.handle()));
        for (int op = 0; op < 24 && !in.done(); ++op) {
            const uint8_t pick = in.u8() % 5;
            if (pick == 0) {
                auto track = host.createCollection();
                auto codec = host.createCollection();
                reliability::FillProperties(in, *track, 10);
                reliability::FillProperties(in, *codec, 4);
                const bool withCodec = (in.u8() & 1) != 0;
                IOPlugin::IPluginObjRef* made = nullptr;
                const int32_t code = Send(container, contAddTrack, track.handle(),
                                          withCodec ? codec.handle() : nullptr, &made);
                Check(code);
                if ((code == errNone) != (made != nullptr)) std::abort();
                if (made != nullptr) tracks.push_back(made);
            } else if (pick == 1) {
                auto props = host.createCollection();
                reliability::FillProperties(in, *props, 3);
                const uint8_t where = in.u8() % 3;
                props->setString("path", where == 0   ? scratch
                                         : where == 1 ? std::string()
                                                      : "/nonexistent-folder/x.avi");
                Check(Send(container, contOpen, props.handle()));
            } else if (pick < 4 && !tracks.empty()) {
                auto* track = tracks[in.u8() % tracks.size()];
                auto packet = host.createBuffer();
                reliability::FillProperties(in, *packet, 3);
                (void)packet->assign(std::vector<uint8_t>(in.u32() % 4096, 0x5A));
                const bool nullPacket = in.u8() == 0xFF;
                Check(Send(track, trackWrite, nullPacket ? nullptr : packet.handle()));
            } else if (pick == 4) {
                Check(Send(container, contClose));
            }
        }
        Check(Send(container, contClose));
    }
    for (auto* track : tracks) track->Release();
    container->Release();
    host.log().clear();
    if (host.liveObjects() != 0 || host.badHandles() != 0) std::abort();
    std::error_code ignored;
    std::filesystem::remove(scratch, ignored);
    return 0;
}
