// Container AddTrack, Open, WritePacket and Close in a fuzzed order with fuzzed track and codec
// collections and packets. Files go to one scratch path (or to none: an empty path, or a folder
// that does not exist). The plug-in must answer a code every time, never touch memory it does not
// own, and let go of every host object and of the track/container cycle.
#include <unistd.h>

#include <cstdarg>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/iohost/host.h"
#include "plugin/encoder/parvolux_avi_container.h"
#include "plugin/encoder/wrapper/host_api.h"
#include "tests/reliability/fuzz_properties.h"

namespace {

int32_t Send(IOPlugin::IPluginObjRef* object, uint32_t selector, ...) {
    va_list args;
    va_start(args, selector);
    const int32_t code = object->Dispatch(selector, args);
    va_end(args);
    return code;
}

const std::string& ScratchPath() {
    static const std::string path =
        (std::filesystem::temp_directory_path() /
         ("parvolux-container-fuzz-" + std::to_string(getpid()) + ".avi"))
            .string();
    return path;
}

bool Documented(int32_t code) {
    return code == errNone || code == errFail || code == errInvalidParam || code == errUnsupported;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    iohost::Host& host = iohost::Host::instance();
    IOPlugin::s_HostAPI = host.api();
    reliability::FuzzReader in(data, size);
    const auto& keys = reliability::PluginKeys();

    auto* container = new ParvoluxAviContainer();
    std::vector<IOPlugin::IPluginObjRef*> tracks;
    {
        auto none = host.createCollection();
        if (!Documented(Send(container, contInit, none.handle()))) std::abort();
        for (int op = 0; op < 24 && !in.done(); ++op) {
            int32_t code = errNone;
            switch (in.u8() % 5) {
                case 0: {
                    auto track = host.createCollection();
                    auto codec = host.createCollection();
                    reliability::FillProperties(in, *track, keys, 10);
                    reliability::FillProperties(in, *codec, keys, 4);
                    const bool withCodec = (in.u8() & 1) != 0;
                    IOPlugin::IPluginObjRef* made = nullptr;
                    code = Send(container, contAddTrack, track.handle(),
                                withCodec ? codec.handle() : nullptr, &made);
                    if ((code == errNone) != (made != nullptr)) std::abort();
                    if (made != nullptr) tracks.push_back(made);
                    break;
                }
                case 1: {
                    auto props = host.createCollection();
                    reliability::FillProperties(in, *props, keys, 3);
                    const uint8_t where = in.u8() % 3;
                    props->setString("path", where == 0   ? ScratchPath()
                                             : where == 1 ? std::string()
                                                          : "/nonexistent-folder/x.avi");
                    code = Send(container, contOpen, props.handle());
                    break;
                }
                case 2:
                case 3: {
                    if (tracks.empty()) break;
                    auto* track = tracks[in.u8() % tracks.size()];
                    auto packet = host.createBuffer();
                    reliability::FillProperties(in, *packet, keys, 3);
                    std::vector<uint8_t> bytes(in.u32() % 4096, 0x5A);
                    (void)packet->assign(bytes);
                    const bool nullPacket = in.u8() == 0xFF;
                    code = Send(track, trackWrite, nullPacket ? nullptr : packet.handle());
                    break;
                }
                case 4:
                    code = Send(container, contClose);
                    break;
            }
            if (!Documented(code)) std::abort();
        }
        if (!Documented(Send(container, contClose))) std::abort();
    }
    for (auto* track : tracks) track->Release();
    container->Release();
    host.log().clear();
    if (host.liveObjects() != 0 || host.badHandles() != 0) std::abort();
    std::error_code ignored;
    std::filesystem::remove(ScratchPath(), ignored);
    return 0;
}
