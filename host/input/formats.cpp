#include "host/input/formats.h"

#include "host/input/file_details.h"

#include <algorithm>
#include <array>
#include <cstdarg>
#include <cstdio>

namespace orvane {

namespace {

/* printf into a string. */
__attribute__((format(printf, 1, 2))) std::string printed(const char *format, ...)
{
    va_list args, again;
    va_start(args, format);
    va_copy(again, args);
    const int length = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string text(length > 0 ? static_cast<size_t>(length) : 0, '\0');
    std::vsnprintf(text.data(), text.size() + 1, format, again);
    va_end(again);
    return text;
}

/* Stored text as a terminal shows it safely: bytes outside printable ASCII
 * as spaces, no spaces around it. */
std::string printable(const std::string &text)
{
    std::string out;
    for (char byte : text) {
        auto c = static_cast<unsigned char>(byte);
        out += (c >= 0x20 && c < 0x7F) ? byte : ' ';
    }
    const size_t first = out.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    return out.substr(first, out.find_last_not_of(' ') - first + 1);
}

std::string moduleText(const ModuleDetails &module)
{
    const size_t withSound = static_cast<size_t>(
        std::count_if(module.samples.begin(), module.samples.end(),
                      [](const ModuleSample &sample) { return sample.length != 0; }));
    std::string text = printed("  tracks:   %u\n", module.channels) +
                       printed("  speed:    %u (after row 0)\n", module.speed) +
                       printed("  tempo:    %u (after row 0)\n", module.tempo) +
                       printed("  orders:   %u\n", module.songLength) +
                       printed("  restart:  %u\n", module.restart) +
                       printed("  patterns: %u\n", module.patterns) +
                       printed("  samples:  %zu with sound (*)\n", withSound);
    text += printed("     #  %-22s  %6s  %10s  %11s  %6s  %8s\n", "name", "length", "loop start",
                    "loop length", "volume", "finetune");
    for (const ModuleSample &sample : module.samples)
        text +=
            printed("   %c%2u  %-22s  %6u  %10u  %11u  %6u  %8d\n", sample.length != 0 ? '*' : ' ',
                    sample.number, printable(sample.name).c_str(), sample.length, sample.loopStart,
                    sample.loopLength, sample.volume, sample.finetune);
    return text;
}

/* A module as the replayer library's loader reads it. */
FileFacts describeModule(std::span<const uint8_t> image, const std::filesystem::path &,
                         const std::string &)
{
    FileFacts facts;
    if (std::optional<ModuleDetails> module = readModuleDetails(image)) {
        facts.title = printable(module->title);
        facts.details = moduleText(*module);
        facts.module = module;
    }
    return facts;
}

/* An AIFF file as the AIFF reader sees it. */
FileFacts describeAiff(std::span<const uint8_t>, const std::filesystem::path &file,
                       const std::string &player)
{
    FileFacts facts;
    if (std::optional<AiffDetails> aiff = readAiffDetails(file)) {
        facts.details =
            printed("  bits:     %u\n", aiff->bits) + printed("  frames:   %u\n", aiff->frames);
        facts.aiff = aiff;
        facts.whyUnplayable = aiff->whyUnplayable(player);
        if (const uint32_t frameBytes = aiff->channels * (aiff->bits / 8); frameBytes != 0)
            facts.framesHeld = aiff->soundBytes / frameBytes;
    }
    return facts;
}

constexpr std::array kFormats{
    Format{"Protracker", true, true, true, moduleReach, moduleRefusal, describeModule,
           moduleFrames},
    Format{"AIFF", false, false, false, nullptr, nullptr, describeAiff, nullptr},
};

constexpr Format kUnknown{};

} // namespace

const Format &formatOf(std::string_view plugin)
{
    auto row = std::find_if(kFormats.begin(), kFormats.end(),
                            [&](const Format &format) { return format.plugin == plugin; });
    return row != kFormats.end() ? *row : kUnknown;
}

} // namespace orvane
