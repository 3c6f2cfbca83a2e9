#include "host/output/audio_writer.h"

#include "host/host_error.h"
#include "host/input/descriptor_text.h"
#include "host/input/plugins.h"
#include "host/output/encoder_session.h"
#include "host/output/sndfile_writer.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace orvane {

namespace {

/* The plug-ins' bytes as delivered, or with each sample's bytes swapped. */
class RawWriter : public AudioWriter {
public:
    RawWriter(Endian endian, uint32_t frameBytes, OutputFile &out)
        : endian_(endian), frameBytes_(frameBytes), out_(out)
    {}

    uint64_t write(std::span<const uint8_t> frames) override
    {
        if (endian_ == Endian::Big) {
            out_.append(frames);
        } else {
            swapped_.resize(frames.size());
            for (size_t i = 0; i + 1 < frames.size(); i += 2) {
                swapped_[i] = frames[i + 1];
                swapped_[i + 1] = frames[i];
            }
            out_.append(swapped_);
        }
        return frames.size() / frameBytes_;
    }
    void finish() override {}

private:
    Endian endian_;
    uint32_t frameBytes_;
    OutputFile &out_;
    std::vector<uint8_t> swapped_;
};

std::string upper(std::string_view text)
{
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return result;
}

} // namespace

EncoderChoice encoderFor(const PluginSet &plugins, const OutputFormat &format)
{
    for (const auto &plugin : plugins.plugins()) {
        if (!plugin->encodes())
            continue;
        const auto &info = reinterpret_cast<const struct EncoderPlayerInfo &>(plugin->info());
        if (fieldText(info.FormatText, sizeof info.FormatText) == format.name)
            return {plugin->iface(), plugin->name()};
    }
    throw HostError("no plug-in in '" + plugins.folder().string() + "' writes " +
                    upper(format.name) + " files (the formats are " + formatList() + ")");
}

std::optional<std::vector<uint8_t>> probedHeader(const WriterSetup &setup, uint64_t frames)
{
    OutputFile probe{HeadProbe{}};
    {
        std::unique_ptr<AudioWriter> writer = openAudioWriter(setup, probe);
        writeSilence(*writer, frames, setup.channels);
        writer->finish();
    }
    return probe.rewrittenHead();
}

bool sendHeaderAhead(const WriterSetup &setup, uint64_t frames, OutputFile &out)
{
    if (!setup.format.headerFromLength)
        return false;
    std::optional<std::vector<uint8_t>> head =
        setup.format.writer == FormatWriter::Sndfile
            ? sndfileHeaderFor(setup.format, setup.rate, setup.channels, frames)
            : probedHeader(setup, frames);
    if (!head)
        return false;
    out.sendAhead(std::move(*head));
    return true;
}

std::unique_ptr<AudioWriter> openAudioWriter(const WriterSetup &setup, OutputFile &out)
{
    switch (setup.format.writer) {
    case FormatWriter::EncoderPlugin:
        return std::make_unique<EncoderSession>(setup.encoder.iface, setup.encoder.name, setup.rate,
                                                setup.channels, out);
    case FormatWriter::Sndfile:
        return std::make_unique<SndfileWriter>(setup.format, setup.rate, setup.channels, out,
                                               setup.frames);
    case FormatWriter::Raw: break;
    }
    return std::make_unique<RawWriter>(setup.endian, setup.channels * 2, out);
}

} // namespace orvane
