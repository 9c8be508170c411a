// Every way a container or a track can refuse or fail, with the exact message and result code,
// what survives each failure, and the lifetimes of containers and tracks whatever order the host
// releases them in. (Failing writes are the AVI writer's tests, the fault sweeps' and the
// disk-full test's.)
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "tests/container/container_fixture.h"

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>
#endif

namespace container_test {
namespace {

using Texts = std::vector<std::string>;

const std::string kPrefix = "Parvolux Plugin :: ";
const std::string kNoHeader =
    "AviWriter::writeChunk: header is not written, writeHeader() must be called first";
const std::string kVideoFailed = kPrefix + "Failed to write AVI video chunk: ";
const std::string kAudioFailed = kPrefix + "Failed to write AVI audio chunk: ";
const std::string kFinalizeFailed =
    kPrefix + "Failed to finalize AVI: AviWriter::finalize: failed to correctly finalize avi";
const iohost::VideoTrackSettings kVideo = Video(8, 8, "P8RG");

class ContainerFailureTest : public ContainerTest {
protected:
    // Writes the container's current tracks to a fresh file: its stream count, or a failure when
    // the file is not consistent or something was logged.
    uint32_t streamsWritten(iohost::Container& container, const std::string& name) {
        EXPECT_EQ(container.open(path(name)), errNone);
        EXPECT_EQ(container.close(), errNone);
        const WrittenAvi file = ReadWritten(path(name));
        EXPECT_EQ(Problems(file.avi), "") << name;
        EXPECT_EQ(logTexts(), Texts{}) << name;
        return file.streamCount();
    }
    // The log since the last call.
    static Texts takeLog() {
        Texts texts = logTexts();
        host().log().clear();
        return texts;
    }
    // The plug-in's reference count of an object, seen by taking and dropping one reference.
    static uint32_t refCount(const iohost::PluginObject& object) {
        uint32_t count = 0, after = 0;
        EXPECT_EQ(object.addRef(count), errNone);
        EXPECT_EQ(object.releaseExtra(after), errNone);
        EXPECT_EQ(after + 1, count);
        return after;
    }
};

TEST_F(ContainerFailureTest, UnusableTracksAreRefusedAndAddNothing) {
    struct Case {
        const char* what;
        void (*fill)(iohost::PropertyStore&);
    };
    const Case cases[] = {
        {"no mediaType", [](iohost::PropertyStore&) {}},
        {"mediaType 3", [](iohost::PropertyStore& t) { t.setInt32("mediaType", 3); }},
        {"mediaType as a byte", [](iohost::PropertyStore& t) { t.setUInt8("mediaType", 2); }},
        {"mediaType of two values",
         [](iohost::PropertyStore& t) {
             t.setInt32s("mediaType", std::array<int32_t, 2>{1, 1});
         }},
        {"video without frameRate", [](iohost::PropertyStore& t) { t.setInt32("mediaType", 2); }},
        {"video with one frameRate value",
         [](iohost::PropertyStore& t) {
             t.setInt32("mediaType", 2);
             t.setInt32s("frameRate", std::array<int32_t, 1>{25});
         }},
    };
    auto container = newContainer();
    for (const Case& c : cases) {
        auto collection = host().createCollection();
        c.fill(*collection);
        iohost::Track track;
        EXPECT_EQ(container.addTrackWith(collection.handle(), nullptr, track), errInvalidParam)
            << c.what;
        EXPECT_FALSE(track) << c.what;
    }
    iohost::Track audio;
    EXPECT_EQ(container.addTrackWith(nullptr, host().createCollection().handle(), audio),
              errInvalidParam);
    ASSERT_EQ(container.addAudioTrack({}, audio), errNone);
    // Selectors of other objects are unknown to a container and its tracks.
    EXPECT_EQ(container.send(codecOpen, static_cast<void*>(nullptr)), errUnsupported);
    EXPECT_EQ(audio.send(contClose), errUnsupported);
    EXPECT_EQ(audio.send(codecProcess, static_cast<void*>(nullptr)), errUnsupported);
    EXPECT_EQ(streamsWritten(container, "refused.avi"), 1u) << "a refused track was added";
}

TEST_F(ContainerFailureTest, OneVideoTrackAtMostOneHundredTracksAndNoneOnceOpen) {
    auto container = newContainer();
    std::vector<iohost::Track> tracks(100);
    iohost::Track extra;
    ASSERT_EQ(container.addVideoTrack(kVideo, tracks[0]), errNone);
    EXPECT_EQ(container.addVideoTrack(kVideo, extra), errUnsupported);
    for (size_t i = 1; i < tracks.size(); ++i)
        ASSERT_EQ(container.addAudioTrack({}, tracks[i]), errNone);
    EXPECT_EQ(container.addAudioTrack({}, extra), errUnsupported);
    EXPECT_FALSE(extra);
    EXPECT_EQ(streamsWritten(container, "hundred.avi"), 100u);
    EXPECT_EQ(container.close(), errNone) << "a close without a file is quiet";

    // Close dropped the tracks (a video track is welcome again), and an open file takes no more.
    ASSERT_EQ(container.addVideoTrack(kVideo, tracks[0]), errNone);
    ASSERT_EQ(container.open(path("late.avi")), errNone);
    EXPECT_EQ(container.addAudioTrack({}, extra), errUnsupported);
    EXPECT_EQ(container.addVideoTrack(kVideo, extra), errUnsupported);
    EXPECT_EQ(tracks[0].write(Packet(10, 0)), errNone);
    ASSERT_EQ(container.close(), errNone);
    EXPECT_EQ(ReadWritten(path("late.avi")).streamCount(), 1u);
}

TEST_F(ContainerFailureTest, OpenFailuresAreReportedAndLeaveNothingBegun) {
    const std::string missing = path("no/such/folder/x.avi");
    const std::string folder = m_dir.file(u8"");
    const std::string failed = kPrefix + "Failed to open output file: ";
    auto container = newContainer();
    EXPECT_EQ(container.initWith(nullptr), errInvalidParam);
    EXPECT_EQ(container.openWith(nullptr), errInvalidParam);
    // No path, an empty one, one that is no string, a missing folder, a folder.
    for (int c = 0; c < 5; ++c) {
        auto props = host().createCollection();
        if (c == 1) props->setString("path", "");
        if (c == 2) props->setInt32("path", 1);
        if (c == 3) props->setString("path", missing);
        if (c == 4) props->setString("path", folder);
        EXPECT_EQ(container.openWith(props.handle()), errFail) << c;
        EXPECT_EQ(takeLog(), Texts{failed + (c == 3 ? missing : c == 4 ? folder : "")}) << c;
    }
    iohost::Track audio;
    ASSERT_EQ(container.addAudioTrack({}, audio), errNone);
    EXPECT_EQ(streamsWritten(container, "after.avi"), 1u);

    // Opening an open container: at once, the header is written already.
    ASSERT_EQ(container.open(path("a.avi")), errNone);
    EXPECT_EQ(container.open(path("b.avi")), errFail);
    EXPECT_EQ(takeLog(), Texts{kPrefix + "Failed to write AVI header: AviWriter::writeHeader: "
                                         "already called, header is already written"});
    EXPECT_EQ(container.close(), errNone);
    // With a path that cannot be opened, the open file is closed, so it cannot be finalized, but
    // the container resets all the same.
    ASSERT_EQ(container.open(path("open.avi")), errNone);
    EXPECT_EQ(container.open(missing), errFail);
    (void)takeLog();
    EXPECT_EQ(container.close(), errFail);
    EXPECT_EQ(takeLog(), Texts{kFinalizeFailed});
    ASSERT_EQ(container.addAudioTrack({}, audio), errNone);
    EXPECT_EQ(streamsWritten(container, "again.avi"), 1u);
}

#if !defined(_WIN32)
// A named pipe with a reader, which keeps what comes through until it is stopped.
class DrainedPipe {
public:
    explicit DrainedPipe(std::string name) : path(std::move(name)) {
        EXPECT_EQ(mkfifo(path.c_str(), 0600), 0);
        reader = ::open(path.c_str(), O_RDONLY | O_NONBLOCK);
        EXPECT_GE(reader, 0);
        drain = std::thread([this] {
            uint8_t block[4096];
            for (bool last = false; !last;) {
                last = stopped;
                for (ssize_t n; (n = ::read(reader, block, sizeof block)) > 0;)
                    piped.insert(piped.end(), block, block + n);
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        });
    }
    ~DrainedPipe() { (void)stop(); }
    Bytes stop() {
        stopped = true;
        if (drain.joinable()) drain.join();
        if (reader >= 0) ::close(reader);
        reader = -1;
        return piped;
    }

    const std::string path;

private:
    int reader = -1;
    std::atomic<bool> stopped{false};
    Bytes piped;
    std::thread drain;
};
#endif

// Outputs that are no regular file open as they are, neither truncated nor locked (two timing runs
// write to the null device at once), and take the whole export; what each answers then is the
// writer's: /dev/full refuses the first byte, and a pipe cannot seek back to the first size to
// patch, by which time its reader has had every byte a file gets before the "odml" list.
TEST_F(ContainerFailureTest, DevicesAndPipesOpenAndTakeAWholeExport) {
    const std::string header = kPrefix + "Failed to write AVI header: ";
    struct Row {
        std::string output;
        int32_t opened;
        Texts log;
    };
#if defined(_WIN32)
    const Row rows[] = {{"NUL", errNone, {}}};
#else
    DrainedPipe pipe(path("pipe"));
    const Row rows[] = {
        {"/dev/null", errNone, {}},
        {"/dev/full", errFail, {header + "Write error: size: 12, written: 0"}},
        {pipe.path, errFail, {header + "Failed to close riff chunk: strl"}},
        {path("file.avi"), errNone, {}},
    };
#endif
    for (const Row& row : rows) {
        SCOPED_TRACE(row.output);
        auto container = newContainer(), rival = newContainer();
        iohost::Track video;
        ASSERT_EQ(container.addVideoTrack(kVideo, video), errNone);
        EXPECT_EQ(container.open(row.output), row.opened);
        EXPECT_EQ(takeLog(), row.log);
        if (&row == rows) {
            EXPECT_EQ(rival.open(row.output), errNone);
        }
        for (uint32_t seed = 0; seed < 3; ++seed)
            EXPECT_EQ(video.write(Packet(16, seed)), row.opened == errNone ? errNone : errFail);
        EXPECT_EQ(container.close(), errNone);
        EXPECT_EQ(rival.close(), errNone);
        (void)takeLog();
    }
#if !defined(_WIN32)
    const Bytes piped = pipe.stop();
    const WrittenAvi file = ReadWritten(path("file.avi"));
    const auto odml = std::find_if(file.avi.nodes.begin(), file.avi.nodes.end(), [](const auto& n) {
        return n.listType == avireader::fourcc("odml");
    });
    ASSERT_NE(odml, file.avi.nodes.end());
    EXPECT_GE(piped.size(), odml->offset);
    EXPECT_EQ(Bytes(piped.begin(), piped.begin() + 16),
              Golden().fourcc("RIFF").u32s({4}).fourcc("AVI ").fourcc("LIST").data);
#endif
}

TEST_F(ContainerFailureTest, PacketsOutsideAnOpenFileFailAndEmptyOnesAreSkippedOrCut) {
    auto container = newContainer();
    iohost::Track video, audio;
    ASSERT_EQ(container.addVideoTrack(kVideo, video), errNone);
    ASSERT_EQ(container.addAudioTrack({}, audio), errNone);
    const Bytes packet = Packet(16, 0);
    const Texts noHeader = {kVideoFailed + kNoHeader, kAudioFailed + kNoHeader};
    EXPECT_EQ(video.write(packet), errFail);
    EXPECT_EQ(audio.write(packet, 4), errFail);
    EXPECT_EQ(takeLog(), noHeader);

    ASSERT_EQ(container.open(path("skipped.avi")), errNone);
    ASSERT_EQ(video.write(packet), errNone);
    // No buffer, a buffer that cannot be locked: nothing to write, quietly. One locked without
    // memory is written as it is: the system refuses the address, so the chunk keeps its header
    // and nothing else, unindexed, and the failure is reported; the lock is given back.
    EXPECT_EQ(video.writeNull(), errNone);
    EXPECT_EQ(audio.writeNull(), errNone);
    auto buffer = host().createBuffer();
    ASSERT_EQ(buffer->assign(packet), errNone);
    buffer->setInt64("duration", 4);
    for (bool lockFails : {true, false}) {
        host().faults().failBufferLock(lockFails);
        host().faults().lockWithNullPointer(!lockFails);
        EXPECT_EQ(video.write(*buffer), lockFails ? errNone : errFail);
        EXPECT_EQ(audio.write(*buffer), lockFails ? errNone : errFail);
    }
    const std::string nothing = "Write error: size: 16, written: 0";
    EXPECT_EQ(takeLog(), (Texts{kVideoFailed + nothing, kAudioFailed + nothing}));
    host().faults().reset();
    EXPECT_FALSE(buffer->isLocked());
    ASSERT_EQ(video.write(packet), errNone);
    ASSERT_EQ(container.close(), errNone);
    const WrittenAvi file = ReadWritten(path("skipped.avi"));
    ASSERT_EQ(file.avi.chunks.size(), 4u);
    const auto at = file.bytes.begin() + static_cast<std::ptrdiff_t>(file.avi.chunks[1].offset);
    EXPECT_EQ(Bytes(at - 8, at + 32), Golden()
                                          .fourcc("00dc")
                                          .u32s({0})
                                          .fourcc("01wb")
                                          .u32s({0})
                                          .fourcc("00dc")
                                          .u32s({16})
                                          .bytes(packet)
                                          .data);
    EXPECT_EQ(file.streamPayloads(0), (Packets{packet, {}, packet}));
    EXPECT_EQ(file.avi.oldIndex->entries.size(), 2u);
    EXPECT_EQ(file.avi.streams[1].header->length, 0u);
}

TEST_F(ContainerFailureTest, ReleaseOrderDoesNotMatter) {
    for (int order = 0; order < 3; ++order) {
        SCOPED_TRACE(order);
        auto container = newContainer();
        iohost::Track video, audio;
        ASSERT_EQ(container.addVideoTrack(kVideo, video), errNone);
        ASSERT_EQ(container.addAudioTrack({}, audio), errNone);
        ASSERT_EQ(container.open(path("order.avi")), errNone);
        ASSERT_EQ(video.write(Packet(16, 0)), errNone);
        uint32_t count = 0;
        const auto drop = [&count](iohost::PluginObject& object) {
            EXPECT_EQ(object.releaseExtra(count), errNone);
            (void)object.detach();
            return count;
        };
        if (order == 0) {  // the container first: the last track takes it with it
            ASSERT_EQ(container.close(), errNone);
            EXPECT_EQ(std::vector<uint32_t>({drop(container), drop(video), drop(audio)}),
                      (std::vector<uint32_t>{2, 0, 0}));
        } else if (order == 1) {  // the tracks first
            ASSERT_EQ(container.close(), errNone);
            EXPECT_EQ(video.reset(), errNone);
            EXPECT_EQ(audio.reset(), errNone);
            EXPECT_EQ(refCount(container), 1u);
        } else {  // everything before Close: only the cycle keeps the objects alive, and Close,
                  // which breaks it, must outlive it
            void* object = container.detach();
            ASSERT_EQ(module().dispatch(plugRelease, object, &count), errNone);
            EXPECT_EQ(count, 2u);
            EXPECT_EQ(video.reset(), errNone);
            EXPECT_EQ(audio.reset(), errNone);
            EXPECT_EQ(module().dispatch(contClose, object), errNone);
        }
        EXPECT_EQ(logTexts(), Texts{});
        EXPECT_EQ(Problems(ReadWritten(path("order.avi")).avi), "");
    }
    EXPECT_EQ(host().liveObjects(), 0u);
}

}  // namespace
}  // namespace container_test
