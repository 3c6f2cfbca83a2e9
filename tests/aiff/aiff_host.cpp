#include "aiff_host.h"

#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace aifftest {

std::string tempFile(const std::string &name, const std::vector<uint8_t> &bytes)
{
    const std::string path = ovtest::tempPath(name);
    ovtest::writeFile(path, bytes);
    return path;
}

Stream::Stream(ovtest::Plugin &plugin) : plugin_(plugin), record_(ovtest::newStream())
{
    record_->LoadMode = LOADMODE_BY_NAME;
}

Stream::~Stream() { close(); }

int32_t Stream::init() { return plugin_->InitPlayer(plugin_.iface(), record_.get()); }

int32_t Stream::open(const std::string &path)
{
    return plugin_->OpenPlayer(plugin_.iface(), path.c_str(), record_.get());
}

bool Stream::start(const std::string &path) { return init() == 1 && open(path) == 1; }

int32_t Stream::decode()
{
    return plugin_->DecodeFramePlayer(plugin_.iface(), record_.get(), &hostArg_);
}

int32_t Stream::seek(uint32_t seconds)
{
    return plugin_->SeekPlayer(plugin_.iface(), record_.get(), seconds);
}

void Stream::close() { plugin_->ClosePlayer(plugin_.iface(), record_.get()); }

std::vector<uint8_t> Stream::output(int32_t frames) const
{
    const auto *bytes = static_cast<const uint8_t *>(record_->OutputBuffer);
    return std::vector<uint8_t>(bytes, bytes + static_cast<size_t>(frames) * record_->Channels * 2);
}

std::vector<uint8_t> Stream::decodeAll(std::vector<int32_t> *counts)
{
    std::vector<uint8_t> all;
    for (;;) {
        const int32_t frames = decode();
        if (counts != nullptr)
            counts->push_back(frames);
        if (frames <= 0)
            return all;
        const auto block = output(frames);
        all.insert(all.end(), block.begin(), block.end());
    }
}

std::vector<uint8_t> playFile(ovtest::Plugin &plugin, const std::string &path)
{
    Stream stream(plugin);
    if (!stream.start(path))
        return {};
    return stream.decodeAll();
}

Encoded encodeFile(ovtest::Plugin &plugin, uint32_t rate, uint8_t channels,
                   const std::vector<uint8_t> &pcm, uint32_t framesPerCall)
{
    Encoded result;
    struct EncoderStream encoder = {};
    struct EncoderFormat format = {};
    format.SampleRate = rate;
    format.Channels = channels;
    if (plugin->InitEncoder(plugin.iface(), &encoder) != 1)
        return result;
    const auto *out = static_cast<const uint8_t *>(
        plugin->OpenEncoder(plugin.iface(), &encoder, &format));
    const size_t frameBytes = static_cast<size_t>(channels) * 2;
    const size_t totalFrames = pcm.size() / frameBytes;
    for (size_t done = 0; out != nullptr && done < totalFrames;) {
        const auto frames = static_cast<uint32_t>(std::min<size_t>(framesPerCall, totalFrames - done));
        const int32_t bytes = plugin->EncodeFrameEncoder(plugin.iface(), &encoder,
                                                         pcm.data() + done * frameBytes, frames);
        result.reported.push_back(bytes);
        if (bytes < 0)
            break;
        result.file.insert(result.file.end(), out, out + bytes);
        done += frames;
    }
    if (out != nullptr && totalFrames == 0) {
        const int32_t bytes = plugin->EncodeFrameEncoder(plugin.iface(), &encoder, nullptr, 0);
        result.reported.push_back(bytes);
        result.file.insert(result.file.end(), out, out + bytes);
    }
    struct EncoderFixup **fixups = plugin->FinishEncoder(plugin.iface(), &encoder);
    for (; fixups != nullptr && *fixups != nullptr; ++fixups) {
        const struct EncoderFixup &fixup = **fixups;
        const uint64_t at = (static_cast<uint64_t>(fixup.FileOffsetHigh) << 32) | fixup.FileOffsetLow;
        for (uint32_t i = 0; i < fixup.ByteCount && at + i < result.file.size(); i++)
            result.file[at + i] = static_cast<uint8_t>(fixup.Value >> (8 * (fixup.ByteCount - 1 - i)));
    }
    plugin->CloseEncoder(plugin.iface(), &encoder);
    return result;
}

std::vector<uint8_t> soxDecode(const std::string &path, std::string *warnings)
{
    const ovtest::CommandResult result = ovtest::runCommand(
        "sox " + ovtest::shellQuote(path) + " -t raw -e signed-integer -b 16 -B -");
    if (warnings != nullptr)
        *warnings = result.err;
    if (result.status != 0)
        return {};
    return std::vector<uint8_t>(result.out.begin(), result.out.end());
}

} // namespace aifftest
