#include "host/input/file_details.h"

#include "aiff/aiff_reader.h"
#include "platform/dos.h"
#include "platform/platform.h"
#include "protracker/replayer.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <iterator>
#include <limits>
#include <memory>

namespace orvane {

namespace {

std::string printable(const char *text, size_t limit)
{
    std::string out;
    for (size_t i = 0; i < limit && text[i] != 0; i++) {
        auto c = static_cast<unsigned char>(text[i]);
        out += (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : ' ';
    }
    size_t first = out.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    return out.substr(first, out.find_last_not_of(' ') - first + 1);
}

/* The tag bytes as text, any byte outside printable ASCII as \xNN. */
std::string tagText(const struct pt_module_check &check)
{
    std::string text;
    for (uint32_t i = 0; i < check.tag_bytes; i++) {
        uint8_t c = check.tag[i];
        if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
            text += static_cast<char>(c);
        } else {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
            text += escaped;
        }
    }
    return text;
}

int32_t imageSize(std::span<const uint8_t> image)
{
    return image.size() > INT32_MAX ? INT32_MAX : static_cast<int32_t>(image.size());
}

struct StateRelease {
    void operator()(struct pt_state *state) const
    {
        ovExecInterface()->FreeVec(ovExecInterface(), state);
    }
};

/* The state points into the image, so the copy lives beside it. */
struct LoadedModule {
    std::vector<uint8_t> image;
    std::unique_ptr<struct pt_state, StateRelease> state;
};

LoadedModule loadCopy(std::span<const uint8_t> image, uint32_t rate = 44100)
{
    LoadedModule module{{image.begin(), image.end()}, nullptr};
    if (!module.image.empty())
        module.state.reset(pt_init(module.image.data(), imageSize(module.image),
                                   static_cast<int32>(rate), ovExecInterface()));
    return module;
}

} // namespace

std::optional<ModuleDetails> readModuleDetails(std::span<const uint8_t> image)
{
    LoadedModule module = loadCopy(image);
    if (module.state == nullptr)
        return std::nullopt;
    const struct pt_module_info info = pt_get_module_info(module.state.get());
    ModuleDetails details;
    details.title = printable(info.title, sizeof info.title);
    details.songLength = static_cast<uint32_t>(info.orders);
    details.patterns = static_cast<uint32_t>(info.patterns);
    for (uint32_t i = 0; i < std::size(info.samples); i++) {
        const struct pt_sample_info &sample = info.samples[i];
        if (sample.length == 0)
            continue;
        details.samples.push_back({i + 1, printable(sample.name, sizeof sample.name),
                                   static_cast<uint32_t>(sample.length),
                                   static_cast<uint32_t>(sample.loop_start),
                                   static_cast<uint32_t>(sample.loop_length),
                                   static_cast<uint32_t>(sample.volume), sample.finetune});
    }
    return details;
}

std::string moduleRefusal(std::span<const uint8_t> image)
{
    const struct pt_module_check check =
        pt_check_module(image.empty() ? nullptr : image.data(), imageSize(image));
    switch (check.verdict) {
    case PT_MODULE_NO_SIGNATURE:
        if (check.tag_bytes < 4)
            return "not a \"M.K.\" module: " + std::to_string(check.size) +
                   " bytes end before its tag at byte " + std::to_string(PT_FILE_SIGNATURE);
        return "not a \"M.K.\" module: its tag is \"" + tagText(check) + "\"";
    case PT_MODULE_TOO_SHORT:
        return std::to_string(check.needed - check.size) +
               (check.needed - check.size == 1 ? " byte" : " bytes") + " shorter than its " +
               std::to_string(check.patterns) + (check.patterns == 1 ? " pattern" : " patterns") +
               " and samples need (" + std::to_string(check.size) + " of " +
               std::to_string(check.needed) + " bytes)";
    default: return {};
    }
}

size_t moduleReach(std::span<const uint8_t> head)
{
    const struct pt_module_check check =
        pt_check_module(head.empty() ? nullptr : head.data(), imageSize(head));
    return check.verdict == PT_MODULE_NO_SIGNATURE ? 0 : check.reach;
}

bool hasModuleTag(std::span<const uint8_t> head)
{
    return pt_has_signature(head.empty() ? nullptr : head.data(),
                            static_cast<uint32>(imageSize(head)));
}

bool namedAsModule(const std::filesystem::path &file)
{
    std::string name = file.filename().string();
    for (char &c : name)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return name.starts_with("mod.") || (name.size() > 4 && name.ends_with(".mod"));
}

std::optional<uint64_t> moduleFrames(std::span<const uint8_t> image, uint32_t rate, uint32_t passes,
                                     uint64_t limit)
{
    if (image.empty() || !hasModuleTag(image))
        return std::nullopt;
    /* The invert loop writes into the image the scan runs over. */
    LoadedModule module = loadCopy(image, rate);
    if (module.state == nullptr)
        return std::nullopt;
    const int64 samples = pt_song_samples(
        module.state.get(), static_cast<int32>(passes),
        static_cast<int64>(std::min<uint64_t>(limit, std::numeric_limits<int64>::max())),
        ovExecInterface());
    if (samples < 0)
        return std::nullopt;
    return static_cast<uint64_t>(samples);
}

std::string AiffDetails::whyUnplayable(const std::string &player) const
{
    if (bits != 16)
        return std::to_string(bits) + "-bit samples; " + player + " plays 16-bit files";
    if (channels == 0 || channels > 2)
        return std::to_string(channels) + " channels; " + player + " plays mono and stereo files";
    if (rate == 0)
        return "no sample rate; " + player + " needs one";
    if (soundBytes < channels * 2)
        return player + " delivers not one whole sample frame from it";
    return {};
}

std::optional<AiffDetails> readAiffDetails(const std::filesystem::path &file)
{
    /* Opened a second time by name: a pipe or a device would not give the
     * same bytes again. */
    std::error_code error;
    if (!std::filesystem::is_regular_file(file, error))
        return std::nullopt;
    struct ExecIFace *IExec = ovExecInterface();
    struct Library *dosBase = IExec->OpenLibrary(IExec, "dos.library", 50);
    if (dosBase == nullptr)
        return std::nullopt;
    auto *IDOS = reinterpret_cast<struct DOSIFace *>(
        IExec->GetInterface(IExec, dosBase, "main", 1, nullptr));
    std::optional<AiffDetails> details;
    struct aiff_description aiff {};
    if (IDOS != nullptr) {
        if (aiff_describe(IExec, IDOS, file.c_str(), &aiff))
            details = AiffDetails{aiff.sample_rate, aiff.num_channels, aiff.sample_size,
                                  aiff.num_frames, aiff.sound_bytes};
        IExec->DropInterface(IExec, reinterpret_cast<struct Interface *>(IDOS));
    }
    IExec->CloseLibrary(IExec, dosBase);
    return details;
}

} // namespace orvane
