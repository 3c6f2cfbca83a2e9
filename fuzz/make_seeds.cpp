/* Writes seed files for the fuzz targets: well-formed and odd AIFF files
 * from the tests' own writer and from OV_AIFF.ovplug's encoder, and
 * synthetic modules: ones that use every effect command and small fast ones.
 *   make_seeds OUTPUT_FOLDER */
#include "frame/ovplug.h"
#include "platform/platform.h"
#include "support/aiff_file.h"
#include "tools/module_image.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

void write(const std::filesystem::path &file, const std::vector<uint8_t> &bytes)
{
    std::filesystem::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary);
    out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> effectModule(int firstEffect)
{
    ovtools::ModuleWriter writer;
    writer.title("seed");
    writer.sample(1, ovtools::constantSample(64, 90), 64, 0, 8, 32);
    writer.sample(2, ovtools::constantSample(40, -60), 40, 9);
    writer.orders({0, 1});
    for (int row = 0; row < 64; row++) {
        for (int channel = 0; channel < 4; channel++) {
            const int effect = (firstEffect + row) % 16;
            const int param = effect == 14 ? ((row % 16) << 4) | (channel + 1) : (row * 7 + channel) & 0xFF;
            writer.cell(row % 2, row, channel, (row % 3) ? 428 - row : 0, (row % 5) ? 1 + channel % 2 : 0,
                        effect, param);
        }
    }
    return writer.bytes();
}

/* Small modules that play fast (speed 1 at the highest tempo: 428 samples
 * a row), so that the fuzz targets get through their songs several times
 * per input: an empty one, and one with notes on two positions. */
std::vector<uint8_t> fastModule(bool withNotes)
{
    ovtools::ModuleWriter writer;
    writer.title("fast");
    writer.cell(0, 0, 0, 0, 0, 0xF, 0x01);
    writer.cell(0, 0, 1, 0, 0, 0xF, 0xFF);
    if (!withNotes)
        return writer.bytes();
    writer.sample(1, ovtools::constantSample(32, 70), 48, 0, 8, 16);
    writer.sample(2, ovtools::constantSample(16, -40), 64, 3);
    writer.orders({0, 1});
    for (int row = 0; row < 64; row += 4)
        writer.cell(row / 32, row % 32 + 1, row / 4 % 4, 428 - row, 1 + row / 8 % 2);
    return writer.bytes();
}

/* An AIFF file as the plug-in's encoder writes it, with its fix-ups
 * applied the way the host applies them. */
std::vector<uint8_t> encodedAiff(uint32_t rate, uint8_t channels, uint32_t frames)
{
    struct ExecIFace *IExec = AbsExecBase->MainInterface;
    struct Library *base = IExec->OpenLibrary(IExec, "OV_AIFF.ovplug", 1);
    if (base == nullptr)
        return {};
    auto *plugin = reinterpret_cast<struct OVPlugIFace *>(IExec->GetInterface(IExec, base, "main", 1, nullptr));
    std::vector<uint8_t> file;
    struct EncoderStream encoder{};
    struct EncoderFormat format{};
    format.SampleRate = rate;
    format.Channels = channels;
    if (plugin != nullptr && plugin->InitEncoder(plugin, &encoder) == 1) {
        auto *buffer = static_cast<const uint8_t *>(plugin->OpenEncoder(plugin, &encoder, &format));
        const auto pcm = ovtest::testPcm(frames, channels);
        int32 bytes = buffer ? plugin->EncodeFrameEncoder(plugin, &encoder, pcm.data(), frames) : -1;
        struct EncoderFixup **fixups = bytes > 0 ? plugin->FinishEncoder(plugin, &encoder) : nullptr;
        if (fixups != nullptr) {
            file.assign(buffer, buffer + bytes);
            for (int i = 0; fixups[i] != nullptr; i++) {
                const uint32_t at = fixups[i]->FileOffsetLow;
                for (int b = 0; b < fixups[i]->ByteCount && at + b < file.size(); b++)
                    file[at + b] = static_cast<uint8_t>(fixups[i]->Value >> (8 * (fixups[i]->ByteCount - 1 - b)));
            }
        }
        plugin->CloseEncoder(plugin, &encoder);
    }
    IExec->DropInterface(IExec, reinterpret_cast<struct Interface *>(plugin));
    IExec->CloseLibrary(IExec, base);
    return file;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds OUTPUT_FOLDER\n");
        return 2;
    }
    const std::filesystem::path out = argv[1];
    for (int first = 0; first < 16; first += 4)
        write(out / "fuzz_module" / ("effects-" + std::to_string(first) + ".mod"), effectModule(first));
    write(out / "fuzz_module" / "fast-empty.mod", fastModule(false));
    write(out / "fuzz_module" / "fast-notes.mod", fastModule(true));

    const auto pcm = ovtest::testPcm(2000, 2);
    const auto mono = ovtest::testPcm(3000, 1);
    write(out / "fuzz_aiff_reader" / "stereo.aiff",
          ovtest::AiffFile().comm(2, 2000, 16, 44100).ssnd(pcm).bytes());
    write(out / "fuzz_aiff_reader" / "mono-22050.aiff",
          ovtest::AiffFile().comm(1, 3000, 16, 22050).ssnd(mono).bytes());
    write(out / "fuzz_aiff_reader" / "chunks.aiff",
          ovtest::AiffFile()
              .chunk("NAME", "odd")
              .chunk("ANNO", "an annotation")
              .comm(2, 2000, 16, 96000)
              .chunk("MARK", std::vector<uint8_t>{0, 0})
              .ssnd(pcm, 4, 0)
              .bytes());
    write(out / "fuzz_aiff_reader" / "ssnd-first.aiff",
          ovtest::AiffFile().ssnd(pcm).comm(2, 2000, 16, 44100).bytes());
    write(out / "fuzz_aiff_reader" / "eight-bit.aiff",
          ovtest::AiffFile().comm(1, 2000, 8, 8000).ssnd(std::vector<uint8_t>(2000, 1)).bytes());
    for (uint32_t rate : {8000u, 44100u, 96000u}) {
        const std::vector<uint8_t> encoded = encodedAiff(rate, rate == 8000 ? 1 : 2, 3000);
        if (!encoded.empty())
            write(out / "fuzz_aiff_reader" / ("encoder-" + std::to_string(rate) + ".aiff"), encoded);
    }
    return 0;
}
