// What the host learns by asking the module: itself, its container, its codecs, codec ids and new
// objects. Every published property is checked key by key in the order the host saw it set, with
// its type, count and bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "tests/registration/module_fixture.h"

namespace {

using iohost::HostOperation;
using iohost::PropertyStore;
using iohost::PropertyValue;
using iohost::Uuid;

using module_test::kContainerIdText;

const Uuid kContainerUuid = module_test::UuidFromHex(kContainerIdText);

struct Property {
    std::string key;
    PropertyValue value;
};

Property Bytes(const std::string& key, std::vector<uint8_t> bytes) {
    const auto count = static_cast<uint32_t>(bytes.size());
    return {key, {propUInt8, count, std::move(bytes)}};
}

Property Int32(const std::string& key, uint32_t v) {
    return {key,
            {propInt32,
             1,
             {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
              static_cast<uint8_t>(v >> 24)}}};
}

Property Text(const std::string& key, const std::string& text) {
    return {key, {propString, static_cast<uint32_t>(text.size()), {text.begin(), text.end()}}};
}

// The codecs as the host must see them, in table order.
struct CodecRow {
    const char* name;
    char fourcc[5];
    uint32_t colorModel;
    std::vector<uint8_t> dataRange;
    uint8_t hSubsampling;
    uint8_t vSubsampling;
    uint32_t bitDepth;
    uint32_t compressedFormat;  // what the library is told to refuse
};

const std::vector<CodecRow>& CodecRows() {
    static const std::vector<CodecRow> rows = {
        {"8-bit RGB", "P8RG", 1, {1}, 1, 1, 8, 101},
        {"8-bit RGBA", "P8RA", 3, {1}, 1, 1, 8, 102},
        {"8-bit YUV 444", "P8Y4", 7, {0, 1}, 1, 1, 8, 103},
        {"8-bit YUV 422", "P8Y2", 8, {0, 1}, 2, 1, 8, 104},
        {"8-bit YUV 420", "P8Y0", 7, {0, 1}, 2, 2, 8, 105},
        {"8-bit Y Only", "P8G0", 7, {0, 1}, 2, 2, 8, 107},
        {"10-bit RGB", "P0RG", 1, {1}, 1, 1, 16, 109},
        {"10-bit RGBA", "P0RA", 3, {1}, 1, 1, 16, 110},
        {"10-bit YUV 444", "P0Y4", 7, {0, 1}, 1, 1, 16, 118},
        {"10-bit YUV 422", "P0Y2", 7, {0, 1}, 2, 1, 16, 108},
        {"10-bit YUV 420", "P0Y0", 7, {0, 1}, 2, 1, 16, 123},
        {"10-bit Y Only", "P0G0", 7, {0, 1}, 2, 1, 16, 115},
        {"12-bit RGB", "P2RG", 1, {1}, 1, 1, 16, 111},
        {"12-bit RGBA", "P2RA", 3, {1}, 1, 1, 16, 112},
        {"14-bit RGB", "P4RG", 1, {1}, 1, 1, 16, 113},
        {"14-bit RGBA", "P4RA", 3, {1}, 1, 1, 16, 114},
    };
    return rows;
}

// Everything but "uuid", whose value is the product's own constant (checked for distinctness).
std::vector<Property> ExpectedCodec(const CodecRow& row, const Uuid& publishedId) {
    std::string containers = kContainerIdText;
    containers.push_back('\0');  // published with its NUL counted
    return {
        Bytes("uuid", {publishedId.begin(), publishedId.end()}),
        Text("group", "Parvolux"),
        Text("name", row.name),
        Int32("4cc", module_test::HostFourcc(row.fourcc)),
        Int32("mediaType", 2),
        Int32("codecDirection", 2),
        Int32("colorModel", row.colorModel),
        Bytes("dataRange", row.dataRange),
        Bytes("hSubsampling", {row.hSubsampling}),
        Bytes("vSubsampling", {row.vSubsampling}),
        Int32("bitDepth", row.bitDepth),
        Int32("sampleBits", row.bitDepth),
        Bytes("fieldOrder", {7}),
        Text("codecContainers", containers),
        Bytes("isThreadSafe", {1}),
    };
}

class RegistrationTest : public module_test::ModuleTest {
protected:
    void SetUp() override {
        ModuleTest::SetUp();
        host().calls().setEnabled(true);
    }

    // The keys set on `store`, in order, must be exactly those expected, each with its value.
    static void ExpectPublished(const PropertyStore& store, const std::vector<Property>& expected,
                                const std::string& what) {
        std::vector<std::string> expectedKeys;
        for (const auto& p : expected) expectedKeys.push_back(p.key);
        void* handle = const_cast<PropertyStore&>(store).handle();
        EXPECT_EQ(host().calls().keys(hostSetProperty, handle), expectedKeys) << what;
        EXPECT_EQ(store.keys().size(), expected.size()) << what;
        for (const auto& p : expected) {
            const auto value = store.value(p.key);
            ASSERT_TRUE(value.has_value()) << what << ": " << p.key;
            EXPECT_EQ(value->type, p.value.type) << what << ": " << p.key;
            EXPECT_EQ(value->count, p.value.count) << what << ": " << p.key;
            EXPECT_EQ(value->bytes, p.value.bytes) << what << ": " << p.key;
        }
    }

    static Uuid IdOf(const PropertyStore& store) {
        Uuid id{};
        const auto bytes = store.getBytes("uuid");
        if (bytes && bytes->size() == id.size())
            std::copy(bytes->begin(), bytes->end(), id.begin());
        return id;
    }

    static size_t CallCount(uint32_t selector) {
        const auto calls = host().calls().calls();
        return static_cast<size_t>(std::count_if(
            calls.begin(), calls.end(), [&](const auto& c) { return c.selector == selector; }));
    }

    static void RefuseCompressedFormats(size_t firstRow, size_t lastRow) {
        for (size_t i = firstRow; i <= lastRow; ++i) {
            parvolux_test_refuse_format(CodecRows()[i].compressedFormat);
        }
    }

    std::vector<Uuid> publishedCodecIds() const {
        std::vector<iohost::CodecInfo> codecs;
        EXPECT_EQ(driver().listCodecs(codecs), errNone);
        std::vector<Uuid> ids;
        for (const auto& codec : codecs) ids.push_back(codec.uuid);
        return ids;
    }
};

// --- plugGetInfo ---------------------------------------------------------------------------

TEST_F(RegistrationTest, InfoPublishesIdThenName) {
    auto info = host().createCollection();
    ASSERT_EQ(module().dispatch(plugGetInfo, info.handle()), errNone);
    // The id is the product's constant: 16 bytes, and neither the container's nor a codec's.
    const Uuid id = IdOf(*info);
    ExpectPublished(*info, {Bytes("uuid", {id.begin(), id.end()}), Text("name", "Parvolux")},
                    "plug-in");
    EXPECT_NE(id, kContainerUuid);
    for (const Uuid& codecId : publishedCodecIds()) EXPECT_NE(id, codecId);
}

TEST_F(RegistrationTest, InfoStopsAtTheFirstRefusedPropertyAndAnswersTheHostsCode) {
    struct Case {
        const char* refusedKey;
        std::vector<std::string> keysTried;
        std::vector<std::string> keysStored;
    };
    for (const Case& c : {Case{"uuid", {"uuid"}, {}}, Case{"name", {"uuid", "name"}, {"uuid"}}}) {
        host().reset();
        host().calls().setEnabled(true);
        host().faults().refuseSetProperty(c.refusedKey);
        auto info = host().createCollection();
        EXPECT_EQ(module().dispatch(plugGetInfo, info.handle()), errFail) << c.refusedKey;
        EXPECT_EQ(host().calls().keys(hostSetProperty, info.handle()), c.keysTried) << c.refusedKey;
        EXPECT_EQ(info->keys(), c.keysStored) << c.refusedKey;
    }
}

TEST_F(RegistrationTest, InfoWithoutACollectionIsInvalid) {
    EXPECT_EQ(module().dispatch(plugGetInfo, static_cast<void*>(nullptr)), errInvalidParam);
    EXPECT_EQ(CallCount(hostSetProperty), 0u);
}

// --- plugListContainers --------------------------------------------------------------------

TEST_F(RegistrationTest, ContainerListHoldsTheAviContainer) {
    auto list = host().createList();
    ASSERT_EQ(module().dispatch(plugListContainers, list.handle()), errNone);
    const auto published = list->collections();
    ASSERT_EQ(published.size(), 1u);
    ExpectPublished(*published[0],
                    {Bytes("uuid", {kContainerUuid.begin(), kContainerUuid.end()}),
                     Text("name", "Parvolux AVI"), Int32("mediaType", 3), Text("contExt", "avi")},
                    "container");
}

TEST_F(RegistrationTest, ContainerListFailures) {
    // Host refusing to create the collection: errAlloc with the bridge's message.
    host().faults().refuseCreations(1);
    auto list = host().createList();
    EXPECT_EQ(module().dispatch(plugListContainers, list.handle()), errAlloc);
    EXPECT_EQ(list->size(), 0u);
    EXPECT_EQ(logTexts(), std::vector<std::string>{"Plugin Failed to create a property bag"});

    // Host refusing the append, and no list at all: errFail, and the collection is dropped.
    host().faults().refuseListAppends(1);
    EXPECT_EQ(module().dispatch(plugListContainers, list.handle()), errFail);
    EXPECT_EQ(list->size(), 0u);
    EXPECT_EQ(module().dispatch(plugListContainers, static_cast<void*>(nullptr)), errFail);
    EXPECT_EQ(host().liveObjects(), 1u) << "only the test's list may be alive";
}

// --- plugListCodecs ------------------------------------------------------------------------

TEST_F(RegistrationTest, AllSixteenCodecsArePublishedInTableOrder) {
    auto list = host().createList();
    ASSERT_EQ(module().dispatch(plugListCodecs, list.handle()), errNone);
    const auto published = list->collections();
    ASSERT_EQ(published.size(), CodecRows().size());
    std::set<Uuid> ids;
    for (size_t i = 0; i < published.size(); ++i) {
        const Uuid id = IdOf(*published[i]);
        ExpectPublished(*published[i], ExpectedCodec(CodecRows()[i], id), CodecRows()[i].name);
        EXPECT_EQ(published[i]->value("uuid")->count, 16u);
        ids.insert(id);
    }
    EXPECT_EQ(ids.size(), 16u) << "codec ids must be distinct";
    EXPECT_EQ(ids.count(kContainerUuid), 0u);
    // One library instance for the whole listing, one probe per row.
    EXPECT_EQ(parvolux_test_call_count(parvoluxFnOpen), 1u);
    EXPECT_EQ(parvolux_test_call_count(parvoluxFnCompressQuery), 16u);
    EXPECT_EQ(parvolux_test_call_count(parvoluxFnClose), 1u);
}

TEST_F(RegistrationTest, CodecsTheLibraryRefusesAreLeftOutSilently) {
    RefuseCompressedFormats(12, 15);  // the 12- and 14-bit formats
    std::vector<iohost::CodecInfo> codecs;
    ASSERT_EQ(driver().listCodecs(codecs), errNone);
    ASSERT_EQ(codecs.size(), 12u);
    for (size_t i = 0; i < codecs.size(); ++i) EXPECT_EQ(codecs[i].name, CodecRows()[i].name);
    EXPECT_EQ(host().log().size(), 0u);
    EXPECT_EQ(parvolux_test_call_count(parvoluxFnCompressQuery), 16u);
}

TEST_F(RegistrationTest, CodecListFailuresStopTheListing) {
    struct Case {
        const char* what;
        int32_t answer;
        size_t appended;
        uint32_t probes;  // rows probed before the listing stopped
        size_t collectionsCreated;
        std::vector<std::string> log;
    };
    const std::vector<Case> cases = {
        {"null list", errFail, 0, 1, 1, {}},
        {"null list, first row refused", errFail, 0, 2, 1, {}},
        {"creation refused", errAlloc, 0, 1, 1, {"Plugin Failed to create a property bag"}},
        {"third append refused", errFail, 2, 3, 3, {}},
    };
    for (const Case& c : cases) {
        host().reset();
        host().calls().setEnabled(true);
        parvolux_test_reset();
        auto list = host().createList();
        void* listHandle = list.handle();
        const std::string what = c.what;
        if (what == "null list") listHandle = nullptr;
        if (what == "null list, first row refused") {
            listHandle = nullptr;
            RefuseCompressedFormats(0, 0);
        }
        if (what == "creation refused") host().faults().refuseCreations(1);
        if (what == "third append refused") host().faults().failNth(HostOperation::Append, 3);

        EXPECT_EQ(module().dispatch(plugListCodecs, listHandle), c.answer) << what;
        EXPECT_EQ(list->size(), c.appended) << what;
        EXPECT_EQ(parvolux_test_call_count(parvoluxFnCompressQuery), c.probes) << what;
        EXPECT_EQ(CallCount(hostCreateObject), c.collectionsCreated) << what;
        EXPECT_EQ(logTexts(), c.log) << what;
        EXPECT_EQ(parvolux_test_live_instances(), 0) << what;
    }
}

TEST_F(RegistrationTest, ALibraryThatCannotBeOpenedPublishesNothing) {
    for (int fn : {parvoluxFnLibraryInit, parvoluxFnOpen}) {
        host().reset();
        host().calls().setEnabled(true);
        parvolux_test_reset();
        parvolux_test_fail(fn, -7, 1);
        auto list = host().createList();
        EXPECT_EQ(module().dispatch(plugListCodecs, list.handle()), errFail) << fn;
        EXPECT_EQ(list->size(), 0u) << fn;
        EXPECT_EQ(CallCount(hostCreateObject), 0u) << fn;
        EXPECT_EQ(parvolux_test_call_count(parvoluxFnCompressQuery), 0u) << fn;
        ASSERT_EQ(host().log().size(), 1u) << fn;
        EXPECT_EQ(logTexts()[0].rfind("Parvolux Plugin :: ", 0), 0u) << logTexts()[0];
    }
}

// --- plugQueryCodec and plugCreateObject -----------------------------------------------------

TEST_F(RegistrationTest, QueryCodecKnowsEveryRowWhateverTheLibrarySays) {
    const std::vector<Uuid> ids = publishedCodecIds();
    ASSERT_EQ(ids.size(), 16u);
    iohost::PluginInfo info;
    ASSERT_EQ(driver().getInfo(info), errNone);
    host().calls().clear();

    RefuseCompressedFormats(0, 15);
    for (const Uuid& id : ids) EXPECT_EQ(driver().queryCodec(id), errNone);
    EXPECT_EQ(driver().queryCodec(kContainerUuid), errNoCodec);
    EXPECT_EQ(driver().queryCodec(info.uuid), errNoCodec);
    EXPECT_EQ(driver().queryCodec(Uuid{}), errNoCodec);

    auto list = host().createList();
    EXPECT_EQ(module().dispatch(plugQueryCodec, static_cast<const void*>(ids[0].data()),
                                static_cast<void*>(nullptr), list.handle()),
              errInvalidParam);
    EXPECT_EQ(CallCount(hostSetProperty), 0u) << "a query writes nothing";
    EXPECT_EQ(CallCount(hostListAdd), 0u);
    EXPECT_EQ(list->size(), 0u);
}

TEST_F(RegistrationTest, CreateObjectMakesEncodersAndTheContainer) {
    const std::vector<Uuid> ids = publishedCodecIds();
    ASSERT_EQ(ids.size(), 16u);
    RefuseCompressedFormats(0, 15);  // refused rows can still be created
    for (const Uuid& id : ids) {
        iohost::PluginObject object;
        ASSERT_EQ(driver().createObject(id, object), errNone);
        uint8_t flag = 9;
        // Only a codec answers codec selectors.
        EXPECT_EQ(object.send(codecQueryState, &flag), errNone);
        EXPECT_EQ(flag, 0);
        EXPECT_EQ(object.send(contClose), errUnsupported);
        uint32_t count = 0;
        EXPECT_EQ(object.addRef(count), errNone);
        EXPECT_EQ(count, 2u) << "a new object carries exactly one reference";
        EXPECT_EQ(object.releaseExtra(count), errNone);
    }

    iohost::PluginObject container;
    ASSERT_EQ(driver().createObject(kContainerUuid, container), errNone);
    EXPECT_EQ(container.send(contClose), errNone);
    uint8_t flag = 9;
    EXPECT_EQ(container.send(codecQueryState, &flag), errUnsupported);
    EXPECT_EQ(flag, 9);
}

TEST_F(RegistrationTest, CreateObjectRefusesUnknownIdsWithoutWritingTheSlot) {
    iohost::PluginInfo info;
    ASSERT_EQ(driver().getInfo(info), errNone);
    Uuid almostContainer = kContainerUuid;
    almostContainer[15] ^= 1;
    for (const Uuid& id : {Uuid{}, info.uuid, almostContainer}) {
        int sentinel = 0;
        void* object = &sentinel;
        EXPECT_EQ(module().dispatch(plugCreateObject, static_cast<const void*>(id.data()), &object),
                  errUnsupported);
        EXPECT_EQ(object, &sentinel);
    }
}

}  // namespace
