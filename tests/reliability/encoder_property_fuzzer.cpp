// Encoder Open and DoProcess fed fuzzed stream settings and frames: any keys, types and counts,
// huge, zero and negative sizes, absurd frame rates, frames of any length. The plug-in must answer
// a code every time, never read or write out of bounds, and release every host object.
#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstdlib>

#include "platform/iohost/host.h"
#include "platform/parvolux_common64/parvolux_test_controls.h"
#include "plugin/encoder/format_table.h"
#include "plugin/encoder/parvolux_encoder.h"
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

// A real host refuses absurd frame sizes before they reach the plug-in, and so does this harness:
// it keeps the fuzzed signs and shrinks the frame to at most a megapixel. The codec reserves its
// worst case per stream, and sizes beyond this exercise no other path.
constexpr uint32_t kMaxPixels = 1024u * 1024u;

uint32_t Magnitude(int32_t v) {
    return v < 0 ? 0u - static_cast<uint32_t>(v) : static_cast<uint32_t>(v);
}

int32_t WithSign(int32_t like, uint32_t magnitude) {
    const auto m = static_cast<int32_t>(magnitude);
    return like < 0 ? -m : m;
}

void CapFrameSize(iohost::PropertyStore& params) {
    const auto width = params.getInt32("width");
    const auto height = params.getInt32("height");
    if (!width || !height) return;
    uint32_t w = Magnitude(*width);
    const uint32_t h = Magnitude(*height);
    if (uint64_t{w} * h <= kMaxPixels) return;
    w = std::min(w, kMaxPixels);
    params.setInt32("width", WithSign(*width, w));
    params.setInt32("height", WithSign(*height, std::max(1u, kMaxPixels / w)));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::vector<FormatDesc> table = BuildFormatTable();
    iohost::Host& host = iohost::Host::instance();
    IOPlugin::s_HostAPI = host.api();
    reliability::FuzzReader in(data, size);

    const FormatDesc& row = table[in.u8() % table.size()];
    auto* encoder = new ParvoluxEncoder(row);
    {
        auto callback = host.createCallback();
        auto params = host.createBuffer();
        reliability::FillProperties(in, *params, reliability::PluginKeys(), 12);
        CapFrameSize(*params);
        if ((in.u8() & 3) != 0) (void)Send(encoder, codecSetCallback, callback.handle());
        const bool nullParams = in.u8() == 0xFF;
        (void)Send(encoder, codecOpen, nullParams ? nullptr : params.handle());

        const int frames = in.u8() % 4;
        for (int f = 0; f < frames; ++f) {
            auto frame = host.createBuffer();
            reliability::FillProperties(in, *frame, reliability::PluginKeys(), 6);
            // Either the frame's properties as fuzzed or the well-formed ones, so that the
            // compressing path is reached often.
            if ((in.u8() & 1) != 0) {
                frame->setInt32("width", static_cast<int32_t>(in.interesting()));
                frame->setInt32("height", static_cast<int32_t>(in.interesting()));
                frame->setInt64("pts", f);
            }
            const uint32_t length = in.u32() % (1u << 20);
            std::vector<uint8_t> raw(length, static_cast<uint8_t>(f * 37));
            const auto noise = in.bytes(std::min<size_t>(length, 256));
            std::copy(noise.begin(), noise.end(), raw.begin());
            (void)frame->assign(raw);
            const int32_t code = Send(encoder, codecProcess, frame.handle());
            if (code > errNoInput || code < errNoObject) std::abort();
        }
        (void)Send(encoder, codecProcess, static_cast<void*>(nullptr));
    }
    encoder->Release();
    host.faults().reset();
    host.log().clear();
    if (host.liveObjects() != 0 || host.badHandles() != 0 || parvolux_test_live_instances() != 0)
        std::abort();
    return 0;
}
