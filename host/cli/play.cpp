/* orvane play: songs through the sound device (SDL2's audio queue), with a
 * progress line, keys, and the visualiser fed with what is being heard. */
#include "host/cli/commands.h"
#include "host/cli/console.h"
#include "host/cli/display_check.h"
#include "host/host_error.h"
#include "host/input/song_length.h"
#include "host/input/stream.h"
#include "host/output/pcm_shaping.h"
#include "host/port/plugin_port.h"
#include "host/port/visualiser_run.h"

#include <SDL.h>

#include <signal.h>

#include <array>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>

namespace orvane {

namespace {

constexpr double kQueueSeconds = 0.25; /* audio kept queued ahead of the device */
constexpr uint32_t kSeekStepSeconds = 10;
constexpr uint32_t kSignalsPerSecond = 50;
constexpr Uint32 kLoopDelayMs = 5;

/* Rates the sound device is opened at; files at other rates are only
 * rendered. */
constexpr uint32_t kLowestRate = 1000;
constexpr uint32_t kHighestRate = 384000;

const char *kNoDeviceAdvice =
    "; `orvane render FILE -o OUT.aiff` writes the song to a file instead";

/* The sound device's audio subsystem, for the whole command. */
class SoundSystem {
public:
    SoundSystem()
    {
        /* SDL would turn SIGTERM into an event that nothing here reads;
         * EndSignals handles it instead. */
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
            throw HostError(std::string("no sound device (") + SDL_GetError() + ")" +
                            kNoDeviceAdvice);
    }
    ~SoundSystem() { SDL_QuitSubSystem(SDL_INIT_AUDIO); }
    SoundSystem(const SoundSystem &) = delete;
    SoundSystem &operator=(const SoundSystem &) = delete;
};

/* SIGTERM, SIGHUP and SIGQUIT while playing: the song stops as it does on
 * Ctrl-C, the terminal and the sound device are let go, and then the
 * signal ends the process with the system's own action, as it would have
 * at once. */
class EndSignals {
public:
    EndSignals()
    {
        /* Without SA_RESTART: a call that waits (a read from a pipe) is cut
         * short, as the process is to end anyway. */
        struct sigaction action {};
        action.sa_handler = onSignal;
        sigemptyset(&action.sa_mask);
        for (size_t i = 0; i < kSignals.size(); i++)
            sigaction(kSignals[i], &action, &saved_[i]);
    }
    ~EndSignals() { restore(); }
    EndSignals(const EndSignals &) = delete;
    EndSignals &operator=(const EndSignals &) = delete;

    /* The signal that arrived, 0 while none has. */
    static int caught() { return caught_; }
    /* Ends the process by the signal that arrived, if one did. */
    void endByCaught()
    {
        const int signal = caught_;
        if (signal == 0)
            return;
        restore();
        ::signal(signal, SIG_DFL);
        sigset_t only;
        sigemptyset(&only);
        sigaddset(&only, signal);
        pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
        ::raise(signal);
    }

private:
    static constexpr std::array<int, 3> kSignals{SIGTERM, SIGHUP, SIGQUIT};
    static void onSignal(int signal) { caught_ = signal; }
    void restore()
    {
        for (size_t i = 0; i < kSignals.size(); i++)
            sigaction(kSignals[i], &saved_[i], nullptr);
    }

    static inline volatile sig_atomic_t caught_ = 0;
    std::array<struct sigaction, kSignals.size()> saved_{};
};

/* Device buffer of about a twentieth of a second, a power of two of frames:
 * the device's thread sleeps a buffer at a time and closing the device
 * waits for it (SDL's ALSA driver for two), so that wait stays short. */
Uint16 bufferFrames(uint32_t rate)
{
    Uint16 frames = 32;
    while (frames < 16384 && frames * 2 <= rate / 20)
        frames *= 2;
    return frames;
}

/* One opened device at the song's rate and channels, fed native samples. */
class SoundDevice {
public:
    SoundDevice(uint32_t rate, uint32_t channels) : frameBytes_(channels * 2)
    {
        SDL_AudioSpec want{};
        want.freq = static_cast<int>(rate);
        want.format = AUDIO_S16SYS;
        want.channels = static_cast<Uint8>(channels);
        want.samples = bufferFrames(rate);
        SDL_AudioSpec have{};
        device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
        if (device_ == 0)
            throw HostError(std::string("no sound device (") + SDL_GetError() + ")" +
                            kNoDeviceAdvice);
    }
    ~SoundDevice() { SDL_CloseAudioDevice(device_); }
    SoundDevice(const SoundDevice &) = delete;
    SoundDevice &operator=(const SoundDevice &) = delete;

    /* Queues big-endian frames, turned into the machine's order here. */
    void queue(std::span<const uint8_t> bigEndian)
    {
        native_.resize(bigEndian.size() / 2);
        for (size_t i = 0; i < native_.size(); i++)
            native_[i] = ov_load_be16_signed(&bigEndian[i * 2]);
        if (SDL_QueueAudio(device_, native_.data(), static_cast<Uint32>(native_.size() * 2)) != 0)
            throw HostError(std::string("the sound device failed: ") + SDL_GetError());
        queuedFrames_ += bigEndian.size() / frameBytes_;
    }
    uint64_t queuedFrames() const { return queuedFrames_; }
    uint64_t waitingFrames() const { return SDL_GetQueuedAudioSize(device_) / frameBytes_; }
    /* Frames the device has taken so far. */
    uint64_t playedFrames() const
    {
        return queuedFrames_ - std::min(queuedFrames_, waitingFrames());
    }
    void drop()
    {
        queuedFrames_ = playedFrames();
        SDL_ClearQueuedAudio(device_);
    }
    void pause(bool on) { SDL_PauseAudioDevice(device_, on ? 1 : 0); }

private:
    SDL_AudioDeviceID device_ = 0;
    uint32_t frameBytes_;
    uint64_t queuedFrames_ = 0;
    std::vector<int16_t> native_;
};

enum class After { NextFile, PreviousFile, Quit, Interrupted };

/* Exit status of a play ended by Ctrl-C, as a shell reports SIGINT. */
constexpr int kStatusInterrupted = 130;

std::string formatLine(const PlayerSession &session)
{
    const std::optional<uint64_t> songEnd = songFrames(session, 1);
    std::string duration = songEnd                   ? durationText(*songEnd, session.rate())
                           : session.endless()       ? "endless"
                           : session.durationKnown() ? clockText(session.durationMs() / 1000.0)
                                                     : "length unknown";
    return "  " + session.plugin().name() + ", " + std::to_string(session.rate()) + " Hz, " +
           std::to_string(session.channels()) +
           (session.channels() == 1 ? " channel, " : " channels, ") + duration;
}

/* The keys that work with this many files. */
std::string keyLine(size_t files)
{
    return std::string("keys: space pause, q quit, ") + (files > 1 ? "n next, p previous, " : "") +
           "left/right seek " + std::to_string(kSeekStepSeconds) + " s, ? help";
}

/* Plays one song to its end, its bound, or a key; `endedAt`: the song's
 * frame where its stream ran out, if it did. */
After playSession(PlayerSession &session, std::optional<uint64_t> limit, const Length &length,
                  PcmShaper &shaper, KeyReader &keys, const std::string &keyHelp,
                  const std::function<bool()> &stopAsked, VisualiserRun *visualiser,
                  std::optional<uint64_t> &endedAt)
{
    const uint32_t rate = session.rate();
    const uint32_t frameBytes = session.frameBytes();
    SoundDevice device(rate, session.channels());
    AudioHistory history;
    std::optional<SpectrumAnalyser> analyser;
    if (visualiser != nullptr) {
        analyser.emplace(rate);
        visualiser->port().setTitle(session.title());
    }
    StatusLine status(stdout);

    /* Positions are counted from an anchor, moved by every seek: the song
     * frame and the history frame that the device plays after having
     * played `anchorPlayed` frames. */
    /* position in the song of the next decoded frame */
    uint64_t songFrame = session.skip(length.startFrame(rate), stopAsked);
    uint64_t anchorSong = songFrame, anchorHistory = 0, anchorPlayed = 0;
    uint64_t nextSignal = 0;
    bool decoding = true, paused = false, started = false;
    std::string notice;
    const uint64_t ahead = static_cast<uint64_t>(kQueueSeconds * rate);
    /* After a seek: what is queued goes, and the next decoded frame is
     * `songAt` in the song. */
    auto moveTo = [&](uint64_t songAt) {
        device.drop();
        anchorPlayed = device.playedFrames();
        anchorHistory = history.end();
        anchorSong = songFrame = songAt;
        decoding = true;
    };

    for (;;) {
        while (decoding && device.waitingFrames() < ahead) {
            std::span<const uint8_t> block = session.decode();
            if (block.empty())
                endedAt = songFrame;
            uint64_t take = block.size() / frameBytes;
            if (limit)
                take = std::min(take, *limit - std::min(*limit, songFrame));
            if (take == 0) {
                decoding = false;
                break;
            }
            block = shaper.apply(block.first(static_cast<size_t>(take * frameBytes)));
            device.queue(block);
            history.append(block, session.channels());
            songFrame += take;
        }
        if (!started) {
            device.pause(false);
            started = true;
        }
        uint64_t played = device.playedFrames() - anchorPlayed;
        if (!decoding && device.waitingFrames() == 0)
            return After::NextFile;

        uint64_t heardHistory = anchorHistory + played;
        double elapsed = static_cast<double>(anchorSong + played) / rate;
        if (visualiser != nullptr) {
            visualiser->port().serve();
            /* A frame still being drawn holds the signal back; the next
             * turn of the loop tries again. */
            if (!paused && heardHistory >= nextSignal &&
                visualiser->offer(history, heardHistory, *analyser))
                nextSignal = heardHistory + rate / kSignalsPerSecond;
        }

        Key key = keys.poll();
        switch (key) {
        case Key::Quit: return After::Quit;
        case Key::Next: return After::NextFile;
        case Key::Previous: return After::PreviousFile;
        case Key::Help:
            status.finish();
            std::printf("%s\n", keyHelp.c_str());
            std::fflush(stdout);
            break;
        case Key::Pause:
            paused = !paused;
            device.pause(paused);
            break;
        case Key::SeekBack:
        case Key::SeekForward: {
            int64_t now = static_cast<int64_t>(elapsed);
            int64_t step = key == Key::SeekForward ? kSeekStepSeconds : -int64_t{kSeekStepSeconds};
            if (session.restartable()) {
                /* A module goes back to its start on a fresh copy and decodes
                 * its way to the target, within the song's end. */
                uint64_t target = static_cast<uint64_t>(
                    std::max<int64_t>(static_cast<int64_t>(anchorSong + played) + step * rate, 0));
                if (limit && target >= *limit) {
                    notice = "(no further to go)";
                    break;
                }
                notice.clear();
                session.restart();
                moveTo(session.skip(target, stopAsked));
                break;
            }
            int32_t result = session.seek(static_cast<uint32_t>(std::max<int64_t>(now + step, 0)));
            if (result == SEEKPLAYER_IMPOSSIBLE) {
                notice = "(this plug-in cannot seek)";
            } else if (result < 0) {
                notice = key == Key::SeekForward ? "(no further to go)" : "(cannot seek there)";
            } else {
                notice.clear();
                moveTo(static_cast<uint64_t>(result) * rate);
            }
            break;
        }
        case Key::None: break;
        }
        if (stopAsked())
            return After::Interrupted;

        std::string line = "  " + clockText(elapsed);
        if (limit) {
            double total = static_cast<double>(*limit) / rate;
            line += " " + progressBar(elapsed / total, 30) + " " + clockText(total);
        } else if (session.durationKnown()) {
            double total = session.durationMs() / 1000.0;
            line += " " + progressBar(elapsed / total, 30) + " " + clockText(total);
        }
        if (paused)
            line += "  (paused)";
        if (!notice.empty())
            line += "  " + notice;
        status.show(line);
        SDL_Delay(kLoopDelayMs);
    }
}

/* Throws HostError when the device is not opened at the session's rate. */
void requirePlayableRate(const PlayerSession &session, const std::filesystem::path &file)
{
    if (session.rate() < kLowestRate || session.rate() > kHighestRate)
        throw HostError("'" + file.string() + "' is at " + std::to_string(session.rate()) +
                        " Hz; play takes " + std::to_string(kLowestRate) + " to " +
                        std::to_string(kHighestRate) +
                        " Hz (orvane render writes it to a file at any rate)");
}

int playFiles(const Places &places, const PlayOptions &options)
{
    std::vector<std::filesystem::path> files = places.filesOrDemo(options.files);
    PluginSet plugins(places.pluginDir);
    SoundSystem sound;
    BreakWatch breaks;
    const std::function<bool()> stopAsked = [&breaks] {
        return breaks.arrived() || EndSignals::caught() != 0;
    };
    std::unique_ptr<VisualiserPort> port;
    std::optional<VisualiserRun> visualiser;
    if (options.visualise && displayForVisualiser("playing")) {
        port = std::make_unique<VisualiserPort>();
        visualiser.emplace(*port, places.visualiser(), false);
    }
    KeyReader keys(!options.noKeys);
    const std::string keyHelp = keyLine(files.size());
    if (keys.active())
        std::printf("%s\n", keyHelp.c_str());
    int status = 0;
    for (size_t index = 0; index < files.size();) {
        const std::filesystem::path &file = files[index];
        size_t next = index + 1;
        try {
            PlayerSession session(plugins, file);
            session.requirePlayable();
            requirePlayableRate(session, file);
            const std::optional<uint64_t> end = framesToTake(session, options.length);
            std::printf("%s\n%s\n", session.title().c_str(), formatLine(session).c_str());
            std::fflush(stdout);
            PcmShaper shaper(options.shaping, session.channels());
            std::optional<uint64_t> endedAt;
            After after = playSession(session, end, options.length, shaper, keys, keyHelp,
                                      stopAsked, visualiser ? &*visualiser : nullptr, endedAt);
            if (std::string clipping = shaper.clippingReport(); !clipping.empty())
                reportError("'" + file.string() + "': " + clipping);
            /* A file that shrank while it was read, or holds less than it says. */
            const std::optional<uint64_t> held = session.facts().framesHeld;
            if (endedAt && held && *endedAt < std::min(*held, end.value_or(*held))) {
                reportError("'" + file.string() + "' ended early: " + std::to_string(*endedAt) +
                            " of " + std::to_string(*held) + " frames");
                status = status == 0 ? kStatusCutShort : status;
            }
            if (after == After::Interrupted)
                return kStatusInterrupted;
            if (after == After::Quit)
                break;
            if (after == After::PreviousFile)
                next = index == 0 ? 0 : index - 1;
        } catch (const HostError &error) {
            std::fflush(stdout);
            reportError(error.what());
            status = error.exitStatus();
        }
        index = next;
    }
    return status;
}

} // namespace

int runPlay(const Places &places, const PlayOptions &options)
{
    EndSignals ends;
    const int status = playFiles(places, options);
    ends.endByCaught();
    return status;
}

} // namespace orvane
