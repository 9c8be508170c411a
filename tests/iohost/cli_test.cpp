#include <sstream>

#include "platform/iohost/cli.h"
#include "tests/iohost/host_test_fixture.h"

namespace iohost_test {
namespace {

using namespace iohost::cli;

struct Outcome {
    int status;
    std::string out, err;
};

Outcome RunCli(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    const int status = Run(args, out, err);
    return {status, out.str(), err.str()};
}

using CliTest = HostTest;

TEST_F(CliTest, HelpListsEveryCommand) {
    for (const char* flag : {"--help", "-h"}) {
        const Outcome r = RunCli({flag});
        EXPECT_EQ(r.status, kExitOk);
        EXPECT_NE(r.out.find("usage: iohost"), std::string::npos);
        for (const Command& command : Commands())
            EXPECT_NE(r.out.find(command.name), std::string::npos) << command.name;
        EXPECT_TRUE(r.err.empty());
    }
    const Outcome info = RunCli({"info", "--help"});
    EXPECT_EQ(info.status, kExitOk);
    EXPECT_NE(info.out.find("usage: iohost [options] info"), std::string::npos);
}

TEST_F(CliTest, BadCommandLinesAreUsageErrors) {
    struct Case {
        std::vector<std::string> args;
        std::string message;
    } cases[] = {
        {{}, "usage: iohost"},
        {{"frobnicate"}, "unknown command 'frobnicate'"},
        {{"--bogus", "info"}, "unknown option '--bogus'"},
        {{"--module"}, "--module needs a path"},
        {{"info", "extra"}, "unexpected argument 'extra'"},
    };
    for (const Case& c : cases) {
        const Outcome r = RunCli(c.args);
        EXPECT_EQ(r.status, kExitUsage) << c.message;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_TRUE(r.out.empty()) << r.out;
    }
}

TEST_F(CliTest, InfoPrintsThePluginContainerAndCodecTable) {
    const Outcome r = RunCli({"--module", FakeModulePath(), "info"});
    EXPECT_EQ(r.status, kExitOk) << r.err;
    for (const char* expected :
         {"FakePlug", "fa4e0000000000000000000000000001", "Fake AVI", "(.avi)", "Codecs:     2"}) {
        EXPECT_NE(r.out.find(expected), std::string::npos) << expected << "\n" << r.out;
    }
    // One row per codec: name, four-character code, colour model, subsampling, bit depth.
    std::istringstream lines(r.out);
    std::vector<std::string> rows;
    for (std::string line; std::getline(lines, line);)
        if (line.find("Fake ") != std::string::npos && line.find("AVI") == std::string::npos)
            rows.push_back(line);
    ASSERT_EQ(rows.size(), 2u) << r.out;
    std::istringstream yuv(rows[1]);
    std::string w[7];
    for (auto& word : w) yuv >> word;
    EXPECT_EQ(std::vector<std::string>(w, w + 7),
              (std::vector<std::string>{"Fake", "YUV", "422", "FKY2", "YUV", "planar", "4:2:2"}));
    EXPECT_NE(rows[1].find("16"), std::string::npos);
}

TEST_F(CliTest, InfoReportsAModuleThatCannotLoad) {
    const std::string path = FakeModulePath() + ".absent";
    const Outcome r = RunCli({"--module=" + path, "info"});
    EXPECT_EQ(r.status, kExitFailure);
    EXPECT_NE(r.err.find("cannot load module " + path), std::string::npos) << r.err;
}

TEST_F(CliTest, InfoShowsRefusalsAndFailsWithTheirCode) {
    host().faults().refuseCreations(10);
    const Outcome r = RunCli({"--module", FakeModulePath(), "info"});
    EXPECT_EQ(r.status, kExitFailure);
    EXPECT_NE(r.out.find("the module answered errAlloc (-4)"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("plug-in: Plugin Failed to create a property bag"), std::string::npos)
        << r.err;
}

}  // namespace
}  // namespace iohost_test
