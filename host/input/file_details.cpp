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
#include <string_view>

namespace orvane {

namespace {

std::string stored(const char *text, size_t limit)
{
    return {text, std::find(text, text + limit, '\0')};
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
    details.title = stored(info.title, sizeof info.title);
    details.songLength = static_cast<uint32_t>(info.orders);
    details.patterns = static_cast<uint32_t>(info.patterns);
    details.channels = PT_CHANNELS;
    details.restart = static_cast<uint32_t>(info.restart);
    pt_read_row(module.state.get());
    details.speed = module.state->speed;
    details.tempo = module.state->tempo;
    for (uint32_t i = 0; i < std::size(info.samples); i++) {
        const struct pt_sample_info &sample = info.samples[i];
        details.samples.push_back(
            {i + 1, stored(sample.name, sizeof sample.name), static_cast<uint32_t>(sample.length),
             static_cast<uint32_t>(sample.loop_start), static_cast<uint32_t>(sample.loop_length),
             static_cast<uint32_t>(sample.volume), sample.finetune});
    }
    return details;
}

std::string otherFormat(std::span<const uint8_t> head)
{
    struct Signature {
        size_t at;
        std::string_view tag;
        const char *what;
    };
    static constexpr Signature kSignatures[] = {
        {0, "Extended Module:", "an XM module (FastTracker 2)"},
        {44, "SCRM", "an S3M module (Scream Tracker 3)"},
        {0, "IMPM", "an IT module (Impulse Tracker)"},
        {0, "MMD0", "a MED module (MMD0)"},
        {0, "MMD1", "an OctaMED module (MMD1)"},
        {0, "MMD2", "an OctaMED module (MMD2)"},
        {0, "MMD3", "an OctaMED module (MMD3)"},
        {PT_FILE_SIGNATURE, "M!K!", "a Protracker module of more than 64 patterns (\"M!K!\")"},
        {PT_FILE_SIGNATURE, "FLT4", "a StarTrekker module (\"FLT4\")"},
        {PT_FILE_SIGNATURE, "FLT8", "an 8-channel StarTrekker module (\"FLT8\")"},
        {PT_FILE_SIGNATURE, "4CHN", "a 4-channel FastTracker module (\"4CHN\")"},
        {PT_FILE_SIGNATURE, "6CHN", "a 6-channel FastTracker module (\"6CHN\")"},
        {PT_FILE_SIGNATURE, "8CHN", "an 8-channel FastTracker module (\"8CHN\")"},
        {PT_FILE_SIGNATURE, "CD81", "an 8-channel Octalyser module (\"CD81\")"},
        {PT_FILE_SIGNATURE, "OKTA", "an 8-channel Oktalyzer module (\"OKTA\")"},
    };
    auto holds = [&](size_t at, std::string_view tag) {
        return head.size() >= at + tag.size() &&
               std::equal(tag.begin(), tag.end(), head.begin() + static_cast<ptrdiff_t>(at));
    };
    for (const Signature &signature : kSignatures)
        if (holds(signature.at, signature.tag))
            return signature.what;
    /* "10CH" to "32CH": FastTracker's modules of more channels. */
    if (holds(PT_FILE_SIGNATURE + 2, "CH")) {
        const uint8_t tens = head[PT_FILE_SIGNATURE], ones = head[PT_FILE_SIGNATURE + 1];
        if (std::isdigit(tens) && std::isdigit(ones) && tens != '0') {
            const std::string count{static_cast<char>(tens), static_cast<char>(ones)};
            return "a " + count + "-channel FastTracker module (\"" + count + "CH\")";
        }
    }
    return {};
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
