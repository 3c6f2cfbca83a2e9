/* The host's classes driven in-process: the output file's write-then-rename,
 * the encoder's refusals, seeking a stream, the status line and the keys on
 * a terminal of their own, plug-ins unloaded, a visualiser that never
 * attaches. */
#include "console.h"
#include "encoder_session.h"
#include "host_error.h"
#include "orvane_run.h"
#include "output_file.h"
#include "plugin_port.h"
#include "plugins.h"
#include "stream.h"
#include "support/aiff_file.h"
#include "support/plugin_host.h"
#include "visualiser_run.h"

#include "platform/testing.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>

using testing::HasSubstr;

namespace {

/* The message of the HostError `action` throws; empty when it throws none. */
std::string hostErrorOf(const std::function<void()> &action)
{
    try {
        action();
    } catch (const orvane::HostError &error) {
        return error.what();
    }
    return {};
}

size_t openDescriptors()
{
    auto entries = std::filesystem::directory_iterator("/proc/self/fd");
    return static_cast<size_t>(std::distance(begin(entries), end(entries)));
}

TEST(OutputFile, AppearsOnlyWhenCompleteAndLeavesNoPartWhenTheRenameFails)
{
    const std::string folder = hosttest::freshFolder("output-file");
    const std::vector<uint8_t> bytes{1, 2, 3, 4};
    const size_t descriptors = openDescriptors();
    {
        orvane::OutputFile out(folder + "/done.bin", true);
        out.append(bytes);
        out.patch(1, std::vector<uint8_t>{9});
        EXPECT_FALSE(std::filesystem::exists(folder + "/done.bin"));
        out.commit();
    }
    EXPECT_EQ(openDescriptors(), descriptors) << "the committed file stays open";
    EXPECT_EQ(ovtest::readFile(folder + "/done.bin"), (std::vector<uint8_t>{1, 9, 3, 4}));

    /* A folder made in the way after the file was opened. */
    const std::string blocked = folder + "/blocked";
    {
        orvane::OutputFile out(blocked, false);
        out.append(bytes);
        std::filesystem::create_directories(blocked + "/inside");
        EXPECT_THAT(hostErrorOf([&] { out.commit(); }), HasSubstr("cannot write '" + blocked));
    }
    EXPECT_EQ(hosttest::folderEntries(folder), (std::vector<std::string>{"blocked", "done.bin"}));

    /* A header is sent ahead only on a held stream, before any byte. */
    orvane::OutputFile unheld("-", false);
    EXPECT_THAT(hostErrorOf([&] { unheld.sendAhead({}); }), HasSubstr("cannot stream"));
}

TEST(EncoderSession, RefusesWhatAnAiffFileCannotHold)
{
    std::string whyNot;
    auto aiff = orvane::LoadedPlugin::open(ovtest::binDir() + "/OV_AIFF.ovplug", whyNot);
    ASSERT_NE(aiff, nullptr) << whyNot;
    orvane::OutputFile probe{orvane::HeadProbe{}};
    struct Case {
        uint32_t rate, channels;
        const char *message; /* empty: accepted */
    };
    for (Case c :
         {Case{0, 2, "cannot write a file without a sample rate"},
          Case{44100, 0, "cannot write 0 channels"}, Case{44100, 3, "cannot write 3 channels"},
          Case{8000, 1, ""}, Case{44100, 2, ""}}) {
        SCOPED_TRACE(std::to_string(c.channels) + " channels at " + std::to_string(c.rate));
        std::string error = hostErrorOf([&] {
            orvane::EncoderSession session(aiff->iface(), "AIFF", c.rate, c.channels, probe);
        });
        EXPECT_EQ(error.empty(), *c.message == 0) << error;
        EXPECT_THAT(error, HasSubstr(c.message));
    }
}

TEST(PlayerSession, SeeksAnAiffFileToWholeSecondsAlsoAfterItsEnd)
{
    const std::vector<uint8_t> pcm = ovtest::testPcm(3 * 8000, 1);
    const std::string file = ovtest::tempPath("seek.aiff");
    ovtest::writeFile(file, ovtest::AiffFile().comm(1, 3 * 8000, 16, 8000).ssnd(pcm).bytes());
    orvane::PluginSet plugins(ovtest::binDir());
    orvane::PlayerSession session(plugins, file);
    ASSERT_FALSE(session.restartable());
    auto expectNextAt = [&](uint32_t second) {
        std::span<const uint8_t> block = session.decode();
        ASSERT_FALSE(block.empty());
        ASSERT_LE(block.size(), pcm.size() - second * 16000);
        EXPECT_TRUE(std::equal(block.begin(), block.end(), pcm.begin() + second * 16000));
    };
    /* The block decoded at the open gives way to the sought one. */
    EXPECT_EQ(session.seek(2), 2);
    expectNextAt(2);
    while (!session.decode().empty()) {}
    EXPECT_EQ(session.seek(1), 1);
    expectNextAt(1);
    EXPECT_EQ(session.seek(3), -1);
    EXPECT_EQ(session.seek(0), 0);
    expectNextAt(0);
}

TEST(PluginSet, LettingGoOfThePluginsUnloadsTheirFiles)
{
    auto mapped = [](const std::string &name) {
        std::ifstream maps("/proc/self/maps");
        std::string text((std::istreambuf_iterator<char>(maps)), {});
        return text.find(name) != std::string::npos;
    };
    {
        orvane::PluginSet plugins(ovtest::binDir());
        ASSERT_EQ(plugins.plugins().size(), 2u);
        EXPECT_TRUE(mapped("/OV_PT.ovplug"));
    }
    EXPECT_FALSE(mapped("/OV_PT.ovplug"));
    EXPECT_FALSE(mapped("/OV_AIFF.ovplug"));
}

TEST(VisualiserRun, AProgramThatCannotStartOrEndsBeforeAttachingIsReported)
{
    orvane::VisualiserPort port;
    EXPECT_THAT(hostErrorOf([&] { orvane::VisualiserRun run(port, "/nonexistent/Zephrin", true); }),
                HasSubstr("'/nonexistent/Zephrin' not found"));
    /* Zephrin ends at once without its window system. */
    ovTestFailOpenLibrary("intuition.library");
    EXPECT_THAT(
        hostErrorOf([&] { orvane::VisualiserRun run(port, ovtest::binDir() + "/Zephrin", true); }),
        HasSubstr("the visualiser did not attach to the player's port"));
    EXPECT_FALSE(port.attached());
    EXPECT_EQ(port.attachCount(), 0u);
}

/* A new pseudo-terminal: its controlling side and the path of its terminal. */
struct Terminal {
    int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    std::string path =
        master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0 ? ::ptsname(master) : "";
    ~Terminal() { ::close(master); }
    /* What the terminal side wrote so far. */
    std::string written() const
    {
        std::string text;
        char bytes[256];
        pollfd ready{master, POLLIN, 0};
        while (::poll(&ready, 1, 200) > 0) {
            ssize_t count = ::read(master, bytes, sizeof bytes);
            if (count <= 0)
                break;
            text.append(bytes, static_cast<size_t>(count));
        }
        return text;
    }
};

TEST(Console, TheStatusLineRewritesItselfInPlaceOnATerminalOnly)
{
    Terminal terminal;
    int side = ::open(terminal.path.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(side, 0);
    termios modes{};
    ::tcgetattr(side, &modes);
    ::cfmakeraw(&modes);
    ::tcsetattr(side, TCSANOW, &modes);
    FILE *to = ::fdopen(side, "w");
    {
        orvane::StatusLine line(to);
        EXPECT_TRUE(line.enabled());
        line.show("0:01 [##..]");
        line.show("0:02");
        line.finish();
        line.finish();
        line.show("3:00");
    }
    std::fclose(to);
    EXPECT_EQ(terminal.written(), "\r0:01 [##..]\r0:02       \n\r3:00\n");

    FILE *file = std::tmpfile();
    orvane::StatusLine none(file);
    EXPECT_FALSE(none.enabled());
    none.show("0:01");
    none.finish();
    EXPECT_EQ(std::ftell(file), 0);
    std::fclose(file);
}

TEST(Console, KeysReadOneAtATimeFromTheControllingTerminal)
{
    using orvane::Key;
    struct Case {
        const char *typed;
        Key key;
    };
    const Case cases[] = {
        {" ", Key::Pause},
        {"q", Key::Quit},
        {"Q", Key::Quit},
        {"n", Key::Next},
        {"N", Key::Next},
        {"p", Key::Previous},
        {"P", Key::Previous},
        {"?", Key::Help},
        {"h", Key::Help},
        {"H", Key::Help},
        {"\x1b[C", Key::SeekForward},
        {"\x1b[D", Key::SeekBack},
        {"\x1b[A", Key::None},
        {"\x1b", Key::None},
        {"x", Key::None},
    };
    Terminal terminal;
    ASSERT_FALSE(terminal.path.empty());
    /* A child of its own session, with the terminal as its controlling
     * one and as standard input; it exits with the number of the first
     * case that failed (1 up), 0 when all passed. */
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::setsid();
        int side = ::open(terminal.path.c_str(), O_RDWR);
        if (side < 0 || ::dup2(side, 0) < 0)
            ::_exit(100);
        int failed = 0;
        {
            orvane::KeyReader unwanted(false);
            orvane::KeyReader keys;
            if (unwanted.active() || !keys.active() || keys.poll() != Key::None)
                ::_exit(101);
            for (size_t i = 0; i < std::size(cases) && failed == 0; i++) {
                ssize_t length = static_cast<ssize_t>(std::strlen(cases[i].typed));
                pollfd ready{0, POLLIN, 0};
                if (::write(terminal.master, cases[i].typed, static_cast<size_t>(length)) !=
                        length ||
                    ::poll(&ready, 1, 5000) != 1 || keys.poll() != cases[i].key)
                    failed = static_cast<int>(i) + 1;
            }
        }
        termios modes{};
        if (failed == 0 && (::tcgetattr(0, &modes) != 0 || (modes.c_lflag & ICANON) == 0))
            failed = 102; /* the terminal's modes not given back */
        ::_exit(failed);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    int failed = WEXITSTATUS(status);
    EXPECT_EQ(failed, 0) << (failed >= 1 && failed <= static_cast<int>(std::size(cases))
                                 ? std::string("typed: ") + cases[failed - 1].typed
                                 : std::string("set-up or modes"));
}

} // namespace
