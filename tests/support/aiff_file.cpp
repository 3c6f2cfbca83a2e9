#include "aiff_file.h"

#include "platform/byteorder.h"

#include <cmath>

namespace ovtest {

namespace {

void appendId(std::vector<uint8_t> &out, const std::string &fourCC)
{
    out.insert(out.end(), fourCC.begin(), fourCC.end());
}

void appendU32(std::vector<uint8_t> &out, uint32_t value)
{
    out.resize(out.size() + 4);
    ov_store_be32(&out[out.size() - 4], value);
}

/* SSND data: offset and block size fields, `offset` filler bytes, the sound. */
std::vector<uint8_t> ssndData(const std::vector<uint8_t> &sound, uint32_t offset,
                              uint32_t blockSize)
{
    std::vector<uint8_t> data;
    appendU32(data, offset);
    appendU32(data, blockSize);
    data.insert(data.end(), offset, 0xEE);
    data.insert(data.end(), sound.begin(), sound.end());
    return data;
}

} // namespace

void appendU16(std::vector<uint8_t> &out, uint32_t value)
{
    out.resize(out.size() + 2);
    ov_store_be16(&out[out.size() - 2], value);
}

Extended extendedRaw(uint16_t signAndExponent, uint64_t mantissa)
{
    Extended value{};
    ov_store_be16(&value[0], signAndExponent);
    ov_store_be32(&value[2], static_cast<uint32_t>(mantissa >> 32));
    ov_store_be32(&value[6], static_cast<uint32_t>(mantissa));
    return value;
}

Extended extendedRate(double hertz)
{
    if (hertz == 0)
        return Extended{};
    int exponent = 0;
    const double fraction = std::frexp(std::fabs(hertz), &exponent); /* [0.5, 1) */
    const auto mantissa = static_cast<uint64_t>(std::ldexp(fraction, 64));
    const uint16_t sign = hertz < 0 ? 0x8000 : 0;
    return extendedRaw(static_cast<uint16_t>(sign | (16383 + exponent - 1)), mantissa);
}

std::vector<uint8_t> testPcm(uint32_t frames, uint16_t channels, uint32_t seed)
{
    std::vector<uint8_t> pcm;
    uint32_t state = seed * 2654435761u + 12345u;
    for (uint32_t frame = 0; frame < frames; frame++) {
        for (uint16_t channel = 0; channel < channels; channel++) {
            state = state * 1664525u + 1013904223u;
            appendU16(pcm, state >> 16);
        }
    }
    return pcm;
}

AiffFile &AiffFile::comm(uint16_t channels, uint32_t frames, uint16_t bits, const Extended &rate)
{
    std::vector<uint8_t> data;
    appendU16(data, channels);
    appendU32(data, frames);
    appendU16(data, bits);
    data.insert(data.end(), rate.begin(), rate.end());
    return chunk("COMM", data);
}

AiffFile &AiffFile::ssnd(const std::vector<uint8_t> &sound, uint32_t offset, uint32_t blockSize)
{
    return chunk("SSND", ssndData(sound, offset, blockSize));
}

AiffFile &AiffFile::ssndDeclaring(uint32_t declaredSize, const std::vector<uint8_t> &sound)
{
    return chunkDeclaring("SSND", declaredSize, ssndData(sound, 0, 0));
}

AiffFile &AiffFile::chunk(const std::string &id, const std::vector<uint8_t> &data)
{
    chunkDeclaring(id, static_cast<uint32_t>(data.size()), data);
    if (data.size() % 2 != 0)
        body_.push_back(0);
    return *this;
}

AiffFile &AiffFile::chunkDeclaring(const std::string &id, uint32_t declaredSize,
                                   const std::vector<uint8_t> &data)
{
    appendId(body_, id);
    appendU32(body_, declaredSize);
    body_.insert(body_.end(), data.begin(), data.end());
    return *this;
}

std::vector<uint8_t> AiffFile::bytes() const
{
    std::vector<uint8_t> file;
    appendId(file, "FORM");
    appendU32(file, static_cast<uint32_t>(4 + body_.size()));
    appendId(file, formType_);
    file.insert(file.end(), body_.begin(), body_.end());
    return file;
}

} // namespace ovtest
