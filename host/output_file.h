/*
 * The file a render writes. It is written under a temporary name next to
 * the destination and renamed only when complete, so a failed render never
 * leaves a file that looks finished. "-" writes to standard output, and a
 * path that names a device or a pipe is written as it is; when the bytes
 * must be patched afterwards they are held until the end.
 */
#ifndef OV_HOST_OUTPUT_FILE_H
#define OV_HOST_OUTPUT_FILE_H

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace orvane {

class OutputFile {
public:
    /* Throws HostError when the file cannot be created. */
    OutputFile(const std::string &path, bool patchedLater);
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
    bool toStandardOutput() const { return fd_ == 1; }

private:
    [[noreturn]] void fail(const char *what) const;
    void writeAll(int fd, std::span<const uint8_t> bytes) const;

    std::string path_;
    std::string temporary_;
    int fd_ = -1;
    bool streamed_ = false; /* standard output, a device or a pipe: no rename, no seeking */
    bool held_ = false;     /* streamed and patched later: bytes kept here */
    std::vector<uint8_t> heldBytes_;
    uint64_t size_ = 0;
    bool committed_ = false;
};

} // namespace orvane

#endif
