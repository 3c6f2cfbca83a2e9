/* Damaged files (corpus/, named for their damage) and past module findings
 * through `orvane info` and `orvane render`: each is refused in the one line
 * the table expects, or plays, and a render leaves its output or nothing. */
#include "orvane_run.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <filesystem>
#include <map>

namespace {

/* How orvane's one line about a refused file ends; the files not named here play. */
const std::map<std::string, std::string> verdicts = {
    {"aifc.aiff", ": no plug-in recognises this file"},
    {"bits-24.aiff", " is not playable: 24-bit samples; the AIFF plug-in plays 16-bit files"},
    {"bits-8.aiff", " is not playable: 8-bit samples; the AIFF plug-in plays 16-bit files"},
    {"channels-0.aiff", ": the AIFF plug-in reports no sample rate or no channels"},
    {"channels-3.aiff", "3 channels; the AIFF plug-in plays mono and stereo files"},
    {"chunk-larger-than-file.aiff", ": the AIFF plug-in cannot open this file"},
    /* The reader takes the format it found before the sound data. */
    {"comm-after-ssnd.aiff", ": the AIFF plug-in reports no sample rate or no channels"},
    {"empty-file.mod", "not a \"M.K.\" module: 0 bytes end before its tag at byte 1080"},
    {"header-cut-short.aiff", ": the AIFF plug-in cannot open this file"},
    {"header-cut-short.mod", "not a \"M.K.\" module: 1000 bytes end before its tag at byte 1080"},
    {"no-ssnd.aiff", ": the AIFF plug-in cannot open this file"},
    {"patterns-cut-short.mod", "its 2 patterns and samples need (2608 of 3236 bytes)"},
    {"rate-zero.aiff", ": the AIFF plug-in reports no sample rate or no channels"},
    {"sample-past-end.mod", "its 2 patterns and samples need (3236 of 68732 bytes)"},
    {"self-including.m3u", ": a playlist that includes itself; skipped"},
    {"ssnd-offset-past-end.aiff", "the AIFF plug-in delivers not one whole sample frame from it"},
    {"tag-flt4.mod", "it is a StarTrekker module (\"FLT4\"), and no plug-in here plays that; "
                     "this orvane plays AIFF files and Protracker \"M.K.\" modules"},
};

/* Files that play but hold less sound than they say: a render keeps what
 * there is and says so, with status 2. */
const std::map<std::string, std::string> endingEarly = {
    {"ssnd-larger-than-file.aiff", " ended early: 1000 of 1073741821 frames"},
};

void check(const std::string &file, const std::string &reason, const std::string &early)
{
    SCOPED_TRACE(file);
    const std::string folder = hosttest::freshFolder("hostile"), output = folder + "/out.aiff";
    for (const auto &arguments : {std::vector<std::string>{"info", file},
                                  {"info", "--json", file},
                                  {"render", file, "--seconds", "2", "-o", output}}) {
        const hosttest::RunResult run = hosttest::orvane(arguments);
        const std::string line = arguments[0] == "render" && reason.empty() ? early : reason;
        EXPECT_EQ(run.status, !reason.empty() ? 1 : line.empty() ? 0 : 2) << arguments[0];
        const bool oneLineAboutTheFile = run.err.starts_with("orvane: '" + file + "'") &&
                                         std::count(run.err.begin(), run.err.end(), '\n') == 1;
        EXPECT_TRUE(line.empty() ? run.err.empty()
                                 : oneLineAboutTheFile && run.err.ends_with(line + "\n"))
            << arguments[0] << ": " << run.err;
        if (arguments[1] == "--json") {
            const nlohmann::json described = nlohmann::json::parse(run.out, nullptr, false);
            /* Valid JSON whatever the file holds: its reason or its facts. */
            EXPECT_TRUE(described.is_array() && described.size() == 1 &&
                        described[0].contains("error") != described[0].contains("playable"))
                << run.out;
        }
    }
    if (!early.empty()) {
        const hosttest::RunResult play =
            hosttest::orvane({"play", "--no-keys", file}, "SDL_AUDIODRIVER=dummy");
        EXPECT_EQ(play.status, 2);
        EXPECT_TRUE(play.err.ends_with(early + "\n")) << play.err;
    }
    /* A refused render leaves nothing; a finished one its file (render_test checks its fix-ups). */
    EXPECT_EQ(hosttest::folderEntries(folder),
              reason.empty() ? std::vector<std::string>{"out.aiff"} : std::vector<std::string>{});
    EXPECT_TRUE(!reason.empty() || ovtest::readFile(output).size() > 54) << "success means sound";
}

/* Every damaged file and past module finding, each a test case of its own. */
std::vector<std::string> hostileFiles()
{
    std::vector<std::string> files;
    for (const std::string folder :
         {OV_SOURCE_DIR "/tests/hostile/corpus", OV_SOURCE_DIR "/tests/findings/module"})
        for (const auto &name : hosttest::folderEntries(folder))
            files.push_back(folder + "/" + name);
    return files;
}

using HostileFiles = testing::TestWithParam<std::string>;

TEST_P(HostileFiles, RefusedInOneLineOrPlayedWithNothingLeftBehind)
{
    const std::string name = std::filesystem::path(GetParam()).filename().string();
    check(GetParam(), verdicts.contains(name) ? verdicts.at(name) : "",
          endingEarly.contains(name) ? endingEarly.at(name) : "");
}

INSTANTIATE_TEST_SUITE_P(Corpus, HostileFiles, testing::ValuesIn(hostileFiles()),
                         [](const auto &file) {
                             return ovtest::caseName(
                                 std::filesystem::path(file.param).filename().string());
                         });

} // namespace
