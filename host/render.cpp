/* orvane render: songs decoded into files of the format their output
 * names (AIFF through the encoding plug-in, others through libsndfile, or
 * raw PCM), one file or several into a folder, optionally shown by the
 * visualiser frame by frame. */
#include "audio_writer.h"
#include "commands.h"
#include "console.h"
#include "display_check.h"
#include "host_error.h"
#include "output_file.h"
#include "output_format.h"
#include "pcm_shaping.h"
#include "plugin_port.h"
#include "song_length.h"
#include "stream.h"
#include "visualiser_run.h"

#include <cstdio>
#include <limits>
#include <map>
#include <memory>
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

/* One input and the output it is rendered to. */
struct RenderJob {
    std::filesystem::path input;
    std::string output;
    const OutputFormat *format;
};

/* Thrown on Ctrl-C: stops a batch too, not only the file being rendered. */
struct Interrupted : HostError {
    using HostError::HostError;
};

/* Every job of the command, checked before any work starts: a format for
 * each output, and no two inputs writing the same file. */
std::vector<RenderJob> planJobs(const Places &places, const RenderOptions &options)
{
    std::vector<std::filesystem::path> inputs = places.filesOrDemo(options.files);
    const std::string chosen = options.raw ? "raw" : options.format;
    std::vector<RenderJob> jobs;
    if (options.outputDir.empty()) {
        if (options.output.empty())
            throw HostError("render needs an output file: -o OUT.aiff (or -o - for standard "
                            "output), or --output-dir DIR for one file per input");
        if (inputs.size() > 1)
            throw HostError("-o names one output, but " + std::to_string(inputs.size()) +
                            " files were given: use --output-dir DIR");
        jobs.push_back({inputs.front(), options.output, &formatForOutput(options.output, chosen)});
    } else {
        /* Named files are AIFF unless a format is chosen. */
        const OutputFormat &format = formatForOutput("", chosen.empty() ? "aiff" : chosen);
        std::map<std::filesystem::path, std::filesystem::path> claimed;
        for (const auto &input : inputs) {
            std::filesystem::path output =
                std::filesystem::path(options.outputDir) / input.stem().concat(format.extension());
            auto [taken, fresh] = claimed.emplace(output.lexically_normal(), input);
            if (!fresh)
                throw HostError("'" + taken->second.string() + "' and '" + input.string() +
                                "' would both be written to '" + output.string() +
                                "'; nothing was rendered");
            jobs.push_back({input, output.string(), &format});
        }
    }
    for (const RenderJob &job : jobs) {
        if (!options.endian.empty() && job.format->writer != FormatWriter::Raw)
            throw HostError("--endian applies to raw PCM only (--raw, --format raw, or a .pcm "
                            "output), not to " +
                            std::string(job.format->name));
    }
    return jobs;
}

int renderOne(const Places &places, const PluginSet &plugins, const RenderOptions &options,
              const RenderJob &job, const EncoderChoice *chosenEncoder, BreakWatch &breaks)
{
    if (options.framesEvery == 0)
        throw HostError("--frames-every must be at least 1");
    const std::filesystem::path &file = job.input;
    const std::string &output = job.output;
    PlayerSession session(plugins, file);
    session.requirePlayable();
    std::string whyEndless;
    const std::optional<uint64_t> end = framesToTake(session, options.length, &whyEndless);
    if (!end && session.endless())
        throw HostError("'" + file.string() + "' " + whyEndless + ": give --seconds or --frames");
    /* A Ctrl-C meanwhile stops the render at the top of its loop. */
    const uint64_t start = session.skip(options.length.startFrame(session.rate()),
                                        [&breaks] { return breaks.arrived(); });
    std::optional<uint64_t> limit;
    if (end)
        limit = *end - std::min(*end, start);

    WriterSetup setup{*job.format,
                      session.rate(),
                      session.channels(),
                      options.endian == "little" ? Endian::Little : Endian::Big,
                      {}};
    if (job.format->writer == FormatWriter::EncoderPlugin)
        setup.encoder =
            chosenEncoder != nullptr ? *chosenEncoder : encoderFor(plugins, *job.format);
    OutputFile out(output, job.format->writer != FormatWriter::Raw);
    const bool headerSentAhead = out.streamed() && limit &&
                                 job.format->writer != FormatWriter::Raw &&
                                 sendHeaderAhead(setup, *limit, out);
    std::unique_ptr<AudioWriter> writer = openAudioWriter(setup, out);
    PcmShaper shaper(options.shaping, session.channels());
    std::optional<RenderVisualiser> visualiser;
    if (!options.framesDir.empty() || (options.visualise && displayForVisualiser("the render")))
        visualiser.emplace(places, options, session);

    StatusLine status(stderr);
    const uint32_t frameBytes = session.frameBytes();
    uint64_t remaining = limit.value_or(std::numeric_limits<uint64_t>::max());
    uint64_t done = 0;
    while (remaining > 0) {
        if (breaks.arrived())
            throw Interrupted("interrupted; '" + output + "' was not written");
        std::span<const uint8_t> block = session.decode();
        if (block.empty())
            break;
        uint64_t take = std::min<uint64_t>(block.size() / frameBytes, remaining);
        block = shaper.apply(block.first(static_cast<size_t>(take * frameBytes)));
        take = writer->write(block);
        block = block.first(static_cast<size_t>(take * frameBytes));
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
        if (writer->full())
            break;
    }
    status.finish();
    if (headerSentAhead && done < *limit && !writer->full()) {
        reportError("'" + file.string() + "' ended at " +
                    clockText(static_cast<double>(done) / session.rate()) +
                    "; the rest of the length its header promised is silence");
        done += writeSilence(*writer, *limit - done, session.channels());
    }
    if (visualiser)
        visualiser->finish();
    writer->finish();
    out.commit();
    if (std::string clipping = shaper.clippingReport(); !clipping.empty())
        reportError("'" + output + "': " + clipping);
    if (writer->full()) {
        reportError("stopped at " + clockText(static_cast<double>(done) / session.rate()) + " (" +
                    std::to_string(done) + " frames): the " + setup.encoder.name +
                    " encoder takes no more (an AIFF file holds under 2 GB of sound); '" + output +
                    "' is complete up to there");
        return kStatusCutShort;
    }
    return 0;
}

int render(const Places &places, const RenderOptions &options, const EncoderChoice *chosenEncoder)
{
    std::vector<RenderJob> jobs = planJobs(places, options);
    if (!options.outputDir.empty()) {
        std::error_code error;
        std::filesystem::create_directories(options.outputDir, error);
        if (!std::filesystem::is_directory(options.outputDir, error))
            throw HostError("cannot write into '" + options.outputDir + "': " + error.message());
    }
    PluginSet plugins(places.pluginDir);
    BreakWatch breaks;
    if (jobs.size() == 1)
        return renderOne(places, plugins, options, jobs.front(), chosenEncoder, breaks);

    /* A file that fails is reported, and the rest still go. */
    int status = 0;
    size_t failed = 0;
    for (const RenderJob &job : jobs) {
        int result = 0;
        try {
            result = renderOne(places, plugins, options, job, chosenEncoder, breaks);
        } catch (const Interrupted &) {
            throw;
        } catch (const HostError &error) {
            reportError("'" + job.input.string() + "': " + error.what());
            failed++;
            result = error.exitStatus();
        }
        if (status == 0)
            status = result;
    }
    if (failed > 0)
        reportError(std::to_string(failed) + " of " + std::to_string(jobs.size()) +
                    " files failed");
    return status;
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
