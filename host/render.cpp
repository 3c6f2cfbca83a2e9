/* orvane render: a song decoded into an AIFF file (through the encoding
 * plug-in) or into the plug-in's raw big-endian PCM, optionally shown by
 * the visualiser frame by frame. */
#include "commands.h"
#include "console.h"
#include "encoder_session.h"
#include "host_error.h"
#include "output_file.h"
#include "plugin_port.h"
#include "song_length.h"
#include "stream.h"
#include "visualiser_run.h"

#include <cstdio>
#include <limits>
#include <optional>

namespace orvane {

namespace {

/* The visualiser side of a render: every data signal gives one frame,
 * every N-th of which is saved as a picture. */
class RenderVisualiser {
public:
    RenderVisualiser(const Places &places, const RenderOptions &options,
                     const PlayerSession &session)
        : framesDir_(options.framesDir), every_(options.framesEvery), rate_(session.rate()),
          channels_(session.channels()), analyser_(session.rate())
    {
        if (!framesDir_.empty()) {
            std::error_code error;
            std::filesystem::create_directories(framesDir_, error);
            if (error || !std::filesystem::is_directory(framesDir_))
                throw HostError("cannot write pictures into '" + framesDir_.string() +
                                "': " + error.message());
        }
        run_.emplace(port_, places.visualiser(), !framesDir_.empty());
        port_.setTitle(session.title());
    }

    /* Shows the audio 50 times a second of it: one data signal, and so one
     * frame, per fiftieth of a second. */
    void show(std::span<const uint8_t> frames)
    {
        history_.append(frames, channels_);
        const uint64_t step = std::max<uint32_t>(rate_ / 50, 1);
        while (nextSignal_ + step <= history_.end()) {
            nextSignal_ += step;
            if (!run_->running())
                continue;
            port_.publish(history_, nextSignal_, analyser_);
            if (!run_->waitForFrame())
                continue;
            shown_++;
            if (!framesDir_.empty() && shown_ % every_ == 0)
                savePicture();
        }
    }

    void finish() { run_->stop(); }

private:
    void savePicture()
    {
        char name[32];
        std::snprintf(name, sizeof name, "frame-%07llu.png",
                      static_cast<unsigned long long>(shown_));
        if (!run_->savePicture(framesDir_ / name))
            throw HostError("cannot write the picture '" + (framesDir_ / name).string() + "'");
    }

    std::filesystem::path framesDir_;
    uint32_t every_;
    uint32_t rate_;
    uint32_t channels_;
    VisualiserPort port_;
    AudioHistory history_;
    SpectrumAnalyser analyser_;
    std::optional<VisualiserRun> run_;
    uint64_t shown_ = 0;
    uint64_t nextSignal_ = 0; /* history frame of the last signal */
};

int render(const Places &places, const RenderOptions &options, const EncoderChoice *chosenEncoder)
{
    if (options.output.empty())
        throw HostError("render needs an output file: -o OUT.aiff (or -o - for standard output)");
    if (options.framesEvery == 0)
        throw HostError("--frames-every must be at least 1");
    std::filesystem::path file =
        places
            .filesOrDemo(options.file.empty() ? std::vector<std::string>{}
                                              : std::vector<std::string>{options.file})
            .front();
    PluginSet plugins(places.pluginDir);
    PlayerSession session(plugins, file);
    session.requirePlayable();
    const uint64_t start = session.skip(options.length.startFrame(session.rate()));
    const std::optional<uint64_t> end = framesToTake(session, options.length);
    if (!end && session.endless())
        throw HostError("'" + file.string() + "' plays forever (" +
                        (options.length.extraPasses() < 0 ? "--loop" : "no end found") +
                        "): give --seconds or --frames");
    std::optional<uint64_t> limit;
    if (end)
        limit = *end - std::min(*end, start);

    EncoderChoice encoder;
    if (chosenEncoder != nullptr) {
        encoder = *chosenEncoder;
    } else if (LoadedPlugin *plugin = plugins.encoder()) {
        encoder = {plugin->iface(), plugin->name()};
    }
    if (!options.raw && encoder.iface == nullptr)
        throw HostError("no plug-in in '" + places.pluginDir.string() +
                        "' writes AIFF files (use --raw for PCM)");
    OutputFile out(options.output, !options.raw);
    std::optional<EncoderSession> encoding;
    if (!options.raw)
        encoding.emplace(encoder.iface, encoder.name, session.rate(), session.channels());
    std::optional<RenderVisualiser> visualiser;
    if (options.visualise || !options.framesDir.empty())
        visualiser.emplace(places, options, session);

    BreakWatch breaks;
    StatusLine status(stderr);
    const uint32_t frameBytes = session.frameBytes();
    uint64_t remaining = limit.value_or(std::numeric_limits<uint64_t>::max());
    uint64_t done = 0;
    while (remaining > 0) {
        if (breaks.arrived())
            throw HostError("interrupted; '" + options.output + "' was not written");
        std::span<const uint8_t> block = session.decode();
        if (block.empty())
            break;
        uint64_t take = std::min<uint64_t>(block.size() / frameBytes, remaining);
        block = block.first(static_cast<size_t>(take * frameBytes));
        if (encoding) {
            take = encoding->encode(block, out);
            block = block.first(static_cast<size_t>(take * frameBytes));
        } else {
            out.append(block);
        }
        if (visualiser)
            visualiser->show(block);
        remaining -= take;
        done += take;
        double seconds = static_cast<double>(done) / session.rate();
        if (limit)
            status.show("rendering " + clockText(seconds) + " / " +
                        clockText(static_cast<double>(*limit) / session.rate()) + " " +
                        progressBar(static_cast<double>(done) / static_cast<double>(*limit), 30));
        else if (session.durationKnown())
            status.show("rendering " + clockText(seconds) + " / " +
                        clockText(session.durationMs() / 1000.0) + " " +
                        progressBar(seconds * 1000.0 / session.durationMs(), 30));
        else
            status.show("rendering " + clockText(seconds));
        if (encoding && encoding->full())
            break;
    }
    status.finish();
    if (visualiser)
        visualiser->finish();
    if (encoding)
        encoding->finish(out);
    out.commit();
    if (encoding && encoding->full()) {
        reportError("stopped at " + clockText(static_cast<double>(done) / session.rate()) + " (" +
                    std::to_string(done) + " frames): the " + encoder.name +
                    " encoder takes no more (an AIFF file holds under 2 GB of sound); '" +
                    options.output + "' is complete up to there");
        return kStatusCutShort;
    }
    return 0;
}

} // namespace

int runRender(const Places &places, const RenderOptions &options)
{
    return render(places, options, nullptr);
}

int runRender(const Places &places, const RenderOptions &options, const EncoderChoice &encoder)
{
    return render(places, options, &encoder);
}

} // namespace orvane
