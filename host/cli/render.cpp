/* orvane render: songs decoded into files of the format their output
 * names (AIFF through the encoding plug-in, others through libsndfile, or
 * raw PCM), one file or several into a folder, optionally shown by the
 * visualiser frame by frame. */
#include "host/cli/commands.h"
#include "host/cli/console.h"
#include "host/cli/display_check.h"
#include "host/host_error.h"
#include "host/input/song_length.h"
#include "host/input/stream.h"
#include "host/output/audio_writer.h"
#include "host/output/output_file.h"
#include "host/output/output_format.h"
#include "host/output/pcm_shaping.h"
#include "host/port/plugin_port.h"
#include "host/port/visualiser_run.h"

#include <sys/stat.h>

#include <csignal>
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

/* Ctrl-C seen: the work stops in order, and the process then ends by
 * SIGINT, so that a shell or a script's loop sees what stopped it. */
[[noreturn]] void interrupt(const std::string &message)
{
    endBySignalAtExit(SIGINT);
    throw Interrupted(message);
}

/* What an interruption left of the output. */
std::string interruption(const OutputFile &out)
{
    if (!out.streamed())
        return "interrupted; " + out.name() + " was not written";
    if (out.sentBytes() == 0)
        return "interrupted; nothing was sent to " + out.name();
    return "interrupted after " + std::to_string(out.sentBytes()) + " bytes were sent to " +
           out.name() + "; what was sent is incomplete";
}

/* The file an output would write over, where it would overwrite it (not
 * a pipe or a terminal, which pass the bytes on). */
std::optional<struct stat> overwrittenFile(const std::string &output)
{
    struct stat status {};
    const int found = output == "-" ? ::fstat(1, &status) : ::stat(output.c_str(), &status);
    if (found != 0 || !(S_ISREG(status.st_mode) || S_ISBLK(status.st_mode)))
        return std::nullopt;
    return status;
}

/* An output that is one of the inputs, by any name (a link, "./"), would
 * destroy it. */
void refuseInputsAsOutputs(const std::vector<RenderJob> &jobs,
                           const std::vector<std::filesystem::path> &inputs)
{
    for (const RenderJob &job : jobs) {
        const std::optional<struct stat> output = overwrittenFile(job.output);
        for (size_t i = 0; output && i < inputs.size(); i++) {
            struct stat input {};
            if (::stat(inputs[i].c_str(), &input) == 0 && input.st_dev == output->st_dev &&
                input.st_ino == output->st_ino)
                throw HostError(
                    (job.output == "-" ? "standard output" : "the output '" + job.output + "'") +
                    " is the same file as the input '" + inputs[i].string() +
                    "'; nothing was rendered");
        }
    }
}

/* Every job of the command, checked before any work starts: a format for
 * each output, no two inputs writing the same file, and no input written
 * over. */
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
    refuseInputsAsOutputs(jobs, inputs);
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
    const uint32_t frameBytes = session.frameBytes();
    /* The file's own length, where it tells it and is large enough to
     * hold it: a render takes no more. */
    const std::optional<uint64_t> held = session.facts().framesHeld;
    std::error_code sizeError;
    const uint64_t fileSize = std::filesystem::file_size(file, sizeError);
    std::optional<uint64_t> expected = limit;
    if (held && !sizeError && fileSize / frameBytes >= *held &&
        (!expected || *held - std::min(*held, start) < *expected))
        expected = *held - std::min(*held, start);
    OutputFile out(output, job.format->writer != FormatWriter::Raw, [&] {
        if (breaks.arrived())
            interrupt("interrupted; no one opened '" + output +
                      "' for reading, and nothing was sent");
    });
    /* Streamed with its header ahead, a file has the whole length asked
     * for, filled out with silence if need be. */
    const std::optional<uint64_t> ahead = limit ? limit : expected;
    setup.frames = out.streamed() ? ahead : expected;
    const bool headerSentAhead = out.streamed() && ahead &&
                                 job.format->writer != FormatWriter::Raw &&
                                 sendHeaderAhead(setup, *ahead, out);
    std::unique_ptr<AudioWriter> writer = openAudioWriter(setup, out);
    PcmShaper shaper(options.shaping, session.channels());
    std::optional<RenderVisualiser> visualiser;
    if (!options.framesDir.empty() || (options.visualise && displayForVisualiser("the render")))
        visualiser.emplace(places, options, session);

    StatusLine status(stderr);
    uint64_t remaining = limit.value_or(std::numeric_limits<uint64_t>::max());
    uint64_t done = 0;
    bool streamEnded = false;
    while (remaining > 0) {
        if (breaks.arrived())
            interrupt(interruption(out));
        std::span<const uint8_t> block = session.decode();
        streamEnded = block.empty();
        if (streamEnded)
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
    /* A file that shrank while it was read, or holds less than it says. */
    const bool endedEarly =
        streamEnded && held && start + done < std::min(*held, limit.value_or(*held) + start);
    std::string ending;
    if (endedEarly)
        ending = "'" + file.string() + "' ended early: " + std::to_string(start + done) + " of " +
                 std::to_string(*held) + " frames";
    const bool filledOut = headerSentAhead && done < *ahead && !writer->full();
    if (filledOut)
        ending += (endedEarly ? ""
                              : "'" + file.string() + "' ended at " +
                                    clockText(static_cast<double>(done) / session.rate())) +
                  "; the rest of the length its header promised is silence";
    if (!ending.empty())
        reportError(ending);
    if (filledOut) {
        /* Hours of silence may be owed: Ctrl-C stays live meanwhile. */
        done += writeSilence(*writer, *ahead - done, session.channels(),
                             [&breaks] { return breaks.arrived(); });
        if (breaks.arrived())
            interrupt(interruption(out));
    }
    if (visualiser)
        visualiser->finish();
    writer->finish();
    out.commit();
    if (std::string clipping = shaper.clippingReport(); !clipping.empty())
        reportError("'" + output + "': " + clipping);
    if (writer->full()) {
        reportError("stopped at " + clockText(static_cast<double>(done) / session.rate()) + " (" +
                    std::to_string(done) + " frames): " + writer->whyFull() + "; '" + output +
                    "' is complete up to there");
        return kStatusCutShort;
    }
    return endedEarly ? kStatusCutShort : 0;
}

int render(const Places &places, const RenderOptions &options, const EncoderChoice *chosenEncoder)
{
    std::vector<RenderJob> jobs = planJobs(places, options);
    if (!options.outputDir.empty()) {
        std::error_code error, ignored;
        std::filesystem::create_directories(options.outputDir, error);
        if (!std::filesystem::is_directory(options.outputDir, ignored))
            throw HostError("cannot write into '" + options.outputDir + "': " +
                            (std::filesystem::exists(options.outputDir, ignored)
                                 ? "it is not a folder"
                                 : error.message()));
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
