// Encoder Open and DoProcess fed fuzzed stream settings and frames: any keys, types and counts,
// huge, zero and negative sizes, absurd frame rates, frames of any length. The plug-in must answer
// a code every time, never read or write out of bounds, and release every host object.
#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "platform/iohost/host/host.h"
#include "platform/parvolux_common64/parvolux_test_controls.h"
#include "plugin/encoder/format_table.h"
#include "plugin/encoder/parvolux_encoder.h"
#include "plugin/encoder/wrapper/host_api.h"
#include "tests/reliability/fuzz_properties.h"
#include "tests/support/dispatch_call.h"

namespace {

using bridge_test::Send;

// A real host refuses absurd frame sizes before they reach the plug-in, and so does this harness:
// it keeps the fuzzed signs and shrinks the frame to at most a megapixel. The codec reserves its
// worst case per stream, and sizes beyond this exercise no other path.
void CapFrameSize(iohost::PropertyStore& params) {
    constexpr uint32_t kMaxPixels = 1024u * 1024u;
    const auto width = params.getInt32("width");
    const auto height = params.getInt32("height");
    if (!width || !height) return;
    const auto magnitude = [](int32_t v) {
        return v < 0 ? 0u - static_cast<uint32_t>(v) : static_cast<uint32_t>(v);
    };
    const auto withSign = [](int32_t like, uint32_t m) {
        return like < 0 ? -static_cast<int32_t>(m) : static_cast<int32_t>(m);
    };
    if (uint64_t{magnitude(*width)} * magnitude(*height) <= kMaxPixels) return;
    const uint32_t w = std::min(magnitude(*width), kMaxPixels);
    params.setInt32("width", withSign(*width, w));
    params.setInt32("height", withSign(*height, std::max(1u, kMaxPixels / w)));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::vector<FormatDesc> table = BuildFormatTable();
    iohost::Host& host = iohost::Host::instance();
    IOPlugin::s_HostAPI = host.api();
    reliability::FuzzReader in(data, size);

    auto* encoder = new ParvoluxEncoder(table[in.u8() % table.size()]);
    {
        auto callback = host.createCallback();
        auto params = host.createBuffer();
        reliability::FillProperties(in, *params, 12);
        CapFrameSize(*params);
        if ((in.u8() & 3) != 0) (void)Send(encoder, codecSetCallback, callback.handle());
        const bool nullParams = in.u8() == 0xFF;
        (void)Send(encoder, codecOpen, nullParams ? nullptr : params.handle());

        const int frames = in.u8() % 4;
        for (int f = 0; f < frames; ++f) {
            auto frame = host.createBuffer();
            reliability::FillProperties(in, *frame, 6);
            // Often the well-formed properties, so that the compressing path is reached.
            if ((in.u8() & 1) != 0) {
                frame->setInt32("width", static_cast<int32_t>(in.interesting()));
                frame->setInt32("height", static_cast<int32_t>(in.interesting()));
                frame->setInt64("pts", f);
            }
            std::vector<uint8_t> raw(in.u32() % (1u << 20), static_cast<uint8_t>(f * 37));
            for (size_t k = 0; k < std::min<size_t>(raw.size(), 256) && !in.done(); ++k)
                raw[k] = in.u8();
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
