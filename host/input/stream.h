/*
 * One file played through a plug-in: the stream record, the file image in
 * loading mode 2, and the calls Init, Open, Decode, Seek and Close in the
 * order the plug-ins rely on.
 */
#ifndef OV_HOST_STREAM_H
#define OV_HOST_STREAM_H

#include "host/input/plugins.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace orvane {

/* Bytes read from the start of a file to recognise it. */
constexpr size_t kRecogniseBytes = 4096;

class PlayerSession {
public:
    /* Recognises the file among the plug-ins, opens a stream on it and
     * decodes its first block. The file is read once: its head for the
     * recognising, and on into the same buffer only when the plug-in
     * wants the whole file in memory (so a pipe or a device works too).
     * Throws HostError when no plug-in recognises it or the plug-in
     * refuses to open it. A stream that delivers no frame at all is kept,
     * but not playable(). */
    PlayerSession(const PluginSet &plugins, const std::filesystem::path &file);
    /* Closes the stream, then lets go of the file image. */
    ~PlayerSession();
    PlayerSession(const PlayerSession &) = delete;
    PlayerSession &operator=(const PlayerSession &) = delete;

    LoadedPlugin &plugin() const { return *plugin_; }
    uint32_t loadMode() const { return record_->LoadMode; }
    uint32_t rate() const { return record_->SampleRate; }
    uint32_t channels() const { return record_->Channels; }
    /* Milliseconds; 0 when the plug-in cannot tell. */
    uint32_t durationMs() const { return record_->Duration; }
    bool durationKnown() const { return record_->Duration != 0 && !endless(); }
    /* The stream never ends by its plug-in's contract; any other ends when
     * its decode says so, whether or not its duration is known. */
    bool endless() const { return plugin_->format().endless; }
    /* The song's name: the name the file gives itself (a module's title),
     * else the file's name. */
    const std::string &title() const { return title_; }
    /* What the format's own reader found in the file as the stream opened. */
    const FileFacts &facts() const { return facts_; }
    /* The bytes read from the file: all of it in loading mode 2, its head
     * otherwise (sample data may since have been rewritten by the stream). */
    std::span<const uint8_t> image() const { return image_; }
    uint32_t frameBytes() const { return channels() * 2; }
    /* The first decode delivered audio. A stream that ends before its
     * first frame is a file the plug-in opens but cannot play. */
    bool playable() const { return whyUnplayable_.empty(); }
    const std::string &whyUnplayable() const { return whyUnplayable_; }
    /* Throws HostError naming the file and the reason unless playable(). */
    void requirePlayable() const;

    /* Decodes the next block; returns its big-endian frames, empty at the
     * end of the stream. */
    std::span<const uint8_t> decode();
    /* Moves to a whole second: the second, SEEKPLAYER_REFUSED when the
     * position is not valid, SEEKPLAYER_IMPOSSIBLE when the plug-in cannot
     * seek. */
    int32_t seek(uint32_t seconds);

    /* The file's bytes as read, before the plug-in could write into them:
     * kept for a stream that never ends and is held in memory (a module),
     * empty otherwise. */
    std::span<const uint8_t> originalImage() const { return original_; }
    /* Whether restart() can go back to the start: a stream held in memory
     * that never ends. */
    bool restartable() const { return !original_.empty(); }
    /* Closes the stream and opens it again on a fresh copy of the file, at
     * its start, so nothing one pass wrote into the image is heard in the
     * next. Throws HostError when the plug-in refuses it now. */
    void restart();
    /* Decodes and drops `frames` frames; the next decode() begins right
     * after them. Returns the frames dropped: fewer at the stream's end, or
     * when `stop` (asked before each block) says to stop. */
    uint64_t skip(uint64_t frames, const std::function<bool()> &stop = {});

    /* Where a seek by some seconds left the stream. */
    struct Seek {
        enum class Result { Moved, PastLimit, Refused, Impossible } result;
        uint64_t frame = 0; /* when Moved: the song frame the next decode() gives */
    };
    /* Moves `seconds` (back when negative) from song frame `from`, short of
     * `limit` frames when given: a restartable stream starts again and
     * decodes its way there (less far when `stop` says so), any other is
     * moved by its plug-in to a whole second, which may refuse the position
     * or seeking at all. Throws HostError as restart() does. */
    Seek seekBy(uint64_t from, int64_t seconds, std::optional<uint64_t> limit,
                const std::function<bool()> &stop = {});

private:
    std::span<const uint8_t> decodeBlock();
    /* Init and Open on record_; throws HostError (the stream closed) when
     * either fails or the format is unusable. */
    void open(const std::filesystem::path &file);

    LoadedPlugin *plugin_ = nullptr;
    /* The file's head; in mode 2 the whole file, which must outlive the
     * stream. */
    std::vector<uint8_t> image_;
    std::vector<uint8_t> original_;
    std::unique_ptr<struct PlayerStream> record_;
    std::string path_;
    FileFacts facts_;
    std::string title_;
    std::string whyUnplayable_;
    bool ended_ = false;
    bool firstBlockPending_ = false; /* decoded at the open, not yet handed out */
    size_t blockBytes_ = 0;          /* of the block in the output buffer */
    size_t pendingFrom_ = 0;         /* bytes of the pending block already taken */
};

} // namespace orvane

#endif
