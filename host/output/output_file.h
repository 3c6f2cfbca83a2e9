/*
 * The file a render writes. It is written under a hidden temporary name
 * next to the destination and renamed only when complete, so a failed
 * render never leaves a file that looks finished and an earlier file stays
 * as it was until then. A file that is replaced keeps its mode (and, where
 * allowed, its owner); one the user could not write is refused; a symbolic
 * link is written through, the file it leads to being replaced. SIGTERM,
 * SIGHUP and SIGQUIT (and SIGINT, unless Ctrl-C is watched for as a break)
 * remove the temporary file before the process ends by them.
 *
 * "-" writes to standard output, and a path that names a device or a pipe
 * is written as it is; when the bytes must be patched afterwards they are
 * held until the end, unless the bytes the patches will leave are known
 * beforehand (sendAhead).
 *
 * What it writes to is one of four kinds of destination, each a type of
 * its own behind one interface: a renamed file (on a disk, through its
 * temporary), a streamed file (standard output, a device or a pipe,
 * possibly with its header sent ahead), a held stream (the same, held for
 * patching) and a head probe (nowhere).
 */
#ifndef OV_HOST_OUTPUT_FILE_H
#define OV_HOST_OUTPUT_FILE_H

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace orvane {

/* Tag of an OutputFile that writes nothing anywhere: it keeps the first
 * bytes of what is written to it and learns which of them are rewritten. */
struct HeadProbe {};

class OutputFile {
public:
    /* Throws HostError when the file cannot be created. A pipe that no
     * one reads yet is waited for, calling `whileWaiting` now and then
     * (which may throw to give up). */
    OutputFile(const std::string &path, bool patchedLater,
               const std::function<void()> &whileWaiting = {});
    explicit OutputFile(HeadProbe);
    /* Without commit(): removes what was written. */
    ~OutputFile();
    OutputFile(const OutputFile &) = delete;
    OutputFile &operator=(const OutputFile &) = delete;

    void append(std::span<const uint8_t> bytes);
    /* Overwrites bytes already written. */
    void patch(uint64_t offset, std::span<const uint8_t> bytes);
    /* Writes at any offset up to the end: overwrites what is there and
     * appends the rest (for writers that seek back, like libsndfile). */
    void writeAt(uint64_t offset, std::span<const uint8_t> bytes);
    /* Finishes the file under its real name. */
    void commit();
    uint64_t size() const { return size_; }
    /* Standard output, a device or a pipe: written in order, never reread. */
    bool streamed() const;
    /* Held for patching and grown to kHeldLimit: a writer stops taking
     * audio then and finishes the file, whose last bytes are still held. */
    bool heldFull() const;
    /* The most a file streamed to a pipe but patched at its end (FLAC, MP3)
     * is held in memory before the render stops: 1 GiB, a quarter of that
     * in a 32-bit address space. */
    static constexpr uint64_t kHeldLimit = uint64_t{1} << (sizeof(size_t) >= 8 ? 30 : 28);
    /* Bytes that have left for a streamed file (none while held). */
    uint64_t sentBytes() const;
    /* "standard output" or the name in quotes, for messages. */
    std::string name() const;

    /* Of a HeadProbe: the start of the file up to the end of the last byte
     * any patch rewrote, as it stands now; nullopt when a patch went past
     * what a probe keeps. */
    std::optional<std::vector<uint8_t>> rewrittenHead() const;
    /* Of a streamed file held for patching: streams from now on, with
     * `head` (a probe's rewrittenHead) sent in place of the first bytes,
     * in one write with the first bytes after it; a later patch must
     * leave exactly those bytes (HostError if not). */
    void sendAhead(std::vector<uint8_t> head);

    /* What the bytes go to; one kind per type (output_file.cpp). */
    class Destination;

private:
    std::string path_;
    std::unique_ptr<Destination> to_;
    uint64_t size_ = 0;
};

} // namespace orvane

#endif
