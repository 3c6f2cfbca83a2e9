/* The terminal side of the command line: the status line on a terminal of
 * its own, and the times it shows. */
#include "host/cli/commands.h"
#include "host/cli/console.h"
#include "host/host_error.h"
#include "host/input/song_length.h"
#include "host/output/output_format.h"
#include "orvane_run.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <poll.h>
#include <pty.h>
#include <regex>
#include <unistd.h>

#include <utility>

namespace {

/* A pseudo-terminal, and what its terminal side wrote so far (each line
 * end as the terminal shows it, "\r\n"). */
struct Terminal {
    int master = -1, side = -1;
    Terminal() { ::openpty(&master, &side, nullptr, nullptr, nullptr); }
    ~Terminal()
    {
        ::close(master);
        ::close(side);
    }
    std::string written() const
    {
        std::string text;
        char bytes[256];
        pollfd ready{master, POLLIN, 0};
        for (ssize_t count; ::poll(&ready, 1, 200) > 0 && (count = ::read(master, bytes, 256)) > 0;)
            text.append(bytes, static_cast<size_t>(count));
        return text;
    }
};

TEST(Console, TheStatusLineRewritesItselfInPlaceOnATerminalAndShowsProgress)
{
    Terminal terminal;
    FILE *to = ::fdopen(std::exchange(terminal.side, -1), "w");
    {
        orvane::StatusLine line(to);
        EXPECT_TRUE(line.enabled());
        line.show("0:01 [##..]");
        line.show("0:02");
        line.finish();
        line.finish();
        line.show("3");
    }
    std::fclose(to);
    EXPECT_EQ(terminal.written(), "\r0:01 [##..]\r0:02       \r\n\r3\r\n");

    EXPECT_EQ(orvane::clockText(3599.9) + " " + orvane::clockText(3600), "59:59 1:00:00");
    /* Of the song's bound, else of its known duration, else no bar. */
    using orvane::ProgressLayout;
    const std::string bar = "[#####" + std::string(25, '.') + "]";
    EXPECT_EQ(orvane::progressLine(ProgressLayout::Playing, {441000, 44100, 2646000, 63700}),
              "  0:10 " + bar + " 1:00");
    EXPECT_EQ(orvane::progressLine(ProgressLayout::Rendering, {441000, 44100, std::nullopt, 63700}),
              "rendering 0:10 / 1:03 " + bar);
    EXPECT_EQ(orvane::progressLine(ProgressLayout::Rendering, {441000, 44100, std::nullopt, 0}),
              "rendering 0:10");
    EXPECT_EQ(orvane::durationText(uint64_t{44100} * 3723 + 44056, 44100), "1:02:03.999");
}

/* The installed manual page and bash completion (which reads the help)
 * name the commands of the table, in its order. */
TEST(CommandTable, TheManualAndTheCompletionNameItsCommands)
{
    const std::string prefix = OV_TEST_PREFIX;
    const std::vector<uint8_t> page = ovtest::readFile(prefix + "/share/man/man1/orvane.1");
    std::string commands;
    for (const orvane::Command &command : orvane::commandTable()) {
        commands += (commands.empty() ? "" : " ") + std::string(command.name);
        EXPECT_THAT(std::string(page.begin(), page.end()),
                    testing::HasSubstr(".SS " + std::string(command.name) + "\n"));
    }
    for (const char *section : {"SYNOPSIS", "COMMANDS", "OPTIONS", "KEYS", "\"EXIT STATUS\"",
                                "ENVIRONMENT", "FILES", "EXAMPLES", "\"SEE ALSO\"\n.BR xmp"})
        EXPECT_THAT(std::string(page.begin(), page.end()),
                    testing::HasSubstr(std::string("\n.SH ") + section));
    auto completed = ovtest::runCommand(
        "bash -c 'source \"$0\"; COMP_WORDS=(\"$1\" \"\"); COMP_CWORD=1; _orvane; echo "
        "\"${COMPREPLY[*]}\"' " +
        ovtest::shellQuote(prefix + "/share/bash-completion/completions/orvane") + " " +
        ovtest::shellQuote(prefix + "/bin/orvane"));
    EXPECT_EQ(completed.out, commands + "\n") << completed.err;
    completed = ovtest::runCommand(
        "bash -c 'source \"$0\"; COMP_WORDS=(\"$1\" render --format \"\"); COMP_CWORD=3; _orvane; "
        "echo \"${COMPREPLY[*]}\"' " +
        ovtest::shellQuote(prefix + "/share/bash-completion/completions/orvane") + " " +
        ovtest::shellQuote(prefix + "/bin/orvane"));
    /* The format names, without the extensions in brackets. */
    const std::string names =
        std::regex_replace(std::regex_replace(orvane::formatList(), std::regex(" \\([^)]*\\)"), ""),
                           std::regex(", "), " ");
    EXPECT_EQ(completed.out, names + "\n") << completed.err;
}

/* Files 0 to 4: 0 cut short, 1 failing, 2 going back once, 3 stopping. */
TEST(EachFile, GoesWhereEachFileSaysAndKeepsTheCommandsStatusRule)
{
    using orvane::Then;
    for (const auto failures : {orvane::Failures::FirstStays, orvane::Failures::Replace}) {
        std::vector<size_t> order;
        auto one = [&order](size_t index) -> orvane::FileOutcome {
            order.push_back(index);
            if (index == 1)
                throw orvane::HostError("fails");
            if (index == 2 && std::count(order.begin(), order.end(), 2) == 1)
                return {0, Then::Previous};
            return {index == 3 ? 0 : orvane::kStatusCutShort, index == 3 ? Then::Stop : Then::Next};
        };
        const orvane::FilesDone done = orvane::eachFile(5, one, failures);
        /* Stepping back, the failing file is passed over backwards. */
        EXPECT_EQ(order, (std::vector<size_t>{0, 1, 2, 1, 0, 1, 2, 3}));
        EXPECT_EQ(done.failed, 3u);
        EXPECT_EQ(done.status, failures == orvane::Failures::FirstStays ? 2 : 1);
    }
}

} // namespace
