#include "host/cli/console.h"

#include "platform/exec.h"
#include "platform/platform.h"
#include "platform/program.h"

#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <iterator>

namespace orvane {

namespace {

int gSignalAtExit = 0;

constexpr int kEndSignals[] = {SIGTERM, SIGHUP, SIGQUIT};
/* Atomic, not only volatile: the system may run the handler on whichever
 * thread it picks, such as the platform's break thread. */
std::atomic<int> gEndSignal{0};
static_assert(std::atomic<int>::is_always_lock_free, "written by a signal handler");

extern "C" void noteEndSignal(int signal) { gEndSignal.store(signal); }

bool inForeground() { return ::tcgetpgrp(0) == ::getpgrp(); }

/* Sets the terminal's modes even from the background, where the system
 * would stop the process for it. */
bool setTerminal(const struct termios &modes)
{
    sigset_t block, saved;
    sigemptyset(&block);
    sigaddset(&block, SIGTTOU);
    pthread_sigmask(SIG_BLOCK, &block, &saved);
    bool done = ::tcsetattr(0, TCSANOW, &modes) == 0;
    pthread_sigmask(SIG_SETMASK, &saved, nullptr);
    return done;
}

} // namespace

KeyReader::KeyReader(bool wanted)
{
    if (!wanted || !::isatty(0) || !inForeground() || ::tcgetattr(0, &saved_) != 0)
        return;
    struct termios raw = saved_;
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    raw.c_cc[VMIN] = 0;
    raw.c_cc[VTIME] = 0;
    active_ = setTerminal(raw);
}

KeyReader::~KeyReader()
{
    if (active_)
        setTerminal(saved_);
}

Key KeyReader::poll()
{
    /* Sent to the background meanwhile: reading would stop the process. */
    if (!active_ || !inForeground())
        return Key::None;
    pollfd ready{0, POLLIN, 0};
    if (::poll(&ready, 1, 0) <= 0)
        return Key::None;
    unsigned char bytes[8];
    ssize_t count = ::read(0, bytes, sizeof bytes);
    if (count <= 0)
        return Key::None;
    if (count >= 3 && bytes[0] == 0x1B && bytes[1] == '[') {
        if (bytes[2] == 'C')
            return Key::SeekForward;
        if (bytes[2] == 'D')
            return Key::SeekBack;
        return Key::None;
    }
    switch (bytes[0]) {
    case ' ': return Key::Pause;
    case 'q':
    case 'Q': return Key::Quit;
    case 'n':
    case 'N': return Key::Next;
    case 'p':
    case 'P': return Key::Previous;
    case '?':
    case 'h':
    case 'H': return Key::Help;
    default: return Key::None;
    }
}

BreakWatch::BreakWatch() { ovReceiveBreaks(TRUE); }

BreakWatch::~BreakWatch() { ovReceiveBreaks(FALSE); }

bool BreakWatch::arrived()
{
    struct ExecIFace *IExec = ovExecInterface();
    return (IExec->SetSignal(IExec, 0, 0) & SIGBREAKF_CTRL_C) != 0;
}

EndSignals::EndSignals()
{
    static_assert(std::size(kEndSignals) == kCount);
    /* Without SA_RESTART: a call that waits (a read from a pipe) is cut
     * short, as the process is to end anyway. */
    struct sigaction action {};
    action.sa_handler = noteEndSignal;
    sigemptyset(&action.sa_mask);
    for (int i = 0; i < kCount; i++)
        sigaction(kEndSignals[i], &action, &saved_[i]);
}

EndSignals::~EndSignals()
{
    for (int i = 0; i < kCount; i++)
        sigaction(kEndSignals[i], &saved_[i], nullptr);
    if (const int signal = gEndSignal.load(); signal != 0)
        endBySignalAtExit(signal);
}

bool EndSignals::arrived() { return gEndSignal.load() != 0; }

void endBySignalAtExit(int signal) { gSignalAtExit = signal; }

int exitStatusOrSignal(int status)
{
    if (gSignalAtExit == 0)
        return status;
    std::fflush(nullptr);
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(gSignalAtExit, &action, nullptr);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, gSignalAtExit);
    pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
    raise(gSignalAtExit);
    return 128 + gSignalAtExit; /* not reached */
}

std::string clockText(double seconds)
{
    long total = std::lround(std::floor(std::max(seconds, 0.0)));
    char text[32];
    if (total >= 3600)
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60,
                      total % 60);
    else
        std::snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
    return text;
}

std::string progressBar(double fraction, int width)
{
    int filled = static_cast<int>(std::lround(std::clamp(fraction, 0.0, 1.0) * width));
    return "[" + std::string(static_cast<size_t>(filled), '#') +
           std::string(static_cast<size_t>(width - filled), '.') + "]";
}

std::string progressLine(ProgressLayout layout, const Progress &progress)
{
    const double seconds = static_cast<double>(progress.frame) / progress.rate;
    std::optional<double> total;
    double fraction = 0;
    if (progress.limit) {
        total = static_cast<double>(*progress.limit) / progress.rate;
        fraction = static_cast<double>(progress.frame) / static_cast<double>(*progress.limit);
    } else if (progress.durationMs != 0) {
        total = progress.durationMs / 1000.0;
        fraction = seconds * 1000.0 / progress.durationMs;
    }
    const bool playing = layout == ProgressLayout::Playing;
    std::string line = (playing ? "  " : "rendering ") + clockText(seconds);
    if (!total)
        return line;
    const std::string bar = progressBar(fraction, 30);
    return line +
           (playing ? " " + bar + " " + clockText(*total) : " / " + clockText(*total) + " " + bar);
}

StatusLine::StatusLine(FILE *to) : to_(to), enabled_(::isatty(::fileno(to)) != 0) {}

StatusLine::~StatusLine() { finish(); }

void StatusLine::show(const std::string &text)
{
    if (!enabled_)
        return;
    std::string padded = text;
    if (padded.size() < shownLength_)
        padded.append(shownLength_ - padded.size(), ' ');
    std::fprintf(to_, "\r%s", padded.c_str());
    std::fflush(to_);
    shownLength_ = text.size();
}

void StatusLine::finish()
{
    if (enabled_ && shownLength_ > 0) {
        std::fputc('\n', to_);
        std::fflush(to_);
    }
    shownLength_ = 0;
}

} // namespace orvane
