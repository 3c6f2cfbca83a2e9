/*
 * Zephrin's life: find the player's port, open the display, attach with one
 * message, run the loop, detach with the same message, release everything
 * in reverse order. Every failure ends with a requester.
 */
#include "pluginport.h"
#include "zephrin.h"

namespace {

[[gnu::used]] const char versionTag[] = "$VER: Zephrin 1.1 (29.06.06)";

struct MsgPort *playerPort; /* the player's; never freed here */
struct MsgPort *replyPort;
int8 dataSignal = -1, infoSignal = -1;
uint32 dataSignalMask, infoSignalMask;
uint16 accepted;
struct PluginMessage *message;

/* The variables the player fills with the addresses of its buffers. */
APTR sampleBuffer, firstSpectrum, secondSpectrum, trackInfo;

void showRequester(CONST_STRPTR body, CONST_STRPTR button)
{
    const struct EasyStruct easy = {
        sizeof(struct EasyStruct), 0, "Orvane / Brivex Plugin", body, button, nullptr, nullptr,
    };
    IIntuition->EasyRequestArgs(IIntuition, nullptr, &easy, nullptr, nullptr);
}

/* Sends the message to the player and takes the reply; NULL when none
 * could be taken. */
struct PluginMessage *exchange()
{
    IExec->PutMsg(IExec, playerPort, &message->pm_Message);
    IExec->WaitPort(IExec, replyPort);
    return reinterpret_cast<struct PluginMessage *>(IExec->GetMsg(IExec, replyPort));
}

void fillAttach(struct Task *self)
{
    message->pm_Message.mn_Node.ln_Type = NT_MESSAGE;
    message->pm_Message.mn_ReplyPort = replyPort;
    message->pm_Message.mn_Length = sizeof(struct PluginMessage);
    message->dataSignalMask = dataSignalMask;
    message->clientTask = self;
    message->firstSpectrumSlot = &firstSpectrum;
    message->secondSpectrumSlot = &secondSpectrum;
    message->accepted = 0;
    message->infoSignalMask = infoSignalMask;
    message->trackInfoSlot = &trackInfo;
    message->reserved2 = 0;
    message->sampleBufferSlot = &sampleBuffer;
}

void fillDetach()
{
    message->sampleBufferSlot = nullptr;
    message->dataSignalMask = 0;
    message->clientTask = nullptr;
    message->firstSpectrumSlot = nullptr;
    message->secondSpectrumSlot = nullptr;
    message->infoSignalMask = 0;
    message->trackInfoSlot = nullptr;
}

void freeSignals()
{
    if (dataSignal != -1)
        IExec->FreeSignal(IExec, dataSignal);
    if (infoSignal != -1)
        IExec->FreeSignal(IExec, infoSignal);
    dataSignal = infoSignal = -1;
}

/* Message, reply port, signals, display: the reverse of their making. */
void releaseAll()
{
    if (message != nullptr)
        IExec->FreeVec(IExec, message);
    message = nullptr;
    if (replyPort != nullptr)
        IExec->DeleteMsgPort(IExec, replyPort);
    replyPort = nullptr;
    freeSignals();
    closeDisplay();
}

} // namespace

int32 zephrinMain()
{
    playerPort = IExec->FindPort(IExec, PLUGIN_PORT_NAME);
    if (playerPort == nullptr) {
        showRequester("Could not locate the message port.\nOrvane / Brivex may not be running.",
                      "Abort");
        return 0;
    }
    if (!openDisplay()) {
        showRequester("Plugin setup failed.", "Ok");
        closeDisplay();
        return 0;
    }
    dataSignal = IExec->AllocSignal(IExec, -1);
    infoSignal = IExec->AllocSignal(IExec, -1);
    struct Task *self = IExec->FindTask(IExec, nullptr);
    if (dataSignal == -1 || infoSignal == -1) {
        showRequester("Plugin setup failed (Signal Error)", "Abort");
        /* The one signal that was had goes back too. */
        releaseAll();
        return 0;
    }
    dataSignalMask = 1u << dataSignal;
    infoSignalMask = 1u << infoSignal;

    message = static_cast<struct PluginMessage *>(
        IExec->AllocVec(IExec, sizeof(struct PluginMessage), MEMF_SHARED | MEMF_CLEAR));
    replyPort = IExec->CreateMsgPort(IExec);
    if (message == nullptr || replyPort == nullptr) {
        releaseAll();
        showRequester("Plugin setup failed.", "Ok");
        return 0;
    }
    fillAttach(self);
    const struct PluginMessage *reply = exchange();
    accepted = reply != nullptr ? reply->accepted : 0;
    if (accepted == 0) {
        showRequester("Plugin rejected by Music Player.\n", "Abort");
        releaseAll();
        return 0;
    }

    runEventLoop(dataSignalMask, infoSignalMask, &sampleBuffer, &firstSpectrum, &secondSpectrum,
                 &trackInfo);

    fillDetach();
    exchange();
    releaseAll();
    return 0;
}
