/* Playing the host's part for OV_AIFF.ovplug in the tests: a stream driven
 * through the loaded plug-in, the encoder run as a host runs it, files in
 * the temporary folder, and running the real tools. */
#ifndef OV_TESTS_AIFF_HOST_H
#define OV_TESTS_AIFF_HOST_H

#include "support/aiff_file.h"
#include "support/plugin_host.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace aifftest {

inline const char *const kPluginFile = "OV_AIFF.ovplug";
constexpr uint32_t kFramesPerDecode = 8192;

/* Writes bytes to a fresh temporary file and returns its path. */
std::string tempFile(const std::string &name, const std::vector<uint8_t> &bytes);

/* One stream record, driven as the host drives it; closed on destruction. */
class Stream {
public:
    explicit Stream(ovtest::Plugin &plugin);
    ~Stream();
    Stream(const Stream &) = delete;
    Stream &operator=(const Stream &) = delete;

    int32_t init();
    int32_t open(const std::string &path); /* OpenPlayer alone */
    /* InitPlayer then OpenPlayer, as a host starts a stream: true when both succeed. */
    bool start(const std::string &path);
    int32_t decode();
    int32_t seek(uint32_t seconds);
    void close();

    struct PlayerStream *record() const { return record_.get(); }
    struct PlayerStream *operator->() const { return record_.get(); }
    /* The bytes of the frames the last decode delivered. */
    std::vector<uint8_t> output(int32_t frames) const;
    /* Decodes until a call delivers nothing; the bytes, and the count of
     * each call (the last one being the call that delivered nothing). */
    std::vector<uint8_t> decodeAll(std::vector<int32_t> *counts = nullptr);

private:
    ovtest::Plugin &plugin_;
    std::unique_ptr<struct PlayerStream> record_;
    int hostArg_ = 0;
};

/* Opens a file as a stream and decodes all of it; empty when it does not open. */
std::vector<uint8_t> playFile(ovtest::Plugin &plugin, const std::string &path);

/* An AIFF file as the host makes one with the encoder: the reported bytes
 * appended call by call, then the fix-ups written over them. */
struct Encoded {
    std::vector<uint8_t> file;
    std::vector<int32_t> reported;
};
Encoded encodeFile(ovtest::Plugin &plugin, uint32_t rate, uint8_t channels,
                   const std::vector<uint8_t> &pcm, uint32_t framesPerCall);

/* A shell command's exit status and what it wrote. */
#define OV_REQUIRE_SOX()                                                                       \
    do {                                                                                       \
        if (!::ovtest::soxAvailable())                                                       \
            GTEST_SKIP() << "sox not available";                                               \
    } while (0)
/* sox's own decoding of a file: big-endian signed 16-bit frames. */
std::vector<uint8_t> soxDecode(const std::string &path, std::string *warnings = nullptr);

} // namespace aifftest

#endif
