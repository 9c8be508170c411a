#include "plugin/encoder/registration.h"

#include <cstring>
#include <exception>
#include <memory>

#include "codec/parvolux_codec.h"
#include "plugin/encoder/format_table.h"
#include "plugin/encoder/parvolux_avi_container.h"
#include "plugin/encoder/parvolux_encoder.h"
#include "plugin/encoder/plugin_ids.h"

using IOPlugin::HostListRef;
using IOPlugin::HostLog;
using IOPlugin::HostPropertyCollectionRef;

namespace {

constexpr uint32_t kProbeSize = 128;
constexpr uint8_t kFieldOrder = 7;
constexpr uint8_t kThreadSafe = 1;

template <size_t N>
constexpr uint32_t TextLength(const char (&)[N]) {
    return N - 1;
}

// kContainerId as 32 lower-case hex digits and a NUL, which is published with the text.
struct ContainerIdText {
    char text[34] = {};

    ContainerIdText() {
        static constexpr char kDigits[] = "0123456789abcdef";
        for (size_t i = 0; i < kContainerId.size(); ++i) {
            text[2 * i] = kDigits[kContainerId[i] >> 4];
            text[2 * i + 1] = kDigits[kContainerId[i] & 0xF];
        }
    }
    static constexpr uint32_t kCountWithNul = 33;
};

bool Accepts(ParvoluxCodec& codec, const FormatDesc& row) {
    FrameFormat in{};
    in.width = kProbeSize;
    in.height = kProbeSize;
    in.formatCode = row.rawFormat;
    FrameFormat out{};
    out.formatCode = row.compressedFormat;
    try {
        codec.compressQuery(&in, &out, nullptr);
        return true;
    } catch (const std::exception&) {
        return false;  // the library does not offer this format: no codec, nothing to report
    }
}

// The answers of the single SetProperty calls are not checked: a host that drops a property
// still lists the codec.
void DescribeCodec(HostPropertyCollectionRef& codec, const FormatDesc& row) {
    const int32_t mediaType = iopMediaVideo;
    const int32_t direction = iopCodecEncoder;
    const ContainerIdText containers;
    (void)codec.SetProperty("uuid", propUInt8, row.uuid.data(),
                            static_cast<uint32_t>(row.uuid.size()));
    (void)codec.SetProperty("group", propString, kPluginName, TextLength(kPluginName));
    (void)codec.SetProperty("name", propString, row.name.data(),
                            static_cast<uint32_t>(row.name.size()));
    (void)codec.SetProperty("4cc", propInt32, &row.fourcc, 1);
    (void)codec.SetProperty("mediaType", propInt32, &mediaType, 1);
    (void)codec.SetProperty("codecDirection", propInt32, &direction, 1);
    (void)codec.SetProperty("colorModel", propInt32, &row.colorModel, 1);
    (void)codec.SetProperty("dataRange", propUInt8, row.dataRanges.data(),
                            static_cast<uint32_t>(row.dataRanges.size()));
    (void)codec.SetProperty("hSubsampling", propUInt8, &row.hSubsampling, 1);
    (void)codec.SetProperty("vSubsampling", propUInt8, &row.vSubsampling, 1);
    (void)codec.SetProperty("bitDepth", propInt32, &row.bitDepth, 1);
    (void)codec.SetProperty("sampleBits", propInt32, &row.sampleBits, 1);
    (void)codec.SetProperty("fieldOrder", propUInt8, &kFieldOrder, 1);
    (void)codec.SetProperty("codecContainers", propString, containers.text,
                            ContainerIdText::kCountWithNul);
    (void)codec.SetProperty("isThreadSafe", propUInt8, &kThreadSafe, 1);
}

int32_t PublishCodec(HostListRef& list, const FormatDesc& row) {
    HostPropertyCollectionRef codec;
    codec.Create();
    if (codec.IsEmpty()) return errAlloc;
    DescribeCodec(codec, row);
    return list.Append(codec) ? errNone : errFail;
}

}  // namespace

namespace Registration {

int32_t CreateObject(const uint8_t* classId, IOPlugin::IPluginObjRef** object) {
    if (classId == nullptr || object == nullptr) return errInvalidParam;
    // Every row can be created, whether or not the library offers it at the moment.
    if (const FormatDesc* row = FindFormatByUuid(classId)) {
        *object = new ParvoluxEncoder(*row);
        return errNone;
    }
    if (std::memcmp(classId, kContainerId.data(), kContainerId.size()) == 0) {
        *object = new ParvoluxAviContainer();
        return errNone;
    }
    return errUnsupported;
}

int32_t QueryCodec(const uint8_t* codecId, HostPropertyCollectionRef& props, HostListRef&) {
    if (codecId == nullptr || props.IsEmpty()) return errInvalidParam;
    return FindFormatByUuid(codecId) != nullptr ? errNone : errNoCodec;
}

int32_t ListCodecs(HostListRef& list) {
    std::unique_ptr<ParvoluxCodec> codec;
    try {
        codec = std::make_unique<ParvoluxCodec>();
    } catch (const std::exception& e) {
        HostLog(0, "Parvolux Plugin :: Failed to open the codec library: %s", e.what());
        return errFail;
    }
    for (const FormatDesc& row : s_Formats) {
        if (!Accepts(*codec, row)) continue;
        const int32_t result = PublishCodec(list, row);
        if (result != errNone) return result;
    }
    return errNone;
}

int32_t ListContainers(HostListRef& list) {
    HostPropertyCollectionRef container;
    container.Create();
    if (container.IsEmpty()) return errAlloc;
    const int32_t mediaType = iopMediaContainer;
    (void)container.SetProperty("uuid", propUInt8, kContainerId.data(),
                                static_cast<uint32_t>(kContainerId.size()));
    (void)container.SetProperty("name", propString, kContainerName, TextLength(kContainerName));
    (void)container.SetProperty("mediaType", propInt32, &mediaType, 1);
    (void)container.SetProperty("contExt", propString, kContainerExtension,
                                TextLength(kContainerExtension));
    return list.Append(container) ? errNone : errFail;
}

int32_t GetInfo(HostPropertyCollectionRef& props) {
    const int32_t result = props.SetProperty("uuid", propUInt8, kPluginId.data(),
                                             static_cast<uint32_t>(kPluginId.size()));
    if (result != errNone) return result;
    return props.SetProperty("name", propString, kPluginName, TextLength(kPluginName));
}

}  // namespace Registration
