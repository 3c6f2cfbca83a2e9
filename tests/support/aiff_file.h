/* Synthetic AIFF files for tests: any chunks in any order, odd sizes with
 * or without their pad byte, sizes that lie, any form type and any 80-bit
 * sample rate, so every well-formed and malformed header can be built, e.g.
 * AiffFile().chunk("NAME", "odd").comm(2, frames, 16, 44100).ssnd(pcm).bytes(). */
#ifndef OV_TESTS_SUPPORT_AIFF_FILE_H
#define OV_TESTS_SUPPORT_AIFF_FILE_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ovtest {

using Extended = std::array<uint8_t, 10>;

/* The normalised 80-bit extended value of a rate (0 is all zero bytes). */
Extended extendedRate(double hertz);
/* Any extended value from its parts: sign and exponent word, mantissa. */
Extended extendedRaw(uint16_t signAndExponent, uint64_t mantissa);

/* Big-endian signed 16-bit PCM, channels interleaved, different in every
 * sample and channel so a misplaced byte or frame shows. */
std::vector<uint8_t> testPcm(uint32_t frames, uint16_t channels, uint32_t seed = 1);

void appendU16(std::vector<uint8_t> &out, uint32_t value);

class AiffFile {
public:
    /* Bytes 8 to 11; "AIFF" unless changed ("AIFC" for a compressed file). */
    AiffFile &formType(const std::string &fourCC) { return formType_ = fourCC, *this; }

    /* A COMM chunk of 18 bytes; the rate normalised, or as given. */
    AiffFile &comm(uint16_t channels, uint32_t frames, uint16_t bits, double hertz)
    {
        return comm(channels, frames, bits, extendedRate(hertz));
    }
    AiffFile &comm(uint16_t channels, uint32_t frames, uint16_t bits, const Extended &rate);
    /* An SSND chunk: offset and block size fields, `offset` filler bytes,
     * then the sound bytes. */
    AiffFile &ssnd(const std::vector<uint8_t> &sound, uint32_t offset = 0, uint32_t blockSize = 0);
    /* An SSND chunk (offset and block size 0) whose size field says
     * `declaredSize` whatever the sound bytes that follow. */
    AiffFile &ssndDeclaring(uint32_t declaredSize, const std::vector<uint8_t> &sound);
    /* Any chunk with its true size; a pad byte follows odd data. */
    AiffFile &chunk(const std::string &id, const std::vector<uint8_t> &data);
    AiffFile &chunk(const std::string &id, const std::string &text)
    {
        return chunk(id, std::vector<uint8_t>(text.begin(), text.end()));
    }
    /* A chunk whose size field says `declaredSize`, followed by exactly
     * `data` (no pad byte is added). */
    AiffFile &chunkDeclaring(const std::string &id, uint32_t declaredSize,
                             const std::vector<uint8_t> &data);

    /* The whole file; the FORM size is the true size of what follows it. */
    std::vector<uint8_t> bytes() const;

private:
    std::string formType_ = "AIFF";
    std::vector<uint8_t> body_; /* everything after the 12-byte form header */
};

} // namespace ovtest

#endif
