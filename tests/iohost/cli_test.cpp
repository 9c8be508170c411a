// The command line's usage and `info`, against the real module, and the registration records
// that `info` prints.
#include <algorithm>

#include "platform/iohost/plugin_descriptions.h"
#include "tests/iohost/cli_test_support.h"
#include "tests/iohost/host_test_fixture.h"

namespace iohost_test {
namespace {

using namespace iohost::cli;

using CliTest = HostTest;

TEST_F(CliTest, HelpAndBadCommandLines) {
    const std::string absent = iohost::PathNextToExecutable("absent_module");
    const struct {
        std::vector<std::string> args;
        int status;
        std::string message;  // on standard output for help, else on standard error
    } cases[] = {
        {{"--help"}, kExitOk, "usage: iohost"},
        {{"info", "--help"}, kExitOk, "usage: iohost [options] info"},
        {{}, kExitUsage, "usage: iohost"},
        {{"frobnicate"}, kExitUsage, "unknown command 'frobnicate'"},
        {{"--bogus", "info"}, kExitUsage, "unknown option '--bogus'"},
        {{"--module"}, kExitUsage, "--module needs a path"},
        {{"info", "extra"}, kExitUsage, "unexpected argument 'extra'"},
        {{"--module=" + absent, "info"}, kExitFailure, "cannot load module " + absent},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        const CliOutcome r = RunIohost(c.args);
        EXPECT_EQ(r.status, c.status);
        EXPECT_TRUE(Has(c.status == kExitOk ? r.out : r.err, c.message)) << r.out << r.err;
        EXPECT_TRUE((c.status == kExitOk ? r.err : r.out).empty()) << r.out << r.err;
    }
    const std::string help = RunIohost({"--help"}).out;
    for (const Command& command : Commands()) EXPECT_TRUE(Has(help, command.name)) << command.name;
}

TEST_F(CliTest, InfoPrintsThePluginContainerAndCodecTable) {
    const CliOutcome r = RunIohost({"info"});
    EXPECT_EQ(r.status, kExitOk) << r.err;
    for (const char* expected : {
             "Plug-in:    Parvolux  {",
             "Container:  Parvolux AVI  (.avi)  {5b1e9d0c7a3f4e2b8c6d1a9e0f3b7c54}\n",
             "Codecs:     16\n",
             "\n  8-bit YUV 422     P8Y2  YUV packed   4:2:2        8\n",
             "\n  14-bit RGBA       P4RA  RGBA         4:4:4        16\n",
         }) {
        EXPECT_TRUE(Has(r.out, expected)) << expected << "\n" << r.out;
    }
}

TEST_F(CliTest, InfoReportsWhatThePluginRefused) {
    host().faults().refuseCreations(100);
    const CliOutcome refused = RunIohost({"info"});
    EXPECT_EQ(refused.status, kExitFailure);
    EXPECT_TRUE(Has(refused.out, "Containers: the module answered errAlloc (-4)")) << refused.out;
    EXPECT_TRUE(Has(refused.err, "plug-in: Plugin Failed to create a property bag")) << refused.err;
}

// The fields are read from the real module above; a value of another type or count is not taken,
// so that a plug-in publishing it wrongly shows.
TEST_F(CliTest, CodecRecordsTakeOnlyTheTypeAndCountTheyExpect) {
    auto collection = host().createCollection();
    collection->setString("name", "a name");
    collection->setUInt8("4cc", 1);
    const int32_t depths[2] = {10, 10};
    collection->setInt32s("bitDepth", depths);
    const auto codec = iohost::CodecInfo::from(*collection);
    EXPECT_EQ(codec.name, "a name");
    EXPECT_EQ(codec.fourcc, 0u);
    EXPECT_EQ(codec.bitDepth, 0);
    for (const std::string key : {"4cc", "bitDepth", "uuid"})
        EXPECT_EQ(std::ranges::count(codec.missing, key), 1) << key;
}

}  // namespace
}  // namespace iohost_test
