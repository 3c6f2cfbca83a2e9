/* orvane play: songs through the sound device (SDL2's audio queue), with a
 * progress line, keys, and the visualiser fed with what is being heard. */
#include "host/cli/commands.h"
#include "host/cli/console.h"
#include "host/cli/display_check.h"
#include "host/cli/visualiser_feed.h"
#include "host/host_error.h"
#include "host/input/plugins.h"
#include "host/input/song_length.h"
#include "host/input/stream.h"
#include "host/output/pcm_shaping.h"
#include "host/port/plugin_port.h"
#include "host/port/visualiser_run.h"

#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <random>

namespace orvane {

namespace {

constexpr double kQueueSeconds = 0.25; /* audio kept queued ahead of the device */
constexpr uint32_t kSeekStepSeconds = 10;
constexpr Uint32 kLoopDelayMs = 5;
/* The play line is drawn at most this often, and at once after a key. */
constexpr Uint32 kRedrawMs = 100;
/* How long a notice such as "(no further to go)" stays on it. */
constexpr Uint32 kNoticeMs = 1500;

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
                           : session.durationKnown() ? durationText(session.durationMs(), 1000)
                                                     : "length unknown";
    return "  " + session.plugin().name() + ", " + std::to_string(session.rate()) + " Hz, " +
           std::to_string(session.channels()) +
           (session.channels() == 1 ? " channel, " : " channels, ") + duration;
}

/* The keys that work with this many files. */
std::string keyLine(size_t files)
{
    return std::string("keys: space pause, q quit, ") + (files > 1 ? "n next, p previous, " : "") +
           "left/right seek " + std::to_string(kSeekStepSeconds) + " s, h or ? help";
}

/* What stays the same over the songs of one play command. */
struct Controls {
    KeyReader &keys;
    std::string keyHelp;
    std::function<bool()> stopAsked;
    VisualiserRun *visualiser; /* null without one */
};

/* One song on the sound device, decoded a quarter of a second ahead of
 * what is heard. Positions are counted from an anchor, moved by every
 * seek: the song frame and the history frame that the device plays after
 * having played `anchorPlayed_` frames. */
class Playback {
public:
    Playback(PlayerSession &session, std::optional<uint64_t> limit, PcmShaper &shaper,
             const Controls &controls)
        : session_(session), limit_(limit), shaper_(shaper), controls_(controls),
          device_(session.rate(), session.channels())
    {
        if (controls.visualiser != nullptr)
            feed_.emplace(*controls.visualiser, VisualiserFeed::Pace::AsHeard, session.rate(),
                          session.channels(), session.title());
    }

    /* Plays from song frame `start` to the song's end, its bound, or a key. */
    After play(uint64_t start);
    /* The song's frame where its stream ran out, if it did. */
    std::optional<uint64_t> endedAt() const { return endedAt_; }

private:
    void fill();
    std::optional<After> answer(Key key, uint64_t heard);
    void seek(int64_t seconds, uint64_t heard);
    void moveTo(uint64_t songAt);
    void show(uint64_t heard, bool now);
    void tell(const char *notice);

    PlayerSession &session_;
    const std::optional<uint64_t> limit_;
    PcmShaper &shaper_;
    const Controls &controls_;
    SoundDevice device_;
    std::optional<VisualiserFeed> feed_;
    StatusLine status_{stdout};
    uint64_t songFrame_ = 0; /* of the next decoded frame */
    uint64_t anchorSong_ = 0, anchorHistory_ = 0, anchorPlayed_ = 0;
    bool decoding_ = true, paused_ = false;
    std::string notice_;
    Uint32 noticeAt_ = 0, drawnAt_ = 0;
    bool drawn_ = false;
    std::optional<uint64_t> endedAt_;
};

After Playback::play(uint64_t start)
{
    songFrame_ = anchorSong_ = session_.skip(start, controls_.stopAsked);
    fill();
    device_.pause(false);
    for (;;) {
        const uint64_t played = device_.playedFrames() - anchorPlayed_;
        if (!decoding_ && device_.waitingFrames() == 0)
            return After::NextFile;
        if (feed_) {
            feed_->answer();
            if (!paused_)
                feed_->offer(anchorHistory_ + played);
        }
        const Key key = controls_.keys.poll();
        if (std::optional<After> after = answer(key, anchorSong_ + played))
            return *after;
        if (controls_.stopAsked())
            return After::Interrupted;
        show(anchorSong_ + played, key != Key::None);
        SDL_Delay(kLoopDelayMs);
        fill();
    }
}

/* Decodes until the device holds a quarter of a second, or the song ends. */
void Playback::fill()
{
    const uint32_t frameBytes = session_.frameBytes();
    const uint64_t ahead = static_cast<uint64_t>(kQueueSeconds * session_.rate());
    while (decoding_ && device_.waitingFrames() < ahead) {
        std::span<const uint8_t> block = session_.decode();
        if (block.empty())
            endedAt_ = songFrame_;
        uint64_t take = block.size() / frameBytes;
        if (limit_)
            take = std::min(take, *limit_ - std::min(*limit_, songFrame_));
        if (take == 0) {
            decoding_ = false;
            return;
        }
        block = shaper_.apply(block.first(static_cast<size_t>(take * frameBytes)));
        device_.queue(block);
        if (feed_)
            feed_->append(block);
        songFrame_ += take;
    }
}

/* What a key does, `heard` being the song frame playing. */
std::optional<After> Playback::answer(Key key, uint64_t heard)
{
    switch (key) {
    case Key::Quit: return After::Quit;
    case Key::Next: return After::NextFile;
    case Key::Previous: return After::PreviousFile;
    case Key::Help:
        status_.finish();
        std::printf("%s\n", controls_.keyHelp.c_str());
        std::fflush(stdout);
        break;
    case Key::Pause:
        paused_ = !paused_;
        device_.pause(paused_);
        break;
    case Key::SeekBack: seek(-int64_t{kSeekStepSeconds}, heard); break;
    case Key::SeekForward: seek(kSeekStepSeconds, heard); break;
    case Key::None: break;
    }
    return std::nullopt;
}

void Playback::seek(int64_t seconds, uint64_t heard)
{
    using Result = PlayerSession::Seek::Result;
    const PlayerSession::Seek seek = session_.seekBy(heard, seconds, limit_, controls_.stopAsked);
    switch (seek.result) {
    case Result::Moved:
        notice_.clear();
        moveTo(seek.frame);
        break;
    case Result::PastLimit: tell("(no further to go)"); break;
    case Result::Refused: tell(seconds > 0 ? "(no further to go)" : "(cannot seek there)"); break;
    case Result::Impossible: tell("(this plug-in cannot seek)"); break;
    }
}

/* After a seek: what is queued goes, and the next decoded frame is
 * `songAt` in the song. */
void Playback::moveTo(uint64_t songAt)
{
    device_.drop();
    anchorPlayed_ = device_.playedFrames();
    anchorHistory_ = feed_ ? feed_->end() : 0;
    anchorSong_ = songFrame_ = songAt;
    decoding_ = true;
}

void Playback::tell(const char *notice)
{
    notice_ = notice;
    noticeAt_ = SDL_GetTicks();
}

/* Redraws the play line, at once when `now`, else when it is due. */
void Playback::show(uint64_t heard, bool now)
{
    const Uint32 ticks = SDL_GetTicks();
    if (drawn_ && !now && ticks - drawnAt_ < kRedrawMs)
        return;
    drawn_ = true;
    drawnAt_ = ticks;
    if (!notice_.empty() && ticks - noticeAt_ >= kNoticeMs)
        notice_.clear();
    std::string line = progressLine(
        ProgressLayout::Playing,
        {heard, session_.rate(), limit_, session_.durationKnown() ? session_.durationMs() : 0});
    if (paused_)
        line += "  (paused)";
    if (!notice_.empty())
        line += "  " + notice_;
    status_.show(line);
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

/* Plays one file; a song stopped by Ctrl-C or a signal throws Interrupted,
 * once what it owes is reported. */
FileOutcome playFile(const PluginSet &plugins, const std::filesystem::path &file,
                     const PlayOptions &options, const Controls &controls)
{
    PlayerSession session(plugins, file);
    session.requirePlayable();
    requirePlayableRate(session, file);
    const std::optional<uint64_t> end = framesToTake(session, options.length);
    std::printf("%s\n%s\n", session.title().c_str(), formatLine(session).c_str());
    std::fflush(stdout);
    PcmShaper shaper(options.shaping, session.channels(), session.plugin().format().rightFirst);
    std::optional<uint64_t> endedAt;
    After after = After::NextFile;
    {
        Playback playback(session, end, shaper, controls);
        after = playback.play(options.length.startFrame(session.rate()));
        endedAt = playback.endedAt();
    }
    if (std::string clipping = shaper.clippingReport(); !clipping.empty())
        reportError("'" + file.string() + "': " + clipping);
    FileOutcome outcome;
    /* A file that shrank while it was read, or holds less than it says. */
    const std::optional<uint64_t> held = session.facts().framesHeld;
    if (endedAt && held && *endedAt < std::min(*held, end.value_or(*held))) {
        reportError("'" + file.string() + "' ended early: " + std::to_string(*endedAt) + " of " +
                    std::to_string(*held) + " frames");
        outcome.status = kStatusCutShort;
    }
    switch (after) {
    case After::Interrupted: throw Interrupted("");
    case After::Quit: outcome.then = Then::Stop; break;
    case After::PreviousFile: outcome.then = Then::Previous; break;
    case After::NextFile: break;
    }
    return outcome;
}

/* The files of one pass, in random order with --shuffle. */
void arrange(std::vector<std::filesystem::path> &files, const PlayOptions &options)
{
    if (options.shuffle) {
        std::random_device seed;
        std::mt19937 random(seed());
        std::shuffle(files.begin(), files.end(), random);
    }
}

int playFiles(const Places &places, const PlayOptions &options)
{
    PluginSet plugins(places.pluginDir);
    const Inputs inputs = places.filesOrDemo(options.files, plugins);
    std::vector<std::filesystem::path> files = inputs.files;
    SoundSystem sound;
    BreakWatch breaks;
    std::unique_ptr<VisualiserPort> port;
    std::optional<VisualiserRun> visualiser;
    if (options.visualise && displayForVisualiser("playing")) {
        port = std::make_unique<VisualiserPort>();
        visualiser.emplace(*port, places.visualiser(), false);
    }
    KeyReader keys(!options.noKeys);
    const Controls controls{keys, keyLine(files.size()),
                            [&breaks] { return breaks.arrived() || EndSignals::arrived(); },
                            visualiser ? &*visualiser : nullptr};
    if (keys.active())
        std::printf("%s\n", controls.keyHelp.c_str());
    try {
        /* With --repeat, the list goes round until a quit; a file that
         * failed is reported once and left out of later passes, and a pass
         * with none played ends it. */
        int status = 0;
        for (bool more = true; more && !files.empty();) {
            arrange(files, options);
            std::vector<bool> played(files.size(), false);
            bool quit = false;
            status = eachFile(
                         files.size(),
                         [&](size_t index) {
                             FileOutcome outcome =
                                 playFile(plugins, files[index], options, controls);
                             played[index] = true;
                             quit = outcome.then == Then::Stop;
                             return outcome;
                         },
                         Failures::Replace)
                         .status;
            std::vector<std::filesystem::path> kept;
            for (size_t index = 0; index < files.size(); index++)
                if (played[index])
                    kept.push_back(files[index]);
            files = std::move(kept);
            more = options.repeat && !quit;
        }
        return inputs.status(status);
    } catch (const Interrupted &) {
        return kStatusInterrupted;
    }
}

} // namespace

int runPlay(const Places &places, const PlayOptions &options)
{
    EndSignals ends;
    return playFiles(places, options);
}

} // namespace orvane
