// What the host learns by asking the module: itself, its container, its codecs, codec ids and new
// objects. Every published property is checked in the order the host saw it set, with its type,
// count and bytes.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "tests/support/module_fixture.h"

namespace {

using iohost::PropertyValue;
using iohost::Uuid;
using Published = std::vector<std::pair<std::string, PropertyValue>>;
using Texts = std::vector<std::string>;
using iohost::HostOperation;

const std::string kNoBag = "Plugin Failed to create a property bag";

const Uuid kContainerUuid = module_test::UuidFromHex(module_test::kContainerIdText);

std::pair<std::string, PropertyValue> Bytes(const char* key, std::vector<uint8_t> bytes) {
    const auto count = static_cast<uint32_t>(bytes.size());
    return {key, {propUInt8, count, std::move(bytes)}};
}

std::pair<std::string, PropertyValue> Int32(const char* key, uint32_t v) {
    return {key, {propInt32, 1, {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}}};
}

std::pair<std::string, PropertyValue> Text(const char* key, const std::string& text) {
    return {key, {propString, static_cast<uint32_t>(text.size()), {text.begin(), text.end()}}};
}

// The codecs' names in table order.
const char* const kNames[] = {"8-bit RGB",      "8-bit RGBA",     "8-bit YUV 444",  "8-bit YUV 422",
                              "8-bit YUV 420",  "8-bit Y Only",   "10-bit RGB",     "10-bit RGBA",
                              "10-bit YUV 444", "10-bit YUV 422", "10-bit YUV 420", "10-bit Y Only",
                              "12-bit RGB",     "12-bit RGBA",    "14-bit RGB",     "14-bit RGBA"};

class RegistrationTest : public module_test::ModuleTest {
protected:
    void SetUp() override {
        ModuleTest::SetUp();
        Restart();
    }

    // A clean host recording calls, and a library with no controls.
    static void Restart() {
        host().reset();
        host().calls().setEnabled(true);
        parvolux_test_reset();
    }

    // The keys set on `store` in the order the host saw them, each with its stored value.
    static Published PublishedOn(const iohost::PropertyStore& store) {
        Published out;
        void* handle = const_cast<iohost::PropertyStore&>(store).handle();
        for (const auto& key : host().calls().keys(hostSetProperty, handle))
            out.emplace_back(key, store.value(key).value_or(PropertyValue{}));
        return out;
    }

    std::vector<iohost::CodecInfo> codecs() const {
        std::vector<iohost::CodecInfo> codecs;
        EXPECT_EQ(driver().listCodecs(codecs), errNone);
        return codecs;
    }
};

TEST_F(RegistrationTest, InfoPublishesIdThenNameAndStopsAtARefusal) {
    auto info = host().createCollection();
    ASSERT_EQ(module().dispatch(plugGetInfo, info.handle()), errNone);
    // The id is the product's constant: 16 bytes, and neither the container's nor a codec's.
    const Uuid id = iohost::PluginInfo::from(*info).uuid;
    EXPECT_EQ(PublishedOn(*info),
              (Published{Bytes("uuid", {id.begin(), id.end()}), Text("name", "Parvolux")}));
    EXPECT_NE(id, kContainerUuid);
    for (const auto& codec : codecs()) EXPECT_NE(id, codec.uuid);

    for (const std::string refused : {"uuid", "name"}) {
        Restart();
        host().faults().refuseSetProperty(refused);
        auto partial = host().createCollection();
        EXPECT_EQ(module().dispatch(plugGetInfo, partial.handle()), errFail) << refused;
        const Texts tried = refused == "uuid" ? Texts{"uuid"} : Texts{"uuid", "name"};
        EXPECT_EQ(host().calls().keys(hostSetProperty, partial.handle()), tried);
        EXPECT_EQ(partial->keys(), refused == "uuid" ? Texts{} : Texts{"uuid"});
    }
    EXPECT_EQ(module().dispatch(plugGetInfo, static_cast<void*>(nullptr)), errInvalidParam);
}

TEST_F(RegistrationTest, ContainerListHoldsTheAviContainer) {
    auto list = host().createList();
    ASSERT_EQ(module().dispatch(plugListContainers, list.handle()), errNone);
    ASSERT_EQ(list->collections().size(), 1u);
    EXPECT_EQ(
        PublishedOn(*list->collections()[0]),
        (Published{Bytes("uuid", {kContainerUuid.begin(), kContainerUuid.end()}),
                   Text("name", "Parvolux AVI"), Int32("mediaType", 3), Text("contExt", "avi")}));

    // A collection the host will not create: errAlloc with the bridge's message. One it will not
    // append, or no list at all: errFail, and the collection is dropped.
    host().faults().refuseCreations(1);
    EXPECT_EQ(module().dispatch(plugListContainers, list.handle()), errAlloc);
    EXPECT_EQ(logTexts(), Texts{kNoBag});
    host().faults().refuseListAppends(1);
    EXPECT_EQ(module().dispatch(plugListContainers, list.handle()), errFail);
    EXPECT_EQ(module().dispatch(plugListContainers, static_cast<void*>(nullptr)), errFail);
    EXPECT_EQ(list->size(), 1u);
    EXPECT_EQ(host().liveObjects(), 2u) << "only the test's list and its item may be alive";
}

TEST_F(RegistrationTest, AllSixteenCodecsArePublishedInTableOrder) {
    auto list = host().createList();
    ASSERT_EQ(module().dispatch(plugListCodecs, list.handle()), errNone);
    const auto published = list->collections();
    ASSERT_EQ(published.size(), std::size(kNames));
    std::string containers = module_test::kContainerIdText;
    containers.push_back('\0');  // published with its NUL counted
    std::set<Uuid> ids;
    for (size_t i = 0; i < published.size(); ++i) {
        EXPECT_EQ(iohost::CodecInfo::from(*published[i]).name, kNames[i]);
        ids.insert(iohost::CodecInfo::from(*published[i]).uuid);
    }
    // The first row in full, its published id pinned; of two others what sets them apart (the
    // rest is the format table's).
    EXPECT_EQ(
        PublishedOn(*published[0]),
        (Published{Bytes("uuid", {0x1e, 0x1e, 0xfe, 0x1f, 0x75, 0xb9, 0x2b, 0x4a, 0x77, 0x66, 0xe8,
                                  0x23, 0xcf, 0xf5, 0x25, 0x2d}),
                   Text("group", "Parvolux"), Text("name", "8-bit RGB"), Int32("4cc", 0x50385247),
                   Int32("mediaType", 2), Int32("codecDirection", 2), Int32("colorModel", 1),
                   Bytes("dataRange", {1}), Bytes("hSubsampling", {1}), Bytes("vSubsampling", {1}),
                   Int32("bitDepth", 8), Int32("sampleBits", 8), Bytes("fieldOrder", {7}),
                   Text("codecContainers", containers), Bytes("isThreadSafe", {1})}));
    for (const auto& [row, colorModel, h, v, depth] :
         {std::tuple{3, 8, 2, 1, 8}, {11, 7, 2, 1, 16}}) {
        const auto codec = iohost::CodecInfo::from(*published[row]);
        EXPECT_EQ(std::tie(codec.colorModel, codec.dataRange, codec.hSubsampling,
                           codec.vSubsampling, codec.bitDepth, codec.sampleBits),
                  std::make_tuple(colorModel, std::vector<uint8_t>{0, 1}, h, v, depth, depth))
            << kNames[row];
    }
    EXPECT_EQ(ids.size(), 16u) << "codec ids must be distinct";
    EXPECT_EQ(ids.count(kContainerUuid), 0u);
    // One library instance for the whole listing, one probe per row, all closed at its end.
    for (const auto& [fn, calls] : {std::pair{parvoluxFnLibraryInit, 1u},
                                    {parvoluxFnOpen, 1u},
                                    {parvoluxFnCompressQuery, 16u},
                                    {parvoluxFnClose, 1u},
                                    {parvoluxFnLibraryClose, 1u}})
        EXPECT_EQ(parvolux_test_call_count(fn), calls) << fn;
}

TEST_F(RegistrationTest, CodecListFailuresStopTheListing) {
    const std::string noLibrary =
        "Parvolux Plugin :: Failed to open the codec library: Parvolux "
        "error (-6): out of memory: ParvoluxCodec(): parvolux_";
    struct Case {
        const char* what;
        int32_t answer;
        size_t appended;
        uint32_t probes;  // rows probed before the listing stopped
        size_t created;
        Texts log;
        void (*fault)();  // sets the failure up; may be null
        bool nullList = false;
    };
    const auto refuseFirst = [] { parvolux_test_refuse_format(101); };
    const auto refuseCreation = [] { host().faults().refuseCreations(1); };
    const auto refuseThird = [] { host().faults().failNth(HostOperation::Append, 3, errAlloc); };
    const auto initFails = [] { parvolux_test_fail(parvoluxFnLibraryInit, -6, 1); };
    const auto openFails = [] { parvolux_test_fail(parvoluxFnOpen, -6, 1); };
    const Case cases[] = {
        {"null list", errFail, 0, 1, 1, {}, nullptr, true},
        {"null list, first row refused", errFail, 0, 2, 1, {}, refuseFirst, true},
        {"creation refused", errAlloc, 0, 1, 1, {kNoBag}, refuseCreation},
        {"third append refused", errFail, 2, 3, 3, {}, refuseThird},
        {"library start-up fails", errFail, 0, 0, 0, {noLibrary + "library_init()"}, initFails},
        {"library open fails", errFail, 0, 0, 0, {noLibrary + "open()"}, openFails},
    };
    for (const Case& c : cases) {
        Restart();
        const std::string what = c.what;
        auto list = host().createList();
        if (c.fault != nullptr) c.fault();
        void* handle = c.nullList ? nullptr : list.handle();
        EXPECT_EQ(module().dispatch(plugListCodecs, handle), c.answer) << what;
        EXPECT_EQ(list->size(), c.appended) << what;
        EXPECT_EQ(parvolux_test_call_count(parvoluxFnCompressQuery), c.probes) << what;
        EXPECT_EQ(host().calls().keys(hostCreateObject).size(), c.created) << what;
        EXPECT_EQ(logTexts(), c.log) << what;
        EXPECT_EQ(parvolux_test_live_instances(), 0) << what;
    }
}

TEST_F(RegistrationTest, QueryAndCreateKnowEveryRowWhateverTheLibrarySays) {
    std::vector<Uuid> ids;
    for (const auto& codec : codecs()) ids.push_back(codec.uuid);
    ASSERT_EQ(ids.size(), 16u);
    iohost::PluginInfo info;
    ASSERT_EQ(driver().getInfo(info), errNone);
    Restart();
    for (uint32_t format = 101; format <= 123; ++format) parvolux_test_refuse_format(format);

    for (const Uuid& id : ids) {
        EXPECT_EQ(driver().queryCodec(id), errNone);
        iohost::PluginObject object;
        ASSERT_EQ(driver().createObject(id, object), errNone);
        uint8_t flag = 9;
        EXPECT_EQ(object.send(codecQueryState, &flag), errNone) << "an encoder answers it";
        EXPECT_EQ(flag, 0);
        uint32_t count = 0;
        EXPECT_EQ(object.addRef(count), errNone);
        EXPECT_EQ(count, 2u) << "a new object carries exactly one reference";
        EXPECT_EQ(object.releaseExtra(count), errNone);
    }
    iohost::PluginObject container;
    ASSERT_EQ(driver().createObject(kContainerUuid, container), errNone);
    EXPECT_EQ(container.send(contClose), errNone);

    // Ids that are no codec's: the container's, the plug-in's, none, one bit off the container's
    // or a codec's.
    Uuid almostContainer = kContainerUuid, almostCodec = ids[0];
    almostContainer[15] ^= 1;
    almostCodec[15] ^= 1;
    for (const Uuid& id : {kContainerUuid, info.uuid, Uuid{}, almostContainer, almostCodec}) {
        EXPECT_EQ(driver().queryCodec(id), errNoCodec);
        if (id == kContainerUuid) continue;
        int sentinel = 0;
        void* object = &sentinel;
        EXPECT_EQ(module().dispatch(plugCreateObject, static_cast<const void*>(id.data()), &object),
                  errUnsupported);
        EXPECT_EQ(object, &sentinel) << "the slot was written";
    }
    auto list = host().createList();
    EXPECT_EQ(module().dispatch(plugQueryCodec, static_cast<const void*>(ids[0].data()),
                                static_cast<void*>(nullptr), list.handle()),
              errInvalidParam);
    EXPECT_EQ(host().calls().keys(hostSetProperty).size(), 0u) << "queries and creations write";
    EXPECT_EQ(list->size(), 0u);
}

}  // namespace
