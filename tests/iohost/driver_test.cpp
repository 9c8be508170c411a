// The driver API against the fake module: registration records, encoder and container objects,
// and the host's fault switches as a plug-in meets them.
#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/iohost/driver.h"
#include "tests/iohost/host_test_fixture.h"

namespace iohost_test {
namespace {

using iohost::CodecInfo;
using iohost::Container;
using iohost::Driver;
using iohost::Encoder;
using iohost::HostBuffer;
using iohost::HostOperation;
using iohost::Track;
using iohost::Uuid;

Uuid ToUuid(const fake::Id& id) {
    return Uuid(id);
}

struct Packet {
    std::vector<uint8_t> bytes;
    std::optional<int64_t> pts, dts;
    std::optional<uint8_t> key;
    bool locked = false;
};

class DriverTest : public FakeModuleTest {
protected:
    void SetUp() override {
        FakeModuleTest::SetUp();
        m_driver.emplace(module());
    }
    void TearDown() override {
        m_driver.reset();
        FakeModuleTest::TearDown();
    }
    const Driver& driver() { return *m_driver; }

    // An opened encoder whose packets are collected into m_packets.
    Encoder openEncoder(uint32_t width = 4, uint32_t height = 2) {
        Encoder encoder;
        EXPECT_EQ(driver().createEncoder(ToUuid(fake::kRgbCodecId), encoder), errNone);
        EXPECT_EQ(encoder.setCallback([this](HostBuffer& b) {
            m_packets.push_back({b.contents(), b.getInt64("pts"), b.getInt64("dts"),
                                 b.getUInt8("isKeyFrame"), b.isLocked()});
            return int32_t{errNone};
        }),
                  errNone);
        iohost::StreamSettings settings;
        settings.width = width;
        settings.height = height;
        EXPECT_EQ(encoder.open(settings), errNone);
        return encoder;
    }

    std::optional<Driver> m_driver;
    std::vector<Packet> m_packets;
};

TEST_F(DriverTest, ReadsThePluginAndContainerDescriptions) {
    iohost::PluginInfo info;
    ASSERT_EQ(driver().getInfo(info), errNone);
    EXPECT_EQ(info.uuid, ToUuid(fake::kPluginId));
    EXPECT_EQ(info.name, "FakePlug");
    EXPECT_TRUE(info.missing.empty());

    std::vector<iohost::ContainerInfo> containers;
    ASSERT_EQ(driver().listContainers(containers), errNone);
    ASSERT_EQ(containers.size(), 1u);
    EXPECT_EQ(containers[0].uuid, ToUuid(fake::kContainerId));
    EXPECT_EQ(containers[0].name, "Fake AVI");
    EXPECT_EQ(containers[0].mediaType, iopMediaContainer);
    EXPECT_EQ(containers[0].extension, "avi");
}

TEST_F(DriverTest, ReadsEveryCodecFieldInPublishedOrder) {
    host().calls().setEnabled(true);
    std::vector<CodecInfo> codecs;
    ASSERT_EQ(driver().listCodecs(codecs), errNone);
    ASSERT_EQ(codecs.size(), 2u);
    const CodecInfo& rgb = codecs[0];
    EXPECT_TRUE(rgb.missing.empty());
    EXPECT_EQ(rgb.uuid, ToUuid(fake::kRgbCodecId));
    EXPECT_EQ(rgb.name, "Fake RGB");
    EXPECT_EQ(rgb.group, "FakeGroup");
    EXPECT_EQ(rgb.fourcc, fake::kRgbFourCC);
    EXPECT_EQ(iohost::FourCCToText(rgb.fourcc), "FKRG");
    EXPECT_EQ(rgb.mediaType, iopMediaVideo);
    EXPECT_EQ(rgb.codecDirection, iopCodecEncoder);
    EXPECT_EQ(rgb.colorModel, 1);
    EXPECT_EQ(rgb.dataRange, (std::vector<uint8_t>{1}));
    EXPECT_EQ(rgb.subsamplingText(), "4:4:4");
    EXPECT_EQ(rgb.bitDepth, 8);
    EXPECT_EQ(rgb.sampleBits, 8);
    EXPECT_EQ(rgb.fieldOrder, 7);
    EXPECT_EQ(rgb.codecContainers, std::string("fa4e00000000000000000000000000c0\0", 33));
    EXPECT_TRUE(rgb.isThreadSafe);
    EXPECT_EQ(codecs[1].dataRange, (std::vector<uint8_t>{0, 1}));
    EXPECT_EQ(codecs[1].subsamplingText(), "4:2:2");
    EXPECT_EQ(codecs[1].bitDepth, 16);

    // The record of calls shows the order the plug-in set the properties of one codec.
    auto keys = host().calls().keys(hostSetProperty);
    ASSERT_EQ(keys.size(), 30u);
    keys.resize(15);
    EXPECT_EQ(keys, (std::vector<std::string>{
                        "uuid", "group", "name", "4cc", "mediaType", "codecDirection", "colorModel",
                        "dataRange", "hSubsampling", "vSubsampling", "bitDepth", "sampleBits",
                        "fieldOrder", "codecContainers", "isThreadSafe"}));
}

TEST_F(DriverTest, RecordsNameWhatIsMissing) {
    auto collection = host().createCollection();
    collection->setString("name", "only a name");
    collection->setUInt8("hSubsampling", 2);
    collection->setInt32("bitDepth", 10);
    collection->setUInt8("isThreadSafe", 0);
    const auto codec = CodecInfo::from(*collection);
    EXPECT_EQ(codec.name, "only a name");
    EXPECT_EQ(codec.bitDepth, 10);
    EXPECT_FALSE(codec.isThreadSafe);
    EXPECT_EQ(codec.missing.size(), 11u);
    EXPECT_NE(std::find(codec.missing.begin(), codec.missing.end(), "4cc"), codec.missing.end());
    EXPECT_EQ(std::find(codec.missing.begin(), codec.missing.end(), "isThreadSafe"),
              codec.missing.end());
}

TEST_F(DriverTest, RegistrationFailuresComeBackAsThePluginsCode) {
    std::vector<iohost::ContainerInfo> containers;
    host().faults().refuseCreations(1);
    EXPECT_EQ(driver().listContainers(containers), errAlloc);
    EXPECT_TRUE(containers.empty());
    EXPECT_TRUE(host().log().contains("Plugin Failed to create a property bag"));

    host().faults().refuseListAppends(1);
    EXPECT_EQ(driver().listContainers(containers), errFail);
    EXPECT_TRUE(containers.empty());

    // A refusal after the first codec keeps what was published before it.
    std::vector<CodecInfo> codecs;
    host().faults().failNth(HostOperation::Append, 2);
    EXPECT_EQ(driver().listCodecs(codecs), errFail);
    EXPECT_EQ(codecs.size(), 1u);

    host().faults().refuseSetProperty("uuid");
    iohost::PluginInfo info;
    info.name = "unchanged";
    EXPECT_EQ(driver().getInfo(info), errFail);
    EXPECT_EQ(info.name, "unchanged");
}

TEST_F(DriverTest, FactoryAndCodecQuery) {
    EXPECT_EQ(driver().queryCodec(ToUuid(fake::kYuvCodecId)), errNone);
    EXPECT_EQ(driver().queryCodec(ToUuid(fake::kContainerId)), errNoCodec);
    iohost::PluginObject object;
    EXPECT_EQ(driver().createObject(Uuid{}, object), errUnsupported);
    EXPECT_FALSE(object);
    ASSERT_EQ(driver().createObject(ToUuid(fake::kContainerId), object), errNone);
    uint32_t count = 0;
    ASSERT_EQ(object.addRef(count), errNone);
    EXPECT_EQ(count, 2u);
    ASSERT_EQ(object.releaseExtra(count), errNone);
    EXPECT_EQ(count, 1u);
}

TEST_F(DriverTest, EncoderDeliversOnePacketPerFrame) {
    Encoder encoder = openEncoder(5, 3);
    EXPECT_EQ(encoder.cookie(), (std::vector<uint8_t>{'F', 'K', 5, 3}));
    EXPECT_EQ(encoder.params()->getInt32("width"), 5);
    EXPECT_EQ(encoder.params()->getInt32s("frameRate"), (std::vector<int32_t>{25, 1}));

    auto frame = iohost::MakeFrameBuffer(std::vector<uint8_t>{10, 20, 30}, 5, 3, 1000);
    ASSERT_EQ(encoder.process(*frame), errNone);
    EXPECT_FALSE(frame->isLocked()) << "the plug-in unlocked its input";
    ASSERT_EQ(encoder.process(std::vector<uint8_t>{0, 255}, 5, 3, 1001), errNone);
    EXPECT_EQ(encoder.finish(), errNone);

    ASSERT_EQ(m_packets.size(), 2u);
    EXPECT_EQ(m_packets[0].bytes, (std::vector<uint8_t>{11, 21, 31}));
    EXPECT_EQ(m_packets[0].pts, 1000);
    EXPECT_EQ(m_packets[0].dts, 1000);
    EXPECT_EQ(m_packets[0].key, uint8_t{1});
    EXPECT_FALSE(m_packets[0].locked);
    EXPECT_EQ(m_packets[1].bytes, (std::vector<uint8_t>{1, 0}));
    EXPECT_EQ(encoder.callback()->deliveredCount(), 2u);
}

TEST_F(DriverTest, EncoderQueriesAndNullFrames) {
    Encoder encoder = openEncoder();
    EXPECT_EQ(encoder.processNull(), errNoInput);
    encoder.callback()->setQueryAnswer(false);
    uint8_t flag = 1;
    ASSERT_EQ(encoder.query(77, flag), errNone);
    EXPECT_EQ(flag, 0);
    EXPECT_EQ(encoder.callback()->lastQueryValue(), 77);
    flag = 1;
    ASSERT_EQ(encoder.queryState(flag), errNone);
    EXPECT_EQ(flag, 0);
    EXPECT_EQ(encoder.configure(), errNone);
    EXPECT_EQ(encoder.configureWith(nullptr), errInvalidParam);
    EXPECT_EQ(encoder.openWith(nullptr), errInvalidParam);
    EXPECT_TRUE(encoder.cookie().empty());
}

// One failing host operation at a time, at the first call of that operation in a frame: the
// plug-in's answer, no leaked host object and no buffer left locked.
TEST_F(DriverTest, FrameFaultSweep) {
    struct Case {
        HostOperation op;
        uint32_t nth;
        int32_t injected;
        int32_t expected;
    } cases[] = {
        {HostOperation::Lock, 1, errFail, errFail},  // the input
        {HostOperation::Get, 1, errFail, errMissingProperty},
        {HostOperation::Create, 1, errAlloc, errAlloc},
        {HostOperation::SetSize, 1, errFail, errAlloc},
        {HostOperation::Lock, 2, errFail, errAlloc},  // the output
        {HostOperation::Deliver, 1, -321, -321},
    };
    Encoder encoder = openEncoder();
    auto frame = iohost::MakeFrameBuffer(std::vector<uint8_t>{1, 2, 3}, 4, 2, 0);
    const size_t live = host().liveObjects();
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(iohost::HostOperationName(c.op)) + " #" + std::to_string(c.nth));
        host().faults().failNth(c.op, c.nth, c.injected);
        EXPECT_EQ(encoder.process(*frame), c.expected);
        EXPECT_FALSE(frame->isLocked());
        EXPECT_EQ(host().liveObjects(), live);
        host().faults().reset();
    }
    EXPECT_TRUE(m_packets.empty());
    EXPECT_EQ(encoder.process(*frame), errNone) << "the encoder recovers";
    EXPECT_EQ(m_packets.size(), 1u);
}

std::vector<uint8_t> ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST_F(DriverTest, ContainerWritesPacketsOfEachTrack) {
    const auto path = std::filesystem::temp_directory_path() / "iohost_driver_container.bin";
    {
        Container container;
        ASSERT_EQ(driver().createContainer(ToUuid(fake::kContainerId), container), errNone);
        ASSERT_EQ(container.init(), errNone);
        Track video, audio, refused;
        iohost::VideoTrackSettings videoSettings;
        videoSettings.fourcc = fake::kRgbFourCC;
        ASSERT_EQ(container.addVideoTrack(videoSettings, video), errNone);
        ASSERT_EQ(container.addAudioTrack({}, audio), errNone);
        EXPECT_EQ(container.addTrackWith(nullptr, nullptr, refused), errInvalidParam);
        EXPECT_FALSE(refused);
        ASSERT_EQ(container.open(path.string()), errNone);
        ASSERT_EQ(video.write(std::vector<uint8_t>{7, 7}), errNone);
        ASSERT_EQ(audio.write(std::vector<uint8_t>{1, 2, 3}, 1), errNone);
        ASSERT_EQ(video.writeNull(), errNone);
        // The tracks keep the container alive after the host drops it.
        container.reset();
        uint32_t live = 0;
        ASSERT_EQ(module().dispatch(fake::fakeLiveObjects, &live), errNone);
        EXPECT_EQ(live, 3u);
        ASSERT_EQ(video.write(std::vector<uint8_t>{9}), errNone);
    }
    EXPECT_EQ(ReadFile(path), (std::vector<uint8_t>{0, 2, 0, 0, 0, 7, 7,     //
                                                    1, 3, 0, 0, 0, 1, 2, 3,  //
                                                    0, 1, 0, 0, 0, 9}));
    std::filesystem::remove(path);
}

TEST_F(DriverTest, EncoderPacketsFlowIntoATrack) {
    const auto path = std::filesystem::temp_directory_path() / "iohost_driver_pipeline.bin";
    {
        Container container;
        ASSERT_EQ(driver().createContainer(ToUuid(fake::kContainerId), container), errNone);
        ASSERT_EQ(container.init(), errNone);
        Track video;
        ASSERT_EQ(container.addVideoTrack({}, video), errNone);
        ASSERT_EQ(container.open(path.string()), errNone);

        Encoder encoder;
        ASSERT_EQ(driver().createEncoder(ToUuid(fake::kYuvCodecId), encoder), errNone);
        ASSERT_EQ(encoder.setCallback([&](HostBuffer& packet) { return video.write(packet); }),
                  errNone);
        iohost::StreamSettings settings;
        settings.width = settings.height = 2;
        ASSERT_EQ(encoder.open(settings), errNone);
        for (uint8_t i = 0; i < 3; ++i)
            ASSERT_EQ(encoder.process(std::vector<uint8_t>{i}, 2, 2, i), errNone);
        ASSERT_EQ(container.close(), errNone);
    }
    EXPECT_EQ(ReadFile(path), (std::vector<uint8_t>{0, 1, 0, 0, 0, 1,  //
                                                    0, 1, 0, 0, 0, 2,  //
                                                    0, 1, 0, 0, 0, 3}));
    std::filesystem::remove(path);
}

TEST_F(DriverTest, LeakedHostObjectsAreFound) {
    ASSERT_EQ(module().dispatch(fake::fakeLeakBuffer), errNone);
    const auto leaked = host().liveHandles();
    ASSERT_EQ(leaked.size(), 1u);
    EXPECT_EQ(host().find(leaked[0])->kind(), iohost::ObjectKind::Buffer);
    ASSERT_EQ(host().release(leaked[0]), errNone);
}

}  // namespace
}  // namespace iohost_test
