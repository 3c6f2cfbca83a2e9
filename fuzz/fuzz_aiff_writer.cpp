/* Random formats, frame counts and call orders through OV_AIFF.ovplug's
 * encoder entry points. Every byte count the encoder reports must lie
 * inside the buffer it handed out. */
#include "fuzz_host.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <vector>

static struct OVPlugIFace *plugin;

/* The encoder's buffer as its first OpenEncoder reports it. */
static constexpr uint32 encoderBufferBytes = 193028;

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    plugin = ovfuzz::openPlugin("OV_AIFF.ovplug");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const uint32 allocations = ovTestLiveAllocations();
    FuzzedDataProvider input(data, size);
    EncoderStream encoder{};
    /* Room for the largest call the input can make (70000 frames of 255
     * channels), so a refused call is the plug-in's decision alone. */
    static const std::vector<uint8_t> samples(70000u * 255u * 2u, 0x5A);
    volatile uint8_t sink = 0;
    while (input.remaining_bytes() > 0) {
        switch (input.ConsumeIntegralInRange<int>(0, 5)) {
        case 0:
            /* A host initialises a record once; initialising it again
             * before closing would lose the first state by the host's
             * own doing. */
            if (encoder.State == nullptr)
                plugin->InitEncoder(plugin, &encoder);
            break;
        case 1: {
            EncoderFormat format{};
            format.SampleRate = input.ConsumeIntegral<uint32>();
            format.Channels = input.ConsumeIntegral<uint8>();
            format.MustBeZero = input.ConsumeBool() ? 0 : input.ConsumeIntegral<uint32>();
            plugin->OpenEncoder(plugin, &encoder, &format);
            break;
        }
        case 2: {
            const uint32 frames = input.ConsumeIntegralInRange<uint32>(0, 70000);
            int32 bytes = plugin->EncodeFrameEncoder(plugin, &encoder, samples.data(), frames);
            if (bytes < -1 || (bytes > 0 && static_cast<uint32>(bytes) > encoderBufferBytes))
                std::abort();
            break;
        }
        case 3: {
            struct EncoderFixup **fixups = plugin->FinishEncoder(plugin, &encoder);
            for (int i = 0; fixups != nullptr && fixups[i] != nullptr; i++)
                sink = sink + static_cast<uint8_t>(fixups[i]->Value);
            break;
        }
        case 4: plugin->CloseEncoder(plugin, &encoder); break;
        default:
            plugin->EncodeFrameEncoder(plugin, &encoder, samples.data(), 0);
            break;
        }
    }
    plugin->CloseEncoder(plugin, &encoder);
    plugin->CloseEncoder(plugin, &encoder);
    ovfuzz::requireNothingHeld(allocations, ovTestOpenFiles());
    return 0;
}
