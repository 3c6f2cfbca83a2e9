#include "host/input/stream.h"

#include "host/host_error.h"
#include "host/input/file_details.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <optional>
#include <utility>

namespace orvane {

namespace {

/* Largest block a plug-in's output buffer holds (the Protracker block of
 * 16384 stereo frames): a frame count beyond it is not believed. */
constexpr size_t kLargestBlockBytes = 65536;

/* A file handed over whole is read up to this size (far beyond any
 * module), so a device or a pipe cannot make the host read forever. */
constexpr size_t kLargestImage = size_t{1} << 30;

/* Why a stream delivered not a single frame, as far as the host can tell:
 * what the format's reader found when the stream opened, else the
 * contract's 16-bit samples (sample format 2) in the one or two channels
 * an output buffer holds. */
std::string noFramesReason(const std::string &who, const struct PlayerStream &record,
                           const FileFacts &facts)
{
    if (!facts.whyUnplayable.empty())
        return facts.whyUnplayable;
    if (record.Channels > 2)
        return std::to_string(record.Channels) + " channels; " + who +
               " plays mono and stereo files";
    return who + " delivers not one whole sample frame from it";
}

/* Opens the file for reading; throws HostError when it cannot be read. */
std::ifstream openInput(const std::filesystem::path &file)
{
    std::error_code error;
    if (std::filesystem::is_directory(file, error))
        throw HostError("cannot read " + quoted(file) + ": it is a folder");
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw HostError("cannot read " + quoted(file) + ": " + std::strerror(errno));
    return in;
}

/* Reads on from where `in` stands until `bytes` holds `limit` bytes or the
 * file ends; throws HostError on a read error. */
void readOn(std::ifstream &in, const std::filesystem::path &file, std::vector<uint8_t> &bytes,
            size_t limit)
{
    char chunk[65536];
    while (bytes.size() < limit && in) {
        size_t ask = std::min(sizeof chunk, limit - bytes.size());
        in.read(chunk, static_cast<std::streamsize>(ask));
        bytes.insert(bytes.end(), chunk, chunk + in.gcount());
    }
    if (in.bad())
        throw HostError("cannot read " + quoted(file) + ": " + std::strerror(errno));
}

/* What the loaded plug-ins play, by their descriptors' names:
 * "Protracker \"M.K.\" modules and AIFF files". */
std::string playedText(const PluginSet &plugins)
{
    std::string text;
    const auto &loaded = plugins.plugins();
    for (size_t i = 0; i < loaded.size(); i++) {
        if (i != 0)
            text += i + 1 == loaded.size() ? " and " : ", ";
        text += loaded[i]->name() + (loaded[i]->format().modules ? " \"M.K.\" modules" : " files");
    }
    return text;
}

/* Why no plug-in took the file: there are none, or, for a file named as a
 * module, what the module loader finds wrong with it; and how many plug-in
 * files of the folder could not be used, which might have taken it. */
std::string unrecognisedReason(const PluginSet &plugins, const std::filesystem::path &file,
                               std::span<const uint8_t> head)
{
    const size_t unusable = plugins.unusable().size();
    const std::string unloaded = unusable == 0
                                     ? std::string()
                                     : " (" + std::to_string(unusable) +
                                           (unusable == 1 ? " plug-in file" : " plug-in files") +
                                           " could not be loaded: see 'orvane plugins')";
    if (plugins.plugins().empty())
        return "no plug-ins found in '" + plugins.folder().string() + "'" + unloaded;
    std::string why = "no plug-in recognises this file";
    const bool modulesPlayed =
        std::any_of(plugins.plugins().begin(), plugins.plugins().end(),
                    [](const auto &plugin) { return plugin->format().modules; });
    if (const std::string what = otherFormat(head); !what.empty())
        why = "it is " + what + ", and no plug-in here plays that; this orvane plays " +
              playedText(plugins);
    else if (!modulesPlayed && hasModuleTag(head))
        why += ": it looks like a Protracker \"M.K.\" module, and no plug-in in '" +
               plugins.folder().string() + "' plays modules";
    else if (namedAsModule(file))
        why += ": " + moduleRefusal(head);
    return quoted(file) + ": " + why + unloaded;
}

/* A plug-in that reads its file by name opens it a second time, which gives
 * the bytes again only when it is a regular file (a folder is refused when
 * it is opened). Throws HostError for a pipe, a device or a socket. */
void requireReadableAgain(const LoadedPlugin &plugin, const std::filesystem::path &file)
{
    using Type = std::filesystem::file_type;
    std::error_code error;
    const Type type = std::filesystem::status(file, error).type();
    const char *what = type == Type::fifo                               ? "a pipe"
                       : type == Type::character || type == Type::block ? "a device"
                       : type == Type::socket                           ? "a socket"
                                                                        : nullptr;
    if (what != nullptr)
        throw HostError(quoted(file) + " is " + what + ", not a regular file: the " +
                        plugin.name() +
                        " plug-in opens its file again by name, and what was read from it "
                        "cannot be read again (save it to a file first)");
}

} // namespace

PlayerSession::PlayerSession(const PluginSet &plugins, const std::filesystem::path &file)
    : record_(std::make_unique<struct PlayerStream>()), path_(file.string())
{
    Recognised found;
    {
        std::ifstream in = openInput(file);
        readOn(in, file, image_, kRecogniseBytes);
        found = plugins.recognise(image_);
        if (found.plugin == nullptr)
            throw HostError(unrecognisedReason(plugins, file, image_));
        plugin_ = found.plugin;
        record_->LoadMode = found.loadMode;
        if (found.loadMode == LOADMODE_IN_MEMORY) {
            /* Of a module, only what the replay can ever read: nothing
             * past it is heard, and junk behind a module costs no memory. */
            const Format &format = plugin_->format();
            const size_t reach = format.reach != nullptr ? format.reach(image_) : 0;
            readOn(in, file, image_, reach != 0 ? reach : kLargestImage + 1);
            if (image_.size() > kLargestImage)
                throw HostError(quoted(file) + ": too large to load into memory");
            record_->FileData = image_.data();
            record_->FileSize = static_cast<int32>(image_.size());
        } else if (found.loadMode == LOADMODE_BY_NAME) {
            requireReadableAgain(*plugin_, file);
        } else {
            throw HostError(quoted(file) + ": the " + plugin_->name() +
                            " plug-in asks for loading mode " + std::to_string(found.loadMode) +
                            ", which this host does not know");
        }
    }
    const Format &format = plugin_->format();
    if (found.loadMode == LOADMODE_IN_MEMORY && format.endless)
        original_ = image_;
    open(file);
    const std::string who = "the " + plugin_->name() + " plug-in";
    if (format.describe != nullptr)
        facts_ = format.describe(image_, file, who);
    title_ = facts_.title.empty() ? file.filename().string() : facts_.title;
    firstBlockPending_ = !decodeBlock().empty();
    if (!firstBlockPending_)
        whyUnplayable_ = noFramesReason(who, *record_, facts_);
}

void PlayerSession::open(const std::filesystem::path &file)
{
    struct OVPlugIFace *iface = plugin_->iface();
    bool ready = iface->InitPlayer(iface, record_.get()) == 1 &&
                 iface->OpenPlayer(iface, path_.c_str(), record_.get()) == 1;
    if (!ready) {
        iface->ClosePlayer(iface, record_.get());
        record_.reset();
        const Format &format = plugin_->format();
        std::string why = format.refusal != nullptr ? format.refusal(image_) : std::string();
        throw HostError(quoted(file) + ": the " + plugin_->name() +
                        " plug-in cannot open this file" + (why.empty() ? "" : ": " + why));
    }
    if (rate() == 0 || channels() == 0) {
        iface->ClosePlayer(iface, record_.get());
        record_.reset();
        throw HostError(quoted(file) + ": the " + plugin_->name() +
                        " plug-in reports no sample rate or no channels");
    }
}

void PlayerSession::restart()
{
    if (!restartable())
        return;
    plugin_->iface()->ClosePlayer(plugin_->iface(), record_.get());
    const uint32_t loadMode = record_->LoadMode;
    record_ = std::make_unique<struct PlayerStream>();
    record_->LoadMode = loadMode;
    image_ = original_;
    record_->FileData = image_.data();
    record_->FileSize = static_cast<int32>(image_.size());
    ended_ = false;
    firstBlockPending_ = false;
    pendingFrom_ = 0;
    open(path_);
}

uint64_t PlayerSession::skip(uint64_t frames, const std::function<bool()> &stop)
{
    uint64_t skipped = 0;
    while (skipped < frames && !(stop && stop())) {
        std::span<const uint8_t> block = decode();
        if (block.empty())
            break;
        uint64_t take = std::min<uint64_t>(block.size() / frameBytes(), frames - skipped);
        skipped += take;
        if (take * frameBytes() < block.size()) {
            /* The rest of this block is what comes next. */
            pendingFrom_ = static_cast<size_t>(blockBytes_ - block.size() + take * frameBytes());
            firstBlockPending_ = true;
        }
    }
    return skipped;
}

PlayerSession::Seek PlayerSession::seekBy(uint64_t from, int64_t seconds,
                                          std::optional<uint64_t> limit,
                                          const std::function<bool()> &stop)
{
    if (restartable()) {
        /* Nothing one pass wrote into the image is heard in the next. */
        const uint64_t target = static_cast<uint64_t>(
            std::max<int64_t>(static_cast<int64_t>(from) + seconds * rate(), 0));
        if (limit && target >= *limit)
            return {Seek::Result::PastLimit};
        restart();
        return {Seek::Result::Moved, skip(target, stop)};
    }
    const int64_t now = static_cast<int64_t>(from / rate());
    const int32_t second = seek(static_cast<uint32_t>(std::max<int64_t>(now + seconds, 0)));
    if (second == SEEKPLAYER_IMPOSSIBLE)
        return {Seek::Result::Impossible};
    if (second < 0)
        return {Seek::Result::Refused};
    return {Seek::Result::Moved, static_cast<uint64_t>(second) * rate()};
}

void PlayerSession::requirePlayable() const
{
    if (!playable())
        throw HostError("'" + path_ + "' is not playable: " + whyUnplayable_);
}

PlayerSession::~PlayerSession()
{
    if (record_ != nullptr)
        plugin_->iface()->ClosePlayer(plugin_->iface(), record_.get());
}

std::span<const uint8_t> PlayerSession::decode()
{
    if (firstBlockPending_) {
        firstBlockPending_ = false;
        size_t from = std::exchange(pendingFrom_, 0);
        return {static_cast<const uint8_t *>(record_->OutputBuffer) + from, blockBytes_ - from};
    }
    return decodeBlock();
}

std::span<const uint8_t> PlayerSession::decodeBlock()
{
    if (ended_)
        return {};
    struct OVPlugIFace *iface = plugin_->iface();
    /* The AIFF plug-in wants a non-null argument; nothing reads it. */
    int32 frames = iface->DecodeFramePlayer(iface, record_.get(), record_.get());
    if (frames <= 0) {
        ended_ = true;
        return {};
    }
    blockBytes_ = std::min(static_cast<size_t>(frames) * frameBytes(),
                           kLargestBlockBytes / frameBytes() * frameBytes());
    return {static_cast<const uint8_t *>(record_->OutputBuffer), blockBytes_};
}

int32_t PlayerSession::seek(uint32_t seconds)
{
    int32 result = plugin_->iface()->SeekPlayer(plugin_->iface(), record_.get(), seconds);
    if (result >= 0) {
        ended_ = false;
        firstBlockPending_ = false;
    }
    return result;
}

} // namespace orvane
