/* The terminal side of the command line: the status line on a terminal of
 * its own, and the times it shows. */
#include "host/cli/console.h"
#include "host/input/song_length.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <pty.h>
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

TEST(Console, TheStatusLineRewritesItselfInPlaceOnATerminal)
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
    EXPECT_EQ(orvane::durationText(uint64_t{44100} * 3723 + 44056, 44100), "1:02:03.999");
}

} // namespace
