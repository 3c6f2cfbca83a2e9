/* The descriptors both plug-ins announce, byte by byte, and the host
 * version thresholds. */
#include "platform/byteorder.h"
#include "support/plugin_host.h"

#include <cstring>

namespace {

const uint8 *bytesOf(const void *record) { return static_cast<const uint8 *>(record); }

uint32 wordAt(const void *record, size_t offset)
{
    uint32 value;
    std::memcpy(&value, bytesOf(record) + offset, sizeof value);
    return value;
}

/* A text field: the text, then zero bytes to the field's full width. */
void expectTextField(const char *field, size_t width, const char *text)
{
    ASSERT_LT(std::strlen(text), width);
    EXPECT_STREQ(field, text);
    for (size_t i = std::strlen(text); i < width; i++)
        ASSERT_EQ(field[i], 0) << "byte " << i << " of a " << width << "-byte field";
}

TEST(Descriptor, ProtrackerThresholdIs7600)
{
    ovtest::Plugin plugin("OV_PT.ovplug");
    ASSERT_TRUE(plugin.ok());
    EXPECT_EQ(plugin->AnnouncePlayer(plugin.iface(), 7599), nullptr);
    EXPECT_EQ(plugin->AnnouncePlayer(plugin.iface(), 0), nullptr);
    EXPECT_NE(plugin->AnnouncePlayer(plugin.iface(), 7600), nullptr);
    EXPECT_NE(plugin->AnnouncePlayer(plugin.iface(), 0xFFFFFFFFu), nullptr) << "compared unsigned";
}

TEST(Descriptor, AiffThresholdIs8000)
{
    ovtest::Plugin plugin("OV_AIFF.ovplug");
    ASSERT_TRUE(plugin.ok());
    EXPECT_EQ(plugin->AnnouncePlayer(plugin.iface(), 7999), nullptr);
    EXPECT_EQ(plugin->AnnouncePlayer(plugin.iface(), 7600), nullptr);
    EXPECT_NE(plugin->AnnouncePlayer(plugin.iface(), 8000), nullptr);
}

TEST(Descriptor, ProtrackerFields)
{
    ovtest::Plugin plugin("OV_PT.ovplug");
    ASSERT_TRUE(plugin.ok());
    const struct PlayerInfo *info = plugin->AnnouncePlayer(plugin.iface(), 10400);
    ASSERT_NE(info, nullptr);
    expectTextField(info->Name, 127, "Protracker");
    expectTextField(info->Description, 127, "Protracker Player");
    expectTextField(info->Extension, 33, "");
    /* author line, blank line, credit sentence */
    const char *author = info->Author;
    const char *blank = std::strstr(author, "\n\n");
    ASSERT_NE(blank, nullptr);
    EXPECT_GT(blank - author, 0);
    EXPECT_GT(std::strlen(blank + 2), 0u);
    EXPECT_LT(std::strlen(author), 127u);
    EXPECT_EQ(bytesOf(info)[offsetof(struct PlayerInfo, LoadMode)], 2);
    EXPECT_EQ(info->Flags, 0x00);
    EXPECT_EQ(info->PluginVersion, 10200u);
    EXPECT_EQ(info->InterfaceVersion, 10400u);
    EXPECT_EQ(offsetof(struct PlayerInfo, LoadMode), 414u) << "fields 127/127/127/33 wide";
}

TEST(Descriptor, AiffFieldsAndEncoderBlock)
{
    ovtest::Plugin plugin("OV_AIFF.ovplug");
    ASSERT_TRUE(plugin.ok());
    const struct PlayerInfo *info = plugin->AnnouncePlayer(plugin.iface(), 10400);
    ASSERT_NE(info, nullptr);
    expectTextField(info->Name, 127, "AIFF");
    expectTextField(info->Description, 127,
                    "Simple AIFF Player - (For use with CD Audio Discs under OS4)");
    expectTextField(info->Extension, 33, "aiff");
    EXPECT_NE(std::strstr(info->Author, "\n\n"), nullptr);
    EXPECT_EQ(info->LoadMode, 1);
    EXPECT_EQ(info->Flags, 0xC4);
    EXPECT_EQ(info->PluginVersion, 10400u);
    EXPECT_EQ(info->InterfaceVersion, 10400u);

    const auto *full = reinterpret_cast<const struct EncoderPlayerInfo *>(info);
    EXPECT_EQ(full->Options, &full->Quality);
    for (const struct EncoderOption *option : {&full->Quality, &full->Format}) {
        EXPECT_EQ(option->One, 1u);
        EXPECT_EQ(option->Zero[0] | option->Zero[1] | option->Zero[2], 0u);
    }
    EXPECT_EQ(full->Quality.Text, full->QualityText);
    expectTextField(full->QualityText, 32, "Match Decode Quality");
    EXPECT_EQ(full->Format.Text, full->FormatText);
    expectTextField(full->FormatText, 8, "aiff");
    for (uint8 byte : full->Reserved)
        ASSERT_EQ(byte, 0);
#if OV_ADDRESS_32
    /* On the 32-bit target the encoder block's addresses are those of its
     * own offsets: 424 -> 428, 444 -> 448, 496 -> 560. */
    const uintptr_t start = reinterpret_cast<uintptr_t>(info);
    EXPECT_EQ(wordAt(info, 424), start + 428);
    EXPECT_EQ(wordAt(info, 428), 1u);
    EXPECT_EQ(wordAt(info, 444), start + 448);
    EXPECT_EQ(wordAt(info, 480), 1u);
    EXPECT_EQ(wordAt(info, 496), start + 560);
    EXPECT_EQ(sizeof(struct EncoderPlayerInfo), 568u);
#else
    (void)wordAt;
#endif
}

TEST(StreamRecord, FieldsSitAtTheirOffsetsOnThe32BitTarget)
{
#if OV_ADDRESS_32
    EXPECT_EQ(offsetof(struct PlayerStream, PlayerHandle), 1300u);
    EXPECT_EQ(offsetof(struct PlayerStream, OutputBuffer), 1336u);
    EXPECT_EQ(offsetof(struct PlayerStream, Word1352), 1352u);
#else
    /* Wider machines: the same order, widths and values, with the address
     * fields at the machine's alignment. */
    EXPECT_LT(offsetof(struct PlayerStream, InfoText5), offsetof(struct PlayerStream, PlayerHandle));
    EXPECT_LT(offsetof(struct PlayerStream, OutputBufferPlus4), offsetof(struct PlayerStream, Word1344));
#endif
}

/* At an odd address too, and the same bytes on either byte order of the
 * machine: the shared helpers every layer reads and writes big-endian
 * fields and samples with. */
TEST(ByteOrder, BigEndianLoadsAndStoresAtAnyAlignment)
{
    const uint8 stored[7] = {0x00, 0xFF, 0xFE, 0x12, 0x34, 0x56, 0x78};
    EXPECT_EQ(ov_load_be16(stored + 1), 0xFFFEu);
    EXPECT_EQ(ov_load_be16_signed(stored + 1), -2);
    EXPECT_EQ(ov_load_be16_signed(stored + 3), 0x1234);
    EXPECT_EQ(ov_load_be32(stored + 3), 0x12345678u);
    EXPECT_EQ(ov_load_be32(stored + 1), 0xFFFE1234u);

    uint8 written[7] = {};
    ov_store_be16(written + 1, static_cast<uint32>(-2));
    ov_store_be32(written + 3, 0x12345678u);
    EXPECT_EQ(std::memcmp(written, stored, sizeof stored), 0);
    ov_store_be16(written + 1, 0xABCD1234u); /* only the low 16 bits */
    EXPECT_EQ(written[1], 0x12);
    EXPECT_EQ(written[2], 0x34);
    EXPECT_EQ(written[3], 0x12) << "the byte after is untouched";
}

} // namespace
