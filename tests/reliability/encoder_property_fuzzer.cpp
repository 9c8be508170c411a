// Encoder Open and DoProcess fed fuzzed stream settings and frames: any keys, types and counts,
// huge, zero and negative sizes, absurd frame rates, frames of any length. The plug-in must answer
// a code every time, never read or write out of bounds, and release every host object.
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

// The reference host would allocate whatever output size the codec names; a real host refuses
// absurd ones, and so does this harness, to stay within the fuzzer's memory limit.
constexpr uint64_t kMaxPixels = 4096u * 4096u;

uint64_t Pixels(const iohost::PropertyStore& params) {
    const auto width = params.getInt32("width");
    const auto height = params.getInt32("height");
    if (!width || !height) return 0;
    return uint64_t{static_cast<uint32_t>(*width)} * static_cast<uint32_t>(*height);
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
        host.faults().failBufferSetSize(Pixels(*params) > kMaxPixels);
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
