// Every way a container or a track can refuse or fail, with the exact message and result code,
// what survives each failure, and the lifetimes of containers and tracks whatever order the host
// releases them in.
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/container/container_fixture.h"

#if !defined(_WIN32)
#include <signal.h>
#include <sys/resource.h>
#endif

namespace container_test {
namespace {

const std::string kNoHeader =
    "AviWriter::writeChunk: header is not written, writeHeader() must be called first";
const std::string kVideoChunkFailed = "Parvolux Plugin :: Failed to write AVI video chunk: ";
const std::string kAudioChunkFailed = "Parvolux Plugin :: Failed to write AVI audio chunk: ";

iohost::VideoTrackSettings SmallVideo() {
    iohost::VideoTrackSettings settings;
    settings.width = 8;
    settings.height = 8;
    settings.fourcc = module_test::HostFourcc("P8RG");
    return settings;
}

class ContainerFailureTest : public ContainerTest {
protected:
    // Writes the container's current tracks to a fresh file and answers its stream count.
    uint32_t streamsWritten(iohost::Container& container, const std::string& name) {
        EXPECT_EQ(container.open(path(name)), errNone);
        EXPECT_EQ(container.close(), errNone);
        return ReadWritten(path(name)).streamCount();
    }
};

// --- AddTrack refusals -------------------------------------------------------------------------

TEST_F(ContainerFailureTest, UnusableTrackCollectionsAreRefusedAndAddNothing) {
    struct Case {
        const char* what;
        void (*fill)(iohost::PropertyStore&);
        int32_t answer;
    };
    const std::vector<Case> cases = {
        {"no mediaType", [](iohost::PropertyStore&) {}, errInvalidParam},
        {"mediaType 3", [](iohost::PropertyStore& t) { t.setInt32("mediaType", 3); },
         errInvalidParam},
        {"mediaType 0", [](iohost::PropertyStore& t) { t.setInt32("mediaType", 0); },
         errInvalidParam},
        {"mediaType as a byte", [](iohost::PropertyStore& t) { t.setUInt8("mediaType", 2); },
         errInvalidParam},
        {"video without frameRate",
         [](iohost::PropertyStore& t) {
             t.setInt32("mediaType", 2);
             t.setInt32("width", 8);
             t.setInt32("height", 8);
         },
         errInvalidParam},
        {"video with rate 0",
         [](iohost::PropertyStore& t) {
             t.setInt32("mediaType", 2);
             t.setInt32s("frameRate", std::array<int32_t, 2>{0, 1});
         },
         errInvalidParam},
        {"video with one frameRate value",
         [](iohost::PropertyStore& t) {
             t.setInt32("mediaType", 2);
             t.setInt32s("frameRate", std::array<int32_t, 1>{25});
         },
         errInvalidParam},
    };
    auto container = newContainer();
    for (const Case& c : cases) {
        auto collection = host().createCollection();
        c.fill(*collection);
        iohost::Track track;
        EXPECT_EQ(container.addTrackWith(collection.handle(), nullptr, track), c.answer) << c.what;
        EXPECT_FALSE(track) << c.what;
    }
    EXPECT_EQ(streamsWritten(container, "refused.avi"), 0u);
    EXPECT_TRUE(host().log().entries().empty());
}

TEST_F(ContainerFailureTest, ASecondVideoTrackIsRefusedAndTheFirstStays) {
    auto container = newContainer();
    iohost::Track first;
    iohost::Track second;
    ASSERT_EQ(container.addVideoTrack(SmallVideo(), first), errNone);
    EXPECT_EQ(container.addVideoTrack(SmallVideo(), second), errUnsupported);
    EXPECT_FALSE(second);
    iohost::Track audio;
    EXPECT_EQ(container.addAudioTrack({}, audio), errNone);
    EXPECT_EQ(streamsWritten(container, "one_video.avi"), 2u);
}

TEST_F(ContainerFailureTest, TracksAfterOpenAndPastOneHundredAreRefused) {
    auto container = newContainer();
    std::vector<iohost::Track> tracks(100);
    for (auto& track : tracks) ASSERT_EQ(container.addAudioTrack({}, track), errNone);
    iohost::Track extra;
    EXPECT_EQ(container.addAudioTrack({}, extra), errUnsupported);
    EXPECT_EQ(container.addVideoTrack(SmallVideo(), extra), errUnsupported);
    EXPECT_EQ(streamsWritten(container, "hundred.avi"), 100u);

    // Close dropped the tracks: a fresh file can have tracks again, but none once it is open.
    iohost::Track audio;
    ASSERT_EQ(container.addAudioTrack({}, audio), errNone);
    ASSERT_EQ(container.open(path("late.avi")), errNone);
    EXPECT_EQ(container.addVideoTrack(SmallVideo(), extra), errUnsupported);
    EXPECT_EQ(container.addAudioTrack({}, extra), errUnsupported);
    EXPECT_FALSE(extra);
    EXPECT_EQ(audio.write(AudioPacket(10, 4, 0), 10), errNone);
    ASSERT_EQ(container.close(), errNone);
    const WrittenAvi file = ReadWritten(path("late.avi"));
    EXPECT_EQ(file.streamCount(), 1u);
    EXPECT_EQ(Problems(file.avi), "");
    EXPECT_TRUE(host().log().entries().empty());
}

TEST_F(ContainerFailureTest, NullHandlesAndUnknownSelectors) {
    auto container = newContainer();
    iohost::Track track;
    EXPECT_EQ(container.initWith(nullptr), errInvalidParam);
    EXPECT_EQ(container.openWith(nullptr), errInvalidParam);
    auto codec = host().createCollection();
    EXPECT_EQ(container.addTrackWith(nullptr, codec.handle(), track), errInvalidParam);
    EXPECT_EQ(container.send(codecOpen, static_cast<void*>(nullptr)), errUnsupported);
    ASSERT_EQ(container.addAudioTrack({}, track), errNone);
    EXPECT_EQ(track.send(contClose), errUnsupported);
    EXPECT_EQ(track.send(codecProcess, static_cast<void*>(nullptr)), errUnsupported);
    EXPECT_TRUE(host().log().entries().empty());
    EXPECT_EQ(container.close(), errNone);
}

// --- Open -------------------------------------------------------------------------------------

TEST_F(ContainerFailureTest, OpenFailsWithoutAUsablePath) {
    const std::string missingFolder = path("no/such/folder/x.avi");
    struct Case {
        const char* what;
        void (*fill)(iohost::PropertyStore&, const std::string&);
        std::string arg;
        std::string message;
    };
    const std::string prefix = "Parvolux Plugin :: Failed to open output file: ";
    const std::vector<Case> cases = {
        {"no path", [](iohost::PropertyStore&, const std::string&) {}, "", prefix},
        {"empty path",
         [](iohost::PropertyStore& p, const std::string&) { p.setString("path", ""); }, "", prefix},
        {"path not a string",
         [](iohost::PropertyStore& p, const std::string&) { p.setInt32("path", 1); }, "", prefix},
        {"missing folder",
         [](iohost::PropertyStore& p, const std::string& a) { p.setString("path", a); },
         missingFolder, prefix + missingFolder},
        {"a folder", [](iohost::PropertyStore& p, const std::string& a) { p.setString("path", a); },
         m_dir.file(u8""), prefix + m_dir.file(u8"")},
    };
    auto container = newContainer();
    for (const Case& c : cases) {
        host().log().clear();
        auto props = host().createCollection();
        c.fill(*props, c.arg);
        EXPECT_EQ(container.openWith(props.handle()), errFail) << c.what;
        EXPECT_EQ(logTexts(), std::vector<std::string>{c.message}) << c.what;
    }
    // Nothing was begun: a later Open writes a correct file.
    host().log().clear();
    iohost::Track audio;
    ASSERT_EQ(container.addAudioTrack({}, audio), errNone);
    EXPECT_EQ(streamsWritten(container, "after.avi"), 1u);
    EXPECT_TRUE(host().log().entries().empty());
}

TEST_F(ContainerFailureTest, OpenTwiceWithoutCloseFailsAtTheHeader) {
    auto container = newContainer();
    ASSERT_EQ(container.open(path("a.avi")), errNone);
    EXPECT_EQ(container.open(path("b.avi")), errFail);
    EXPECT_EQ(logTexts(),
              std::vector<std::string>{
                  "Parvolux Plugin :: Failed to write AVI header: AviWriter::writeHeader: "
                  "already called, header is already written"});
    host().log().clear();
    EXPECT_EQ(container.close(), errNone);
}

TEST_F(ContainerFailureTest, AFailedOpenClosesTheFileThatWasOpen) {
    auto container = newContainer();
    ASSERT_EQ(container.open(path("open.avi")), errNone);
    EXPECT_EQ(container.open(path("no/folder/x.avi")), errFail);
    host().log().clear();
    // The header's file is gone, so finalizing it cannot succeed; the container still resets.
    EXPECT_EQ(container.close(), errFail);
    EXPECT_EQ(logTexts(), std::vector<std::string>{"Parvolux Plugin :: Failed to finalize AVI: "
                                                   "AviWriter::finalize: failed to correctly "
                                                   "finalize avi"});
    iohost::Track audio;
    ASSERT_EQ(container.addAudioTrack({}, audio), errNone);
    host().log().clear();
    EXPECT_EQ(streamsWritten(container, "again.avi"), 1u);
}

// --- Packets ----------------------------------------------------------------------------------

TEST_F(ContainerFailureTest, PacketsOutsideAnOpenFileFailWithTheWritersText) {
    auto container = newContainer();
    iohost::Track video;
    iohost::Track audio;
    ASSERT_EQ(container.addVideoTrack(SmallVideo(), video), errNone);
    ASSERT_EQ(container.addAudioTrack({}, audio), errNone);
    const std::vector<uint8_t> packet = AudioPacket(4, 4, 0);

    EXPECT_EQ(video.write(packet), errFail);
    EXPECT_EQ(audio.write(packet, 4), errFail);
    EXPECT_EQ(logTexts(), (std::vector<std::string>{kVideoChunkFailed + kNoHeader,
                                                    kAudioChunkFailed + kNoHeader}));

    // The host still holds the tracks after Close; their container has no file any more.
    host().log().clear();
    ASSERT_EQ(container.open(path("closed.avi")), errNone);
    ASSERT_EQ(video.write(packet), errNone);
    ASSERT_EQ(container.close(), errNone);
    EXPECT_EQ(video.write(packet), errFail);
    EXPECT_EQ(audio.write(packet, 4), errFail);
    EXPECT_EQ(logTexts(), (std::vector<std::string>{kVideoChunkFailed + kNoHeader,
                                                    kAudioChunkFailed + kNoHeader}));
    // Packets are unlocked whether written or not.
    EXPECT_EQ(Problems(ReadWritten(path("closed.avi")).avi), "");
}

TEST_F(ContainerFailureTest, PacketsWithoutBytesAreSkippedQuietly) {
    auto container = newContainer();
    iohost::Track video;
    iohost::Track audio;
    ASSERT_EQ(container.addVideoTrack(SmallVideo(), video), errNone);
    ASSERT_EQ(container.addAudioTrack({}, audio), errNone);
    ASSERT_EQ(container.open(path("skipped.avi")), errNone);

    EXPECT_EQ(video.writeNull(), errNone);
    EXPECT_EQ(audio.writeNull(), errNone);

    auto packet = host().createBuffer();
    ASSERT_EQ(packet->assign(AudioPacket(8, 4, 1)), errNone);
    packet->setInt64("duration", 8);
    host().faults().failBufferLock(true);
    EXPECT_EQ(video.write(*packet), errNone);
    EXPECT_EQ(audio.write(*packet), errNone);
    host().faults().failBufferLock(false);

    // Locked without memory: nothing to write from, but the lock is given back.
    host().faults().lockWithNullPointer(true);
    EXPECT_EQ(video.write(*packet), errNone);
    EXPECT_EQ(audio.write(*packet), errNone);
    host().faults().lockWithNullPointer(false);
    EXPECT_FALSE(packet->isLocked());

    EXPECT_TRUE(host().log().entries().empty());
    ASSERT_EQ(container.close(), errNone);
    const WrittenAvi file = ReadWritten(path("skipped.avi"));
    EXPECT_TRUE(file.avi.chunks.empty());
    EXPECT_EQ(Problems(file.avi), "");
}

TEST_F(ContainerFailureTest, CloseWithoutOpenIsQuietAndLeavesAFreshContainer) {
    auto container = newContainer();
    iohost::Track video;
    ASSERT_EQ(container.addVideoTrack(SmallVideo(), video), errNone);
    EXPECT_EQ(container.close(), errNone);
    EXPECT_EQ(container.close(), errNone);
    EXPECT_TRUE(host().log().entries().empty());
    // The video track was dropped with the rest: a new one is welcome.
    iohost::Track again;
    EXPECT_EQ(container.addVideoTrack(SmallVideo(), again), errNone);
    EXPECT_EQ(streamsWritten(container, "fresh.avi"), 1u);
}

#if !defined(_WIN32)
// Lowers the process's file size limit (writes past it fail instead of raising SIGXFSZ) for as
// long as it lives.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        m_oldHandler = signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_old);
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &m_old);
        signal(SIGXFSZ, m_oldHandler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = nullptr;
};
#endif

TEST_F(ContainerFailureTest, WriteFailuresAreReportedAndTheContainerRecovers) {
#if defined(_WIN32)
    GTEST_SKIP() << "needs a POSIX file size limit";
#else
    auto container = newContainer();
    iohost::Track video;
    iohost::Track audio;
    ASSERT_EQ(container.addVideoTrack(SmallVideo(), video), errNone);
    ASSERT_EQ(container.addAudioTrack({}, audio), errNone);
    ASSERT_EQ(container.open(path("full.avi")), errNone);
    const auto headerSize = static_cast<rlim_t>(std::filesystem::file_size(path("full.avi")));
    {
        const FileSizeLimit limit(headerSize + 1000);
        // The video chunk header and 992 payload bytes fit below the limit; nothing more does.
        EXPECT_EQ(video.write(AudioPacket(1000, 4, 0)), errFail);
        EXPECT_EQ(audio.write(AudioPacket(1000, 4, 1), 1000), errFail);
        EXPECT_EQ(container.close(), errFail);
    }
    EXPECT_EQ(logTexts(),
              (std::vector<std::string>{
                  kVideoChunkFailed + "Write error: size: 4000, written: 992",
                  kAudioChunkFailed + "Write error: size: 8, written: 0",  // its chunk header
                  "Parvolux Plugin :: Failed to finalize AVI: AviWriter::finalize: failed to "
                  "correctly finalize avi"}));

    // Reset all the same: the tracks are gone and the next file is whole.
    host().log().clear();
    iohost::Track again;
    ASSERT_EQ(container.addVideoTrack(SmallVideo(), again), errNone);
    ASSERT_EQ(container.open(path("next.avi")), errNone);
    EXPECT_EQ(again.write(AudioPacket(10, 4, 2)), errNone);
    ASSERT_EQ(container.close(), errNone);
    EXPECT_EQ(Problems(ReadWritten(path("next.avi")).avi), "");
    EXPECT_TRUE(host().log().entries().empty());
#endif
}

TEST_F(ContainerFailureTest, AHeaderThatCannotBeWrittenFailsOpen) {
    // A device that takes no byte; Wine shows the host's under its Z: drive.
#if defined(_WIN32)
    const std::string full = "Z:\\dev\\full";
#else
    const std::string full = "/dev/full";
#endif
    auto container = newContainer();
    EXPECT_EQ(container.open(full), errFail);
    ASSERT_EQ(host().log().size(), 1u);
    const std::string text = logTexts()[0];
    if (text.find("Failed to open output file") != std::string::npos) {
        GTEST_SKIP() << "no " << full;
    }
    EXPECT_EQ(text.rfind("Parvolux Plugin :: Failed to write AVI header: Write error: size: ", 0),
              0u)
        << text;
    EXPECT_NE(text.find(", written: 0"), std::string::npos) << text;
}

// --- Lifetimes --------------------------------------------------------------------------------

TEST_F(ContainerFailureTest, TracksAndContainerHoldEachOtherUntilClose) {
    auto container = newContainer();
    iohost::Track video;
    iohost::Track audio;
    EXPECT_EQ(refCount(container), 1u);
    ASSERT_EQ(container.addVideoTrack(SmallVideo(), video), errNone);
    ASSERT_EQ(container.addAudioTrack({}, audio), errNone);
    EXPECT_EQ(refCount(container), 3u) << "the host's and one per track";
    EXPECT_EQ(refCount(video), 2u) << "the host's and the container's";
    EXPECT_EQ(refCount(audio), 2u);
    ASSERT_EQ(container.close(), errNone);
    EXPECT_EQ(refCount(video), 1u);
    EXPECT_EQ(refCount(audio), 1u);
    EXPECT_EQ(refCount(container), 3u) << "the tracks still hold their container";
}

TEST_F(ContainerFailureTest, ReleaseOrderDoesNotMatter) {
    enum class Order { ContainerFirst, TracksFirst, EverythingBeforeClose };
    for (Order order : {Order::ContainerFirst, Order::TracksFirst, Order::EverythingBeforeClose}) {
        auto container = newContainer();
        iohost::Track video;
        iohost::Track audio;
        ASSERT_EQ(container.addVideoTrack(SmallVideo(), video), errNone);
        ASSERT_EQ(container.addAudioTrack({}, audio), errNone);
        ASSERT_EQ(container.open(path("order.avi")), errNone);
        ASSERT_EQ(video.write(AudioPacket(4, 4, 0)), errNone);
        uint32_t count = 0;
        switch (order) {
            case Order::ContainerFirst:
                ASSERT_EQ(container.close(), errNone);
                ASSERT_EQ(container.releaseExtra(count), errNone);
                (void)container.detach();
                EXPECT_EQ(count, 2u);
                ASSERT_EQ(video.releaseExtra(count), errNone);
                (void)video.detach();
                EXPECT_EQ(count, 0u);
                ASSERT_EQ(audio.releaseExtra(count), errNone);
                (void)audio.detach();
                EXPECT_EQ(count, 0u) << "the last track takes its container with it";
                break;
            case Order::TracksFirst:
                ASSERT_EQ(container.close(), errNone);
                EXPECT_EQ(video.reset(), errNone);
                EXPECT_EQ(audio.reset(), errNone);
                EXPECT_EQ(refCount(container), 1u);
                ASSERT_EQ(container.releaseExtra(count), errNone);
                (void)container.detach();
                EXPECT_EQ(count, 0u);
                break;
            case Order::EverythingBeforeClose: {
                // Only the cycle keeps the objects alive; Close breaks it and must outlive it.
                void* object = container.detach();
                ASSERT_EQ(module().dispatch(plugRelease, object, &count), errNone);
                EXPECT_EQ(count, 2u);
                EXPECT_EQ(video.reset(), errNone);
                EXPECT_EQ(audio.reset(), errNone);
                EXPECT_EQ(module().dispatch(contClose, object), errNone);
                break;
            }
        }
        EXPECT_TRUE(host().log().entries().empty());
        EXPECT_EQ(host().liveObjects(), 0u);
        EXPECT_EQ(Problems(ReadWritten(path("order.avi")).avi), "");
    }
}

TEST_F(ContainerFailureTest, CloseOutlivesTheLastReferencesItDrops) {
    // Audio tracks only: the last track that Close drops takes the container's last reference,
    // while Close still has work to do.
    auto container = newContainer();
    std::vector<iohost::Track> tracks(3);
    for (auto& track : tracks) ASSERT_EQ(container.addAudioTrack({}, track), errNone);
    ASSERT_EQ(container.open(path("cycle.avi")), errNone);
    for (auto& track : tracks) ASSERT_EQ(track.write(AudioPacket(8, 4, 0), 8), errNone);
    void* object = container.detach();
    uint32_t count = 0;
    ASSERT_EQ(module().dispatch(plugRelease, object, &count), errNone);
    EXPECT_EQ(count, 3u);
    tracks.clear();
    EXPECT_EQ(module().dispatch(contClose, object), errNone);
    EXPECT_TRUE(host().log().entries().empty());
    const WrittenAvi file = ReadWritten(path("cycle.avi"));
    EXPECT_EQ(file.streamCount(), 3u);
    EXPECT_EQ(Problems(file.avi), "");
}

}  // namespace
}  // namespace container_test
