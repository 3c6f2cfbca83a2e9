/*
 * The player plug-in contract: the interface "main" that the host drives by
 * slot position, and the records that cross between host and plug-in.
 *
 * Records use the machine's byte order and pointer width. On a 32-bit
 * machine every offset is the contract's own, checked below; on wider
 * machines the address fields grow and the layout follows the machine.
 * PCM in every buffer is big-endian signed 16-bit on every machine.
 */
#ifndef OV_FRAME_OVPLUG_H
#define OV_FRAME_OVPLUG_H

#include "../platform/byteorder.h" /* the PCM helpers of both sides */
#include "../platform/exec.h"

/* ---- descriptor ------------------------------------------------------ */

#define PLAYERINFO_NAME_LEN 127
#define PLAYERINFO_AUTHOR_LEN 127
#define PLAYERINFO_DESCRIPTION_LEN 127
#define PLAYERINFO_EXTENSION_LEN 33

/* LoadMode values: how the host hands the file over */
#define LOADMODE_BY_NAME 1   /* the plug-in opens the file itself */
#define LOADMODE_IN_MEMORY 2 /* the host reads the whole file into FileData */

struct PlayerInfo {
    char Name[PLAYERINFO_NAME_LEN];
    char Author[PLAYERINFO_AUTHOR_LEN];
    char Description[PLAYERINFO_DESCRIPTION_LEN];
    char Extension[PLAYERINFO_EXTENSION_LEN];
    uint8 LoadMode;
    uint8 Flags;
    uint32 PluginVersion;
    uint32 InterfaceVersion;
};

/* One entry of an encoding plug-in's option list (for the host only). */
struct EncoderOption {
    uint32 One;
    uint32 Zero[3];
    const char *Text;
};

/* The descriptor of a plug-in that also encodes: the player descriptor
 * followed by the encoder block. */
struct EncoderPlayerInfo {
    struct PlayerInfo Player;
    const struct EncoderOption *Options; /* -> Quality */
    struct EncoderOption Quality;        /* Text -> QualityText */
    char QualityText[32];                /* "Match Decode Quality" */
    struct EncoderOption Format;         /* Text -> FormatText */
    uint8 Reserved[60];
    char FormatText[8]; /* "aiff" */
};

/* ---- per-stream record ----------------------------------------------- */

#define PLAYERSTREAM_INFOTEXT_LEN 255

/* SampleFormat values: what the frames in OutputBuffer are made of */
#define SAMPLEFORMAT_SIGNED_16 2 /* signed 16-bit samples, the only format */

struct PlayerStream {
    uint32 HostWord0;
    uint32 HostWord4;
    APTR FileData;  /* mode 2: the whole file image */
    int32 FileSize; /* mode 2: bytes at FileData */
    uint32 HostWord16;
    uint32 LoadMode;
    char InfoText1[PLAYERSTREAM_INFOTEXT_LEN];
    char InfoText2[PLAYERSTREAM_INFOTEXT_LEN];
    char InfoText3[PLAYERSTREAM_INFOTEXT_LEN];
    char InfoText4[PLAYERSTREAM_INFOTEXT_LEN];
    char InfoText5[PLAYERSTREAM_INFOTEXT_LEN];
    APTR PlayerHandle; /* the plug-in's state for this stream */
    uint32 SampleFormat;
    uint32 SampleRate;
    uint32 Channels;
    uint32 HostWord1316;
    uint32 Duration; /* milliseconds; 0 when unknown */
    uint32 Word1324;
    uint32 HostWord1328;
    uint32 HostWord1332;
    APTR OutputBuffer;
    APTR OutputBufferPlus4;
    uint32 Word1344;
    uint32 Word1348;
    uint32 Word1352;
};

/* ---- encoder records ------------------------------------------------- */

struct EncoderStream {
    APTR State; /* the encoder's private state; 0 when there is none */
};

struct EncoderFormat {
    uint32 SampleRate;
    uint16 HostWord4;
    uint8 Channels;
    uint8 HostByte7;
    uint32 MustBeZero;
};

/* One header fix-up: write ByteCount bytes of Value (big-endian) at
 * FileOffset of the output file. */
struct EncoderFixup {
    uint32 FileOffsetHigh;
    uint32 FileOffsetLow;
    uint16 ByteCount;
    uint16 Zero10;
    uint32 Value;
    uint32 Zero16;
};

/* ---- the interface "main" -------------------------------------------- */

struct OVPlugIFace;

typedef uint32 (*OVPlugObtainFn)(struct OVPlugIFace *Self);
typedef uint32 (*OVPlugReleaseFn)(struct OVPlugIFace *Self);
typedef const struct PlayerInfo *(*AnnouncePlayerFn)(struct OVPlugIFace *Self, uint32 hostVersion);
typedef int32 (*InitPlayerFn)(struct OVPlugIFace *Self, struct PlayerStream *stream);
typedef int32 (*OpenPlayerFn)(struct OVPlugIFace *Self, CONST_STRPTR fileName,
                              struct PlayerStream *stream);
typedef void (*ClosePlayerFn)(struct OVPlugIFace *Self, struct PlayerStream *stream);
typedef int32 (*DecodeFramePlayerFn)(struct OVPlugIFace *Self, struct PlayerStream *stream,
                                     APTR hostArg);
typedef void (*ExitPlayerFn)(struct OVPlugIFace *Self);
typedef int32 (*TestPlayerFn)(struct OVPlugIFace *Self, APTR hostArg, CONST_APTR data,
                              uint32 length);
typedef int32 (*SeekPlayerFn)(struct OVPlugIFace *Self, struct PlayerStream *stream,
                              uint32 seconds);
typedef uint32 (*DoNotifyFn)(struct OVPlugIFace *Self);
typedef int32 (*InitEncoderFn)(struct OVPlugIFace *Self, struct EncoderStream *encoder);
typedef APTR (*OpenEncoderFn)(struct OVPlugIFace *Self, struct EncoderStream *encoder,
                              const struct EncoderFormat *format);
typedef int32 (*EncodeFrameEncoderFn)(struct OVPlugIFace *Self, struct EncoderStream *encoder,
                                      CONST_APTR samples, uint32 frames);
typedef uint32 (*CloseEncoderFn)(struct OVPlugIFace *Self, struct EncoderStream *encoder);
typedef struct EncoderFixup **(*FinishEncoderFn)(struct OVPlugIFace *Self,
                                                 struct EncoderStream *encoder);

/* SeekPlayer results besides the second reached (0 or more) */
#define SEEKPLAYER_REFUSED (-1)    /* the position is not valid for this stream */
#define SEEKPLAYER_IMPOSSIBLE (-2) /* the stream cannot be positioned at all */

/* Slot numbers, in table order. */
enum OVPlugSlot {
    OVPLUG_SLOT_OBTAIN = 0,
    OVPLUG_SLOT_RELEASE = 1,
    OVPLUG_SLOT_EXPUNGE = 2,
    OVPLUG_SLOT_CLONE = 3,
    OVPLUG_SLOT_ANNOUNCE_PLAYER = 4,
    OVPLUG_SLOT_INIT_PLAYER = 5,
    OVPLUG_SLOT_OPEN_PLAYER = 6,
    OVPLUG_SLOT_CLOSE_PLAYER = 7,
    OVPLUG_SLOT_DECODE_FRAME_PLAYER = 8,
    OVPLUG_SLOT_EXIT_PLAYER = 9,
    OVPLUG_SLOT_TEST_PLAYER = 10,
    OVPLUG_SLOT_SEEK_PLAYER = 11,
    OVPLUG_SLOT_DO_NOTIFY = 12,
    OVPLUG_SLOT_INIT_ENCODER = 13,
    OVPLUG_SLOT_OPEN_ENCODER = 14,
    OVPLUG_SLOT_ENCODE_FRAME_ENCODER = 15,
    OVPLUG_SLOT_CLOSE_ENCODER = 16,
    OVPLUG_SLOT_FINISH_ENCODER = 17,
    OVPLUG_PLAYER_SLOTS = 13, /* a player-only table ends here */
    OVPLUG_ENCODER_SLOTS = 18
};

/* The interface as the host sees it. A player-only plug-in's interface ends
 * after DoNotify: its encoder members must not be read. */
struct OVPlugIFace {
    struct InterfaceData Data;
    OVPlugObtainFn Obtain;
    OVPlugReleaseFn Release;
    APTR Expunge;
    APTR Clone;
    AnnouncePlayerFn AnnouncePlayer;
    InitPlayerFn InitPlayer;
    OpenPlayerFn OpenPlayer;
    ClosePlayerFn ClosePlayer;
    DecodeFramePlayerFn DecodeFramePlayer;
    ExitPlayerFn ExitPlayer;
    TestPlayerFn TestPlayer;
    SeekPlayerFn SeekPlayer;
    DoNotifyFn DoNotify;
    InitEncoderFn InitEncoder;
    OpenEncoderFn OpenEncoder;
    EncodeFrameEncoderFn EncodeFrameEncoder;
    CloseEncoderFn CloseEncoder;
    FinishEncoderFn FinishEncoder;
};

/* ---- layout checks on the 32-bit target -------------------------------- */

#if OV_ADDRESS_32
static_assert(offsetof(struct PlayerInfo, Author) == 127, "Author at 127");
static_assert(offsetof(struct PlayerInfo, Description) == 254, "Description at 254");
static_assert(offsetof(struct PlayerInfo, Extension) == 381, "Extension at 381");
static_assert(offsetof(struct PlayerInfo, LoadMode) == 414, "LoadMode at 414");
static_assert(offsetof(struct PlayerInfo, Flags) == 415, "Flags at 415");
static_assert(offsetof(struct PlayerInfo, PluginVersion) == 416, "PluginVersion at 416");
static_assert(offsetof(struct PlayerInfo, InterfaceVersion) == 420, "InterfaceVersion at 420");
static_assert(sizeof(struct PlayerInfo) == 424, "PlayerInfo is 424 bytes");
static_assert(offsetof(struct EncoderPlayerInfo, Options) == 424, "encoder block at 424");
static_assert(offsetof(struct EncoderPlayerInfo, Quality) == 428, "first option at 428");
static_assert(offsetof(struct EncoderPlayerInfo, Quality.Text) == 444, "first text pointer at 444");
static_assert(offsetof(struct EncoderPlayerInfo, QualityText) == 448, "first text at 448");
static_assert(offsetof(struct EncoderPlayerInfo, Format) == 480, "second option at 480");
static_assert(offsetof(struct EncoderPlayerInfo, Format.Text) == 496, "second text pointer at 496");
static_assert(offsetof(struct EncoderPlayerInfo, Reserved) == 500, "reserved at 500");
static_assert(offsetof(struct EncoderPlayerInfo, FormatText) == 560, "second text at 560");
static_assert(sizeof(struct EncoderPlayerInfo) == 568, "AIFF descriptor is 568 bytes");

static_assert(offsetof(struct PlayerStream, FileData) == 8, "FileData at 8");
static_assert(offsetof(struct PlayerStream, FileSize) == 12, "FileSize at 12");
static_assert(offsetof(struct PlayerStream, LoadMode) == 20, "LoadMode at 20");
static_assert(offsetof(struct PlayerStream, InfoText1) == 24, "InfoText1 at 24");
static_assert(offsetof(struct PlayerStream, InfoText2) == 279, "InfoText2 at 279");
static_assert(offsetof(struct PlayerStream, InfoText3) == 534, "InfoText3 at 534");
static_assert(offsetof(struct PlayerStream, InfoText4) == 789, "InfoText4 at 789");
static_assert(offsetof(struct PlayerStream, InfoText5) == 1044, "InfoText5 at 1044");
static_assert(offsetof(struct PlayerStream, PlayerHandle) == 1300, "PlayerHandle at 1300");
static_assert(offsetof(struct PlayerStream, SampleFormat) == 1304, "SampleFormat at 1304");
static_assert(offsetof(struct PlayerStream, SampleRate) == 1308, "SampleRate at 1308");
static_assert(offsetof(struct PlayerStream, Channels) == 1312, "Channels at 1312");
static_assert(offsetof(struct PlayerStream, Duration) == 1320, "Duration at 1320");
static_assert(offsetof(struct PlayerStream, Word1324) == 1324, "Word1324 at 1324");
static_assert(offsetof(struct PlayerStream, OutputBuffer) == 1336, "OutputBuffer at 1336");
static_assert(offsetof(struct PlayerStream, OutputBufferPlus4) == 1340,
              "OutputBufferPlus4 at 1340");
static_assert(offsetof(struct PlayerStream, Word1344) == 1344, "Word1344 at 1344");
static_assert(offsetof(struct PlayerStream, Word1348) == 1348, "Word1348 at 1348");
static_assert(offsetof(struct PlayerStream, Word1352) == 1352, "Word1352 at 1352");

static_assert(offsetof(struct EncoderFormat, Channels) == 6, "Channels at 6");
static_assert(offsetof(struct EncoderFormat, MustBeZero) == 8, "format word at 8");
static_assert(sizeof(struct EncoderFixup) == 20, "fix-up entry is 20 bytes");
static_assert(offsetof(struct EncoderFixup, ByteCount) == 8, "ByteCount at 8");
static_assert(offsetof(struct EncoderFixup, Value) == 12, "Value at 12");

static_assert(offsetof(struct OVPlugIFace, AnnouncePlayer) ==
                  sizeof(struct InterfaceData) + 4 * sizeof(void *),
              "slot 4 follows the four standard slots");
#endif

static_assert(offsetof(struct OVPlugIFace, FinishEncoder) ==
                  sizeof(struct InterfaceData) + OVPLUG_SLOT_FINISH_ENCODER * sizeof(void *),
              "slots are consecutive vectors");

#endif
