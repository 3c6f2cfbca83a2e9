/* Playing the host's part for OV_AIFF.ovplug in the tests: a stream driven
 * through the loaded plug-in, the encoder run as a host runs it, and files
 * in the temporary folder. */
#ifndef OV_TESTS_AIFF_HOST_H
#define OV_TESTS_AIFF_HOST_H

#include "support/aiff_file.h"
#include "support/plugin_host.h"

#include <algorithm>

namespace aifftest {

using Bytes = std::vector<uint8_t>;
inline const char *const kPluginFile = "OV_AIFF.ovplug";

inline std::string tempFile(const std::string &name, const Bytes &bytes)
{
    const std::string path = ovtest::tempPath(name);
    ovtest::writeFile(path, bytes);
    return path;
}

/* The bytes of frames [first, first + count) of interleaved 16-bit PCM. */
inline Bytes framesOf(const Bytes &pcm, uint32_t channels, size_t first, size_t count)
{
    return Bytes(pcm.begin() + static_cast<long>(first * channels * 2),
                 pcm.begin() + static_cast<long>((first + count) * channels * 2));
}

/* One stream record, driven as the host drives it; closed on destruction. */
class Stream {
public:
    explicit Stream(ovtest::Plugin &plugin) : plugin_(plugin) { s_->LoadMode = LOADMODE_BY_NAME; }
    ~Stream() { close(); }

    int32_t init() { return plugin_->InitPlayer(plugin_.iface(), s_.get()); }
    int32_t open(const std::string &path)
    {
        return plugin_->OpenPlayer(plugin_.iface(), path.c_str(), s_.get());
    }
    /* InitPlayer then OpenPlayer, as a host starts a stream. */
    bool start(const std::string &path) { return init() == 1 && open(path) == 1; }
    int32_t decode() { return plugin_->DecodeFramePlayer(plugin_.iface(), s_.get(), &hostArg_); }
    int32_t seek(uint32_t seconds)
    {
        return plugin_->SeekPlayer(plugin_.iface(), s_.get(), seconds);
    }
    void close() { plugin_->ClosePlayer(plugin_.iface(), s_.get()); }
    struct PlayerStream *operator->() const { return s_.get(); }

    /* The bytes of the frames the last decode delivered. */
    Bytes output(int32_t frames) const
    {
        const auto *bytes = static_cast<const uint8_t *>(s_->OutputBuffer);
        return Bytes(bytes, bytes + static_cast<size_t>(frames) * s_->Channels * 2);
    }
    /* Decodes until a call delivers nothing; the bytes, and the result of
     * each call (the last one being the call that delivered nothing). */
    Bytes decodeAll(std::vector<int32_t> *results = nullptr)
    {
        Bytes all;
        for (int32_t frames = 1; frames > 0;) {
            frames = decode();
            if (results != nullptr)
                results->push_back(frames);
            const Bytes block = output(std::max(frames, 0));
            all.insert(all.end(), block.begin(), block.end());
        }
        return all;
    }

private:
    ovtest::Plugin &plugin_;
    std::unique_ptr<struct PlayerStream> s_ = ovtest::newStream();
    int hostArg_ = 0;
};

/* An AIFF file as the host makes one with the encoder: the reported bytes
 * appended call by call, then the fix-ups written over them. */
inline Bytes encodeFile(ovtest::Plugin &plugin, uint32_t rate, uint8_t channels, const Bytes &pcm)
{
    Bytes file;
    struct EncoderStream encoder = {};
    struct EncoderFormat format = {.SampleRate = rate, .Channels = channels};
    EXPECT_EQ(plugin->InitEncoder(plugin.iface(), &encoder), 1);
    const auto *out =
        static_cast<uint8_t *>(plugin->OpenEncoder(plugin.iface(), &encoder, &format));
    const size_t frameBytes = channels * 2u, call = 4000 * frameBytes;
    for (size_t done = 0; out != nullptr && done < pcm.size(); done += call) {
        const auto frames = static_cast<uint32_t>(std::min(pcm.size() - done, call) / frameBytes);
        const int32_t bytes =
            plugin->EncodeFrameEncoder(plugin.iface(), &encoder, &pcm[done], frames);
        file.insert(file.end(), out, out + std::max(bytes, 0));
    }
    for (auto list = plugin->FinishEncoder(plugin.iface(), &encoder); list && *list; ++list)
        for (uint32_t i = 0; i < (*list)->ByteCount; i++)
            file.at((*list)->FileOffsetLow + i) =
                static_cast<uint8_t>((*list)->Value >> 8 * ((*list)->ByteCount - 1 - i));
    plugin->CloseEncoder(plugin.iface(), &encoder);
    return file;
}

} // namespace aifftest

#endif
