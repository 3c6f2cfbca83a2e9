/*
 * Damaged files through the real host: every file of corpus/ (named for its
 * damage) and every past module finding goes to `orvane info` and to
 * `orvane render`. Each run ends with the status and the one line on
 * standard error that the table expects (nothing on success), and a render
 * leaves exactly its finished output, or nothing, in its folder.
 */
#include "orvane_run.h"
#include "platform/byteorder.h"

#include <algorithm>
#include <map>

namespace {

/* How orvane's one line about a refused file ends; empty for the files it plays. */
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
    {"ssnd-offset-past-end.aiff", "the AIFF plug-in delivers not one whole sample frame from it"},
    {"tag-flt4.mod", "not a \"M.K.\" module: its tag is \"FLT4\""},
    {"chunks-around-comm.aiff", ""},
    {"every-effect.mod", ""},
    {"loop-past-end.mod", ""},
    {"odd-chunk-before-comm.aiff", ""},
    {"song-length-255.mod", ""},
    {"song-length-zero.mod", ""},
    {"ssnd-larger-than-file.aiff", ""},
    {"volumes-finetunes-max.mod", ""},
};

/* `reason`: how the one line about the refused file ends; empty when it plays. */
void check(const std::string &file, const std::string &reason)
{
    SCOPED_TRACE(file);
    const std::string folder = hosttest::freshFolder("hostile"), output = folder + "/out.aiff";
    for (const auto &arguments : {std::vector<std::string>{"info", file},
                                  {"render", file, "--seconds", "2", "-o", output}}) {
        const hosttest::RunResult run = hosttest::orvane(arguments);
        EXPECT_EQ(run.status, reason.empty() ? 0 : 1) << arguments[0];
        const bool oneLineAboutTheFile = run.err.starts_with("orvane: '" + file + "'") &&
                                         std::count(run.err.begin(), run.err.end(), '\n') == 1;
        EXPECT_TRUE(reason.empty() ? run.err.empty()
                                   : oneLineAboutTheFile && run.err.ends_with(reason + "\n"))
            << arguments[0] << ": " << run.err;
    }
    /* A refused render leaves nothing; a finished one its file, sizes fixed up. */
    EXPECT_EQ(hosttest::folderEntries(folder),
              reason.empty() ? std::vector<std::string>{"out.aiff"} : std::vector<std::string>{});
    if (!reason.empty())
        return;
    const std::vector<uint8_t> written = ovtest::readFile(output);
    ASSERT_GT(written.size(), 54u) << "success means sound";
    EXPECT_EQ(ov_load_be32(&written[4]), written.size() - 8) << "FORM size";
    EXPECT_EQ(ov_load_be32(&written[42]), written.size() - 46) << "SSND size";
}

TEST(HostileFiles, RefusedInOneLineOrPlayedWithNothingLeftBehind)
{
    const std::string corpus = OV_SOURCE_DIR "/tests/hostile/corpus";
    ASSERT_EQ(hosttest::folderEntries(corpus).size(), verdicts.size()) << "a file without verdict";
    for (const std::string &folder : {corpus, std::string(OV_SOURCE_DIR "/tests/findings/module")})
        for (const auto &name : hosttest::folderEntries(folder))
            check(folder + "/" + name, folder == corpus ? verdicts.at(name) : "");
}

} // namespace
