/* Writes seed files for the fuzz targets with the tests' own writers:
 * well-formed and odd AIFF files, and synthetic modules that use every
 * effect command.   make_seeds OUTPUT_FOLDER */
#include "support/aiff_file.h"
#include "support/module_writer.h"

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
    ovtest::ModuleWriter writer;
    writer.title("seed");
    writer.sample(1, ovtest::constantSample(64, 90), 64, 0, 8, 32);
    writer.sample(2, ovtest::constantSample(40, -60), 40, 9);
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
    return 0;
}
