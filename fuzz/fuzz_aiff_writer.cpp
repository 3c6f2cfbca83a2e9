/* Input bytes as a series of calls to OV_AIFF.ovplug's encoder entry points:
 * each call is one byte that picks the entry point, then its arguments,
 * big-endian, from the bytes that follow (zero once the input runs out). */
#include "fuzz_host.h"

#include <vector>

static struct OVPlugIFace *plugin;

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    plugin = ovfuzz::openPlugin("OV_AIFF.ovplug");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const ovfuzz::NothingHeld nothingHeld;
    const uint8_t *const end = data + size;
    auto take = [&](int bytes) {
        uint32 value = 0;
        for (; bytes > 0; bytes--)
            value = value << 8 | (data < end ? *data++ : 0);
        return value;
    };
    /* Room for the largest call (65535 frames of 255 channels): a refusal is the plug-in's. */
    static const std::vector<uint8_t> samples(65535u * 255u * 2u, 0x5A);
    EncoderStream encoder{};
    EncoderFormat format{};
    while (data < end) {
        switch (take(1) % 5) {
        case 0:
            /* A second init before the close would lose the state by the host's doing. */
            if (encoder.State == nullptr)
                plugin->InitEncoder(plugin, &encoder);
            break;
        case 1:
            format.SampleRate = take(4);
            format.Channels = static_cast<uint8>(take(1));
            format.MustBeZero = take(1) & 1 ? take(4) : 0;
            plugin->OpenEncoder(plugin, &encoder, &format);
            break;
        case 2: {
            const int32 bytes =
                plugin->EncodeFrameEncoder(plugin, &encoder, samples.data(), take(2));
            ovfuzz::require(bytes >= -1 && bytes <= 193028 /* the buffer */,
                            "encoded bytes fit the buffer");
            break;
        }
        case 3: {
            struct EncoderFixup **fixups = plugin->FinishEncoder(plugin, &encoder);
            for (int i = 0; fixups != nullptr && fixups[i] != nullptr; i++)
                ovfuzz::require(fixups[i]->ByteCount == 4 && fixups[i]->FileOffsetHigh == 0 &&
                                    fixups[i]->FileOffsetLow <= 50,
                                "a fix-up writes one word into the header");
            break;
        }
        default: plugin->CloseEncoder(plugin, &encoder);
        }
    }
    plugin->CloseEncoder(plugin, &encoder);
    plugin->CloseEncoder(plugin, &encoder);
    return 0;
}
