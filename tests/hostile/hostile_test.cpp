/*
 * Damaged files through the host: every file of a corpus made here from the
 * real modules, a synthetic module and AIFF files is handed to `orvane info`
 * and `orvane render --seconds 2`. Each run must end by itself with success
 * or one clear line on standard error, never by a signal or a sanitizer
 * report, with nothing left allocated, and a failed render leaves no output
 * file behind.
 */
#include "orvane_run.h"
#include "platform/byteorder.h"
#include "support/aiff_file.h"
#include "tools/module_image.h"
#include "support/plugin_host.h"

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace {

struct HostileFile {
    std::string name;
    std::vector<uint8_t> bytes;
    bool unplayable = false; /* opens, but no frame can be delivered: every command refuses it */
};

void putBe16(std::vector<uint8_t> &bytes, size_t at, uint16_t value)
{
    if (at + 1 < bytes.size())
        ov_store_be16(&bytes[at], value);
}

/* Cuts at many lengths, including the ones where a reader's next field starts. */
void addTruncations(std::vector<HostileFile> &out, const HostileFile &base,
                    const std::vector<size_t> &lengths)
{
    for (size_t length : lengths) {
        if (length < base.bytes.size())
            out.push_back({base.name + "-cut" + std::to_string(length),
                           std::vector<uint8_t>(base.bytes.begin(),
                                                base.bytes.begin() + static_cast<long>(length))});
    }
}

void addBitFlips(std::vector<HostileFile> &out, const HostileFile &base, size_t from, size_t to,
                 int count, uint32_t seed)
{
    std::mt19937 random(seed);
    to = std::min(to, base.bytes.size());
    if (from >= to)
        return;
    for (int i = 0; i < count; i++) {
        HostileFile file = base;
        for (int flip = 0; flip < 4; flip++) {
            size_t at = from + random() % (to - from);
            file.bytes[at] ^= static_cast<uint8_t>(1u << (random() % 8));
        }
        file.name += "-flip" + std::to_string(seed) + "-" + std::to_string(i);
        out.push_back(std::move(file));
    }
}

int highestPattern(const std::vector<uint8_t> &module)
{
    int highest = 0;
    for (int i = 0; i < 128 && 952 + i < static_cast<int>(module.size()); i++)
        highest = std::max<int>(highest, module[952 + i]);
    return highest;
}

void addModuleDamage(std::vector<HostileFile> &out, const HostileFile &module)
{
    const size_t size = module.bytes.size();
    addTruncations(out, module, {0, 1, 20, 950, 1080, 1083, 1084, 1085, 2107, 2108, 5000,
                                 size / 2, size - 1});
    addBitFlips(out, module, 0, 1084, 6, 1);           /* header */
    addBitFlips(out, module, 1084, size, 6, 2);        /* patterns and samples */

    auto variant = [&](const std::string &what, auto &&change) {
        HostileFile file = module;
        file.name += "-" + what;
        change(file.bytes);
        out.push_back(std::move(file));
    };
    variant("songlength0", [](auto &b) { b[950] = 0; });
    variant("songlength255", [](auto &b) { b[950] = 255; });
    variant("restart255", [](auto &b) { b[951] = 255; });
    const int last = highestPattern(module.bytes);
    variant("orders-last", [&](auto &b) {
        for (int i = 0; i < 128; i++)
            b[952 + i] = static_cast<uint8_t>(last);
        b[950] = 128;
    });
    variant("orders-max", [](auto &b) {
        for (int i = 0; i < 128; i++)
            b[952 + i] = 127;
    });
    for (int field : {22, 26, 28}) {
        variant("samplefield" + std::to_string(field) + "-max", [&](auto &b) {
            for (int s = 0; s < 31; s++)
                putBe16(b, 20 + s * 30 + field, 0xFFFF);
        });
        variant("samplefield" + std::to_string(field) + "-zero", [&](auto &b) {
            for (int s = 0; s < 31; s++)
                putBe16(b, 20 + s * 30 + field, 0);
        });
    }
    variant("loops-past-end", [](auto &b) {
        for (int s = 0; s < 31; s++) {
            size_t header = 20 + s * 30;
            uint16_t lengthWords = ov_load_be16(&b[header + 22]);
            putBe16(b, header + 26, lengthWords);
            putBe16(b, header + 28, 0x7FFF);
        }
    });
    variant("volumes-finetunes-max", [](auto &b) {
        for (int s = 0; s < 31; s++) {
            b[20 + s * 30 + 24] = 0xFF;
            b[20 + s * 30 + 25] = 0xFF;
        }
    });
}

/* A module whose cells carry every command with hostile parameters. */
HostileFile everyEffectModule()
{
    ovtools::ModuleWriter writer;
    writer.title("every effect");
    writer.sample(1, ovtools::constantSample(64, 100), 64, 0, 2, 60);
    writer.sample(2, ovtools::constantSample(2, -100), 64, 15, 0, 0);
    writer.orders({0, 1, 0});
    std::mt19937 random(7);
    for (int pattern = 0; pattern < 2; pattern++) {
        for (int row = 0; row < 64; row++) {
            for (int channel = 0; channel < 4; channel++) {
                int effect = (row + channel) % 16;
                int param = static_cast<int>(random() % 256);
                int period = (random() % 3 == 0) ? 0 : static_cast<int>(random() % 4096);
                int sample = static_cast<int>(random() % 40);
                writer.cell(pattern, row, channel, period, sample, effect, param);
            }
        }
    }
    return {"every-effect.mod", writer.bytes()};
}

std::vector<HostileFile> hostileModules()
{
    std::vector<HostileFile> bases{everyEffectModule()};
    if (!ovtest::modsDir().empty()) {
        for (const char *name : {"area1-game.mod", "high-score.mod", "termigator_reg-zbb.mod"})
            bases.push_back({name, ovtest::readFile(ovtest::modsDir() + "/" + name)});
    }
    std::vector<HostileFile> out = bases;
    for (const auto &base : bases)
        addModuleDamage(out, base);
    return out;
}

std::vector<HostileFile> hostileAiffs()
{
    const uint32_t frames = 44100;
    HostileFile plain{"plain.aiff", ovtest::AiffFile()
                                        .chunk("NAME", "odd")
                                        .comm(2, frames, 16, 44100)
                                        .ssnd(ovtest::testPcm(frames, 2))
                                        .bytes()};
    std::vector<HostileFile> out{plain};
    addTruncations(out, plain, {0, 4, 11, 12, 16, 20, 24, 30, 38, 46, 50, 54, 58, 62, 1000,
                                plain.bytes.size() - 1});
    addBitFlips(out, plain, 0, 70, 8, 3);
    auto add = [&](const std::string &name, const ovtest::AiffFile &file, bool unplayable = false) {
        out.push_back({name + ".aiff", file.bytes(), unplayable});
    };
    const auto pcm = ovtest::testPcm(1000, 2);
    add("ssnd-before-comm", ovtest::AiffFile().ssnd(pcm).comm(2, 1000, 16, 44100));
    add("chunk-larger-than-file",
        ovtest::AiffFile().comm(2, 1000, 16, 44100).chunkDeclaring("ANNO", 0xFFFFFFF0u, {1, 2, 3}));
    add("ssnd-larger-than-file",
        ovtest::AiffFile().comm(2, 1000, 16, 44100).ssndDeclaring(0xFFFFFFFFu, pcm));
    add("ssnd-size-8", ovtest::AiffFile().comm(2, 1000, 16, 44100).ssndDeclaring(8, {}));
    add("comm-short", ovtest::AiffFile().chunkDeclaring("COMM", 11, {0, 2, 0, 0}).ssnd(pcm));
    add("channels-0", ovtest::AiffFile().comm(0, 1000, 16, 44100).ssnd(pcm));
    add("channels-max", ovtest::AiffFile().comm(0xFFFF, 0xFFFFFFFFu, 16, 44100).ssnd(pcm), true);
    add("channels-3", ovtest::AiffFile().comm(3, 1000, 16, 44100).ssnd(pcm), true);
    add("frames-max", ovtest::AiffFile().comm(2, 0xFFFFFFFFu, 16, 44100).ssnd(pcm));
    add("rate-0", ovtest::AiffFile().comm(2, 1000, 16, ovtest::extendedRaw(0, 0)).ssnd(pcm));
    add("rate-huge",
        ovtest::AiffFile().comm(2, 1000, 16, ovtest::extendedRaw(0x7FFF, ~0ull)).ssnd(pcm));
    add("rate-negative", ovtest::AiffFile()
                             .comm(2, 1000, 16, ovtest::extendedRaw(0xC00E, 0xAC44ull << 48))
                             .ssnd(pcm));
    add("rate-tiny",
        ovtest::AiffFile().comm(2, 1000, 16, ovtest::extendedRaw(0x0001, 1)).ssnd(pcm));
    add("bits-0", ovtest::AiffFile().comm(2, 1000, 0, 44100).ssnd(pcm), true);
    add("bits-8", ovtest::AiffFile().comm(2, 1000, 8, 44100).ssnd(pcm), true);
    add("bits-24", ovtest::AiffFile().comm(2, 1000, 24, 44100).ssnd(pcm), true);
    add("bits-max", ovtest::AiffFile().comm(2, 1000, 0xFFFF, 44100).ssnd(pcm), true);
    std::vector<uint8_t> hugeOffset;
    ovtest::appendU32(hugeOffset, 0xFFFFFFF0u); /* offset: far past the chunk */
    ovtest::appendU32(hugeOffset, 0);
    hugeOffset.insert(hugeOffset.end(), pcm.begin(), pcm.end());
    add("offset-huge", ovtest::AiffFile().comm(2, 1000, 16, 44100).chunkDeclaring(
                           "SSND", static_cast<uint32_t>(hugeOffset.size()), hugeOffset));
    add("aifc", ovtest::AiffFile().formType("AIFC").comm(2, 1000, 16, 44100).ssnd(pcm));
    add("no-ssnd", ovtest::AiffFile().comm(2, 1000, 16, 44100));
    add("empty-ssnd", ovtest::AiffFile().comm(2, 1000, 16, 44100).ssnd({}));
    add("odd-pcm", ovtest::AiffFile().comm(2, 1000, 16, 44100).ssnd(std::vector<uint8_t>(4001, 7)));
    return out;
}

bool clean(const hosttest::RunResult &run)
{
    return run.err.find("Sanitizer") == std::string::npos &&
           run.err.find("runtime error") == std::string::npos &&
           run.err.find("still allocated") == std::string::npos;
}

/* Exactly one line, for a refusal. */
bool oneLine(const std::string &text)
{
    return !text.empty() && text.find('\n') == text.size() - 1;
}

/* `reasons`: when given, a refused file's message must name one of them. */
void checkCorpus(const std::vector<HostileFile> &corpus, const std::string &suffix,
                 const std::vector<std::string> &reasons = {})
{
    const std::string folder = hosttest::freshFolder("hostile");
    /* A sanitizer report must not pass for the host's own failure status. */
    const std::string environment = "ASAN_OPTIONS=exitcode=86:detect_leaks=1 timeout -s KILL 60";
    int rendered = 0, refused = 0;
    for (const auto &file : corpus) {
        SCOPED_TRACE(file.name);
        const std::string path = folder + "/" + file.name + suffix;
        ovtest::writeFile(path, file.bytes);

        hosttest::RunResult info = hosttest::orvane({"info", path}, environment);
        EXPECT_TRUE(info.status == 0 || info.status == 1) << "status " << info.status << "\n"
                                                          << info.err;
        EXPECT_TRUE(clean(info)) << info.err;
        if (info.status != 0) {
            EXPECT_TRUE(oneLine(info.err)) << info.err;
            EXPECT_TRUE(reasons.empty() || std::any_of(reasons.begin(), reasons.end(),
                                                       [&](const std::string &reason) {
                                                           return info.err.find(reason) !=
                                                                  std::string::npos;
                                                       }))
                << "no reason given: " << info.err;
        }
        if (file.unplayable) {
            EXPECT_EQ(info.status, 1) << "described as playable";
            EXPECT_NE(info.out.find("playable: no"), std::string::npos) << info.out;
        }

        const std::string output = path + ".out.aiff";
        hosttest::RunResult render =
            hosttest::orvane({"render", path, "--seconds", "2", "-o", output}, environment);
        EXPECT_TRUE(render.status == 0 || render.status == 1)
            << "status " << render.status << "\n" << render.err;
        EXPECT_TRUE(clean(render)) << render.err;
        EXPECT_FALSE(file.unplayable && render.status == 0) << "rendered a file with no sound";
        if (render.status == 0) {
            rendered++;
            std::vector<uint8_t> written = ovtest::readFile(output);
            /* Success means sound: at least one frame after the header. */
            ASSERT_GT(written.size(), 54u);
            EXPECT_EQ(ov_load_be32(&written[4]), written.size() - 8) << "FORM size fixed up";
            EXPECT_EQ(ov_load_be32(&written[42]), written.size() - 46) << "SSND size fixed up";
        } else {
            refused++;
            EXPECT_TRUE(oneLine(render.err)) << render.err;
            EXPECT_FALSE(std::filesystem::exists(output)) << "a failed render left its output";
        }
        std::filesystem::remove(output);
        std::filesystem::remove(path);
    }
    std::printf("hostile files: %zu (rendered %d, refused %d)\n", corpus.size(), rendered, refused);
}

TEST(HostileFiles, DamagedModules)
{
    if (ovtest::modsDir().empty())
        std::printf("real modules not found (../shared/mods): synthetic module only\n");
    /* Named as modules, every refusal says what the loader found wrong. */
    checkCorpus(hostileModules(), ".mod", {"not a \"M.K.\" module", "shorter than its"});
}

TEST(HostileFiles, DamagedAiffFiles)
{
    checkCorpus(hostileAiffs(), "");
}

} // namespace
