/* orvane render: songs decoded into files of the format their output
 * names (AIFF through the encoding plug-in, others through libsndfile, or
 * raw PCM), one file or several into a folder, optionally shown by the
 * visualiser frame by frame. */
#include "host/cli/commands.h"
#include "host/cli/console.h"
#include "host/cli/display_check.h"
#include "host/cli/visualiser_feed.h"
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
        : framesDir_(options.framesDir), every_(options.framesEvery)
    {
        if (!framesDir_.empty()) {
            std::error_code error;
            std::filesystem::create_directories(framesDir_, error);
            if (error || !std::filesystem::is_directory(framesDir_))
                throw HostError("cannot write pictures into '" + framesDir_.string() +
                                "': " + error.message());
        }
        run_.emplace(port_, places.visualiser(), !framesDir_.empty());
        /* --raw leaves the sides as delivered; the pictures show them as
         * heard. */
        feed_.emplace(*run_, VisualiserFeed::Pace::FrameByFrame, session.rate(), session.channels(),
                      session.title(), options.raw && session.plugin().format().rightFirst);
    }

    /* Shows the audio frame by frame, 50 frames a second of it. */
    void show(std::span<const uint8_t> frames)
    {
        feed_->append(frames);
        feed_->showAppended([this] {
            shown_++;
            if (!framesDir_.empty() && shown_ % every_ == 0)
                savePicture();
        });
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
    VisualiserPort port_;
    std::optional<VisualiserRun> run_;
    std::optional<VisualiserFeed> feed_;
    uint64_t shown_ = 0;
};

/* One input and the output it is rendered to. */
struct RenderJob {
    std::filesystem::path input;
    std::string output;
    const OutputFormat *format;
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
std::vector<RenderJob> planJobs(const std::vector<std::filesystem::path> &inputs,
                                const RenderOptions &options)
{
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

/* Where a render begins in its song, and how far it goes from there. */
struct SongSpan {
    uint64_t start = 0;
    std::optional<uint64_t> limit; /* frames from the start; none: to the song's end */
};

/* Refuses a song that never ends unless bounded, and decodes up to its
 * start (a Ctrl-C meanwhile stops the render at the top of its loop). */
SongSpan spanOf(PlayerSession &session, const RenderOptions &options,
                const std::filesystem::path &file, BreakWatch &breaks)
{
    std::string whyEndless;
    const std::optional<uint64_t> end = framesToTake(session, options.length, &whyEndless);
    if (!end && session.endless())
        throw HostError("'" + file.string() + "' " + whyEndless + ": give --seconds or --frames");
    SongSpan span;
    span.start = session.skip(options.length.startFrame(session.rate()),
                              [&breaks] { return breaks.arrived(); });
    if (end)
        span.limit = *end - std::min(*end, span.start);
    return span;
}

/* The frames a render will take: the file's own length where it tells it
 * (`held`) and is large enough to hold it, when that is less than asked. */
std::optional<uint64_t> expectedFrames(const std::filesystem::path &file, uint32_t frameBytes,
                                       std::optional<uint64_t> held, const SongSpan &span)
{
    std::error_code sizeError;
    const uint64_t fileSize = std::filesystem::file_size(file, sizeError);
    std::optional<uint64_t> expected = span.limit;
    if (held && !sizeError && fileSize / frameBytes >= *held &&
        (!expected || *held - std::min(*held, span.start) < *expected))
        expected = *held - std::min(*held, span.start);
    return expected;
}

/* What went through a render's loop. */
struct Copied {
    uint64_t done = 0;        /* frames written */
    bool streamEnded = false; /* the song ran out before the span did */
};

/* The song's span through the shaping into the writer and the visualiser,
 * with a progress line; stopped by Ctrl-C, the song's end, or a full
 * output. */
Copied copySong(PlayerSession &session, const SongSpan &span, PcmShaper &shaper,
                AudioWriter &writer, RenderVisualiser *visualiser, const OutputFile &out,
                BreakWatch &breaks)
{
    const uint32_t frameBytes = session.frameBytes();
    StatusLine status(stderr);
    uint64_t remaining = span.limit.value_or(std::numeric_limits<uint64_t>::max());
    Copied copied;
    while (remaining > 0) {
        if (breaks.arrived())
            interrupt(interruption(out));
        std::span<const uint8_t> block = session.decode();
        copied.streamEnded = block.empty();
        if (copied.streamEnded)
            break;
        uint64_t take = std::min<uint64_t>(block.size() / frameBytes, remaining);
        block = shaper.apply(block.first(static_cast<size_t>(take * frameBytes)));
        take = writer.write(block);
        block = block.first(static_cast<size_t>(take * frameBytes));
        if (visualiser != nullptr)
            visualiser->show(block);
        remaining -= take;
        copied.done += take;
        status.show(progressLine(ProgressLayout::Rendering,
                                 {copied.done, session.rate(), span.limit,
                                  session.durationKnown() ? session.durationMs() : 0}));
        if (writer.full())
            break;
    }
    return copied;
}

/* Says where the song fell short of the render: a file that ended early
 * (held fewer frames than it says), and a length promised by a header sent
 * ahead that is filled out with silence. Returns whether it ended early. */
bool reportShortEnd(const std::filesystem::path &file, const SongSpan &span,
                    std::optional<uint64_t> held, const Copied &copied, bool filledOut,
                    uint32_t rate)
{
    const bool endedEarly =
        copied.streamEnded && held &&
        span.start + copied.done < std::min(*held, span.limit.value_or(*held) + span.start);
    std::string ending;
    if (endedEarly)
        ending = "'" + file.string() +
                 "' ended early: " + std::to_string(span.start + copied.done) + " of " +
                 std::to_string(*held) + " frames";
    if (filledOut)
        ending += (endedEarly ? ""
                              : "'" + file.string() + "' ended at " +
                                    clockText(static_cast<double>(copied.done) / rate)) +
                  "; the rest of the length its header promised is silence";
    if (!ending.empty())
        reportError(ending);
    return endedEarly;
}

/* The writer and the output completed, and what happened to them said. */
int finishOutput(AudioWriter &writer, OutputFile &out, const PcmShaper &shaper,
                 const std::string &output, uint64_t done, uint32_t rate)
{
    writer.finish();
    out.commit();
    if (std::string clipping = shaper.clippingReport(); !clipping.empty())
        reportError("'" + output + "': " + clipping);
    if (!writer.full())
        return 0;
    reportError("stopped at " + clockText(static_cast<double>(done) / rate) + " (" +
                std::to_string(done) + " frames): " + writer.whyFull() + "; '" + output +
                "' is complete up to there");
    return kStatusCutShort;
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
    const SongSpan span = spanOf(session, options, file, breaks);
    WriterSetup setup{*job.format,
                      session.rate(),
                      session.channels(),
                      options.endian == "little" ? Endian::Little : Endian::Big,
                      {}};
    if (job.format->writer == FormatWriter::EncoderPlugin)
        setup.encoder =
            chosenEncoder != nullptr ? *chosenEncoder : encoderFor(plugins, *job.format);
    const std::optional<uint64_t> held = session.facts().framesHeld;
    const std::optional<uint64_t> expected = expectedFrames(file, session.frameBytes(), held, span);
    OutputFile out(output, job.format->writer != FormatWriter::Raw, [&] {
        if (breaks.arrived())
            interrupt("interrupted; no one opened '" + output +
                      "' for reading, and nothing was sent");
    });
    /* Streamed with its header ahead, a file has the whole length asked
     * for, filled out with silence if need be. */
    const std::optional<uint64_t> ahead = span.limit ? span.limit : expected;
    setup.frames = out.streamed() ? ahead : expected;
    const bool headerSentAhead = out.streamed() && ahead &&
                                 job.format->writer != FormatWriter::Raw &&
                                 sendHeaderAhead(setup, *ahead, out);
    std::unique_ptr<AudioWriter> writer = openAudioWriter(setup, out);
    /* Every output but --raw has the left side first. */
    PcmShaper shaper(options.shaping, session.channels(),
                     !options.raw && session.plugin().format().rightFirst);
    std::optional<RenderVisualiser> visualiser;
    if (!options.framesDir.empty() || (options.visualise && displayForVisualiser("the render")))
        visualiser.emplace(places, options, session);

    Copied copied =
        copySong(session, span, shaper, *writer, visualiser ? &*visualiser : nullptr, out, breaks);
    const bool filledOut = headerSentAhead && copied.done < *ahead && !writer->full();
    const bool endedEarly = reportShortEnd(file, span, held, copied, filledOut, session.rate());
    if (filledOut) {
        /* Hours of silence may be owed: Ctrl-C stays live meanwhile. */
        copied.done += writeSilence(*writer, *ahead - copied.done, session.channels(),
                                    [&breaks] { return breaks.arrived(); });
        if (breaks.arrived())
            interrupt(interruption(out));
    }
    if (visualiser)
        visualiser->finish();
    const int status = finishOutput(*writer, out, shaper, output, copied.done, session.rate());
    return status != 0 ? status : endedEarly ? kStatusCutShort : 0;
}

int render(const Places &places, const RenderOptions &options, const EncoderChoice *chosenEncoder)
{
    PluginSet plugins(places.pluginDir);
    const Inputs inputs = places.filesOrDemo(options.files, plugins, options.outputDir);
    std::vector<RenderJob> jobs = planJobs(inputs.files, options);
    if (!options.outputDir.empty()) {
        std::error_code error, ignored;
        std::filesystem::create_directories(options.outputDir, error);
        if (!std::filesystem::is_directory(options.outputDir, ignored))
            throw HostError("cannot write into '" + options.outputDir + "': " +
                            (std::filesystem::exists(options.outputDir, ignored)
                                 ? "it is not a folder"
                                 : error.message()));
    }
    BreakWatch breaks;
    /* A file that fails is reported, and the rest still go; one alone is
     * not named again. */
    const bool batch = jobs.size() > 1;
    const FilesDone done = eachFile(
        jobs.size(),
        [&](size_t index) {
            return FileOutcome{
                renderOne(places, plugins, options, jobs[index], chosenEncoder, breaks)};
        },
        Failures::FirstStays,
        batch ? [&jobs](size_t index) { return jobs[index].input.string(); }
              : std::function<std::string(size_t)>());
    if (done.failed > 0 && batch)
        reportError(std::to_string(done.failed) + " of " + std::to_string(jobs.size()) +
                    " files failed");
    return inputs.status(done.status);
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
