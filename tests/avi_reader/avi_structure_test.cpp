// Reading an AVI file's structure and judging its consistency.
#include <gtest/gtest.h>

#include <optional>

#include "platform/avi_reader/avi_checker.h"
#include "platform/avi_reader/avi_parser.h"
#include "platform/avi_reader/fourcc.h"
#include "tests/avi_reader/avi_builder.h"

namespace {

using avireader::AviFile;
using avireader::fourcc;
using Bytes = std::vector<uint8_t>;
using enum avireader::Severity;

AviFile parse(const Bytes& bytes) {
    return avireader::parseAvi(bytes.data(), bytes.size());
}

std::vector<avireader::Problem> check(const avitest::Built& built) {
    return avireader::checkAvi(parse(built.bytes));
}

std::string joined(const std::vector<avireader::Problem>& problems) {
    std::string all;
    for (const auto& p : problems) all += toString(p) + "\n";
    return all;
}

// Offsets are the builder's; the bitmap header's private bytes follow its 40.
TEST(AviParser, DecodesATwoSegmentFile) {
    const avitest::Built built = avitest::buildAvi(avitest::twoSegmentPlan());
    const AviFile f = parse(built.bytes);
    ASSERT_TRUE(f.problems.empty()) << joined(f.problems);
    EXPECT_EQ(f.segments.at(1).form, fourcc("AVIX"));
    EXPECT_EQ(f.segments[1].offset, built.at.at("riff1"));
    EXPECT_EQ(f.streams.at(0).video.value().extra, (Bytes{'P', 'V', 1, 0}));
}

Bytes le32(uint32_t v) {
    return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
}

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes chunk(const char* id, const Bytes& payload, std::optional<uint32_t> size = {}) {
    return Bytes(id, id + 4) + le32(size.value_or(uint32_t(payload.size()))) + payload +
           Bytes(payload.size() & 1, 0);
}

Bytes list(const char* kind, const char* type, const Bytes& body,
           std::optional<uint32_t> size = {}) {
    return chunk(kind, Bytes(type, type + 4) + body, size);
}

Bytes riff(const Bytes& body) {
    return list("RIFF", "AVI ", body);
}

TEST(AviParser, ReportsMalformedStructureWithoutTrusting) {
    Bytes deep;
    for (int i = 0; i < 40; ++i) deep = list("LIST", "deep", deep);
    const std::pair<Bytes, const char*> cases[] = {
        {chunk("RIFX", Bytes(8)), "not a RIFF file"},
        {list("RIFF", "WAVE", {}), "not an AVI file"},
        {chunk("RIFF", {}) + Bytes(4), "too small"},
        {list("RIFF", "AVI ", {}, 1000), "but the file ends"},
        {list("RIFF", "AVI ", chunk("JUNK", {1}), 13), "odd size"},
        {riff(list("LIST", "hdrl", chunk("avih", {}, 99))), "remain in LIST 'hdrl'"},
        {riff(chunk("LIST", {}, 0)), "too small to hold its type"},
        {riff({1, 2, 3, 4, 5}), "too few for a chunk header"},
        {riff(deep), "nested deeper"},
        {riff(list("LIST", "hdrl", chunk("avih", {1, 2}))), "too few for a main header"},
        {riff(list("LIST", "hdrl", list("LIST", "strl", chunk("strh", {0})))),
         "too few for a stream header"},
        {riff({}) + Bytes{1, 2, 3}, "stray bytes"},
        {riff({}) + riff({}), "segments after the first must be 'AVIX'"},
        {riff(list("RIFF", "AVIX", {})), "nested in"},
    };
    for (const auto& [bytes, expected] : cases) {
        const AviFile f = parse(bytes);
        EXPECT_NE(joined(f.problems).find(expected), std::string::npos) << joined(f.problems);
        EXPECT_TRUE(avireader::hasErrors(avireader::checkAvi(f))) << expected;
    }
}

// Sets the 32-bit field at `at`, or with `add` moves it by `value`.
void patch(avitest::Built& built, size_t at, uint32_t value, bool add = false) {
    uint8_t* p = built.bytes.data() + at;
    value += add ? p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24 : 0;
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(value >> (8 * i));
}

// One 32-bit field of the two-segment file set (or, with `add`, moved by `value`), and the
// problem that must be reported (12 into a standard index is its nEntriesInUse).
struct Fault {
    const char *name, *where;
    int offset;
    bool add;
    uint32_t value;
    avireader::Severity severity;
    const char* expected;
};

const Fault kFaults[] = {
    {"IxTooManyEntries", "ix00.1", 12, false, 3, Error, "has room for 2"},
    {"NoTimeBase", "strh0", 24, false, 0, Error, "gives no time base"},
    {"StreamCount", "avih", 24, false, 3, Error, "dwStreams is 3 but the file has 2"},
};

class AviCheckerFault : public testing::TestWithParam<Fault> {};

TEST_P(AviCheckerFault, IsReported) {
    const Fault& f = GetParam();
    avitest::Built built = avitest::buildAvi(avitest::twoSegmentPlan());
    patch(built, size_t(int(built.at.at(f.where)) + f.offset), f.value, f.add);
    const auto problems = check(built);
    const auto found = [&](const avireader::Problem& p) {
        return p.severity == f.severity && p.text.find(f.expected) != std::string::npos;
    };
    EXPECT_TRUE(std::any_of(problems.begin(), problems.end(), found)) << joined(problems);
}

INSTANTIATE_TEST_SUITE_P(Mutations, AviCheckerFault, testing::ValuesIn(kFaults),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(AviChecker, AcceptsConsistentFilesAndNamesWhatTheyLack) {
    const auto build = [](size_t segments, bool openDml, size_t streams = 2) {
        avitest::FilePlan p = avitest::twoSegmentPlan();
        p.segments.resize(segments, {{1, 400}});  // a third segment holds audio only
        p.openDml = openDml;
        p.video.resize(streams);
        for (auto& s : p.segments)
            std::erase_if(s, [&](auto& c) { return c.stream >= int(streams); });
        return avitest::buildAvi(p);
    };
    avitest::Built absolute = build(2, true);  // idx1 offsets from the start of the file
    for (size_t i = 0; i < 7; ++i)
        patch(absolute, absolute.at["idx1"] + 16 * i + 8, uint32_t(absolute.at["movi0"] + 8), true);
    for (const auto& built :
         {build(2, true), build(1, false), build(2, true, 1), build(3, true), absolute})
        EXPECT_EQ(joined(check(built)), "");
    const auto problems = joined(check(build(2, false)));
    EXPECT_NE(problems.find("2 RIFF segments but no OpenDML index"), std::string::npos) << problems;
    avitest::Built twice = build(2, true);  // the super index lists its first ix chunk twice
    patch(twice, twice.at["indx0"] + 40, uint32_t(twice.at["ix00.0"]));
    EXPECT_NE(joined(check(twice)).find("lists the standard index at"), std::string::npos);
}

TEST(AviChecker, CondensesRepeatsOfOneKind) {
    avitest::FilePlan plan = avitest::twoSegmentPlan();
    plan.segments[0].assign(40, {0, 10});
    avitest::Built built = avitest::buildAvi(plan);
    for (size_t i = 0; i < 40; ++i) patch(built, built.at["idx1"] + 16 * i + 12, 11);
    const auto problems = check(built);
    EXPECT_LT(problems.size(), 20u) << joined(problems);
    EXPECT_NE(joined(problems).find("32 more: idx1 entry size"), std::string::npos);
}

}  // namespace
