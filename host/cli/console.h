/*
 * The terminal side of the player: keys read one at a time while playing,
 * the signals that stop a command, and the one-line progress display.
 */
#ifndef OV_HOST_CONSOLE_H
#define OV_HOST_CONSOLE_H

#include <signal.h>
#include <termios.h>

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

namespace orvane {

enum class Key { None, Pause, Quit, Next, Previous, Help, SeekBack, SeekForward };

/* Puts standard input into single-key mode while alive and gives back the
 * keys pressed: only when wanted, when standard input is a terminal, and
 * while this process is in the terminal's foreground (a background job
 * touching the terminal would be stopped). */
class KeyReader {
public:
    explicit KeyReader(bool wanted = true);
    ~KeyReader();
    KeyReader(const KeyReader &) = delete;
    KeyReader &operator=(const KeyReader &) = delete;

    bool active() const { return active_; }
    Key poll();

private:
    bool active_ = false;
    termios saved_{};
};

/* Ctrl-C as the system's break signal to this task, while alive: the
 * command stops in an orderly way instead of dying half-way. */
class BreakWatch {
public:
    BreakWatch();
    ~BreakWatch();
    BreakWatch(const BreakWatch &) = delete;
    BreakWatch &operator=(const BreakWatch &) = delete;

    /* A break has arrived (it stays arrived, so every loop on the way out
     * sees it). */
    bool arrived();
};

/* SIGTERM, SIGHUP and SIGQUIT, while alive: the command stops as it does
 * on Ctrl-C, lets go of the terminal and the sound device, and then the
 * signal ends the process with the system's own action at the very end
 * (exitStatusOrSignal), as it would have at once. */
class EndSignals {
public:
    EndSignals();
    /* Gives the signals their actions back, and has a signal that arrived
     * end the process at exit. */
    ~EndSignals();
    EndSignals(const EndSignals &) = delete;
    EndSignals &operator=(const EndSignals &) = delete;

    /* A signal has arrived. */
    static bool arrived();

private:
    static constexpr int kCount = 3;
    struct sigaction saved_[kCount];
};

/* Makes the process end by `signal` with its default action, once the
 * command has stopped in order and cleaned up: the shell, or a script
 * running orvane in a loop, then sees what stopped it. */
void endBySignalAtExit(int signal);
/* At the very end: the process ends here by that signal, if one was set;
 * otherwise gives back `status`. */
int exitStatusOrSignal(int status);

/* "m:ss" (or "h:mm:ss"). */
std::string clockText(double seconds);
/* "[#####.....]" for a fraction in 0..1. */
std::string progressBar(double fraction, int width);

/* How far a song has come: `frame` frames at `rate`, of `limit` frames when
 * it is bounded, else of `durationMs` when that is known (0: unknown). */
struct Progress {
    uint64_t frame = 0;
    uint32_t rate = 1;
    std::optional<uint64_t> limit;
    uint32_t durationMs = 0;
};

enum class ProgressLayout {
    Playing,  /* "  1:05 [####......] 3:20" */
    Rendering /* "rendering 1:05 / 3:20 [####......]" */
};

/* The progress line; the bar and the whole length only when it is known. */
std::string progressLine(ProgressLayout layout, const Progress &progress);

/* Rewrites one status line in place on a terminal. */
class StatusLine {
public:
    explicit StatusLine(FILE *to);
    ~StatusLine();
    bool enabled() const { return enabled_; }
    void show(const std::string &text);
    /* Ends the line so later output starts on a fresh one. */
    void finish();

private:
    FILE *to_;
    bool enabled_;
    size_t shownLength_ = 0;
};

} // namespace orvane

#endif
