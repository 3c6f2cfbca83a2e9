#include "host/port/plugin_port.h"

#include "frame/ovplug.h"
#include "host/host_error.h"
#include "platform/platform.h"

#include <cstring>

namespace orvane {

namespace {

/* The message as the real system sizes it; on wider machines the record
 * is larger still. */
constexpr uint16 kShortestPluginMessage = 56;

} // namespace

VisualiserPort::VisualiserPort()
{
    struct ExecIFace *IExec = ovExecInterface();
    port_ = IExec->CreateMsgPort(IExec);
    if (port_ == nullptr)
        throw HostError("cannot publish the visualiser port (no free signal)");
    port_->mp_Node.ln_Name = const_cast<char *>(PLUGIN_PORT_NAME);
    port_->mp_Node.ln_Pri = 0;
    IExec->AddPort(IExec, port_);
}

VisualiserPort::~VisualiserPort()
{
    struct ExecIFace *IExec = ovExecInterface();
    IExec->RemPort(IExec, port_);
    /* Nobody may be left waiting for an answer. */
    while (struct Message *message = IExec->GetMsg(IExec, port_))
        IExec->ReplyMsg(IExec, message);
    IExec->DeleteMsgPort(IExec, port_);
}

void VisualiserPort::serve()
{
    struct ExecIFace *IExec = ovExecInterface();
    while (struct Message *message = IExec->GetMsg(IExec, port_))
        handle(reinterpret_cast<struct PluginMessage *>(message));
}

void VisualiserPort::handle(struct PluginMessage *message)
{
    struct ExecIFace *IExec = ovExecInterface();
    if (message->pm_Message.mn_Length < kShortestPluginMessage) {
        IExec->ReplyMsg(IExec, &message->pm_Message);
        return;
    }
    bool detach = message->clientTask == nullptr;
    if (detach) {
        if (message == clientMessage_) {
            /* From here on nothing is written to its slots or signalled. */
            client_ = nullptr;
            clientMessage_ = nullptr;
            detachCount_++;
        }
        IExec->ReplyMsg(IExec, &message->pm_Message);
        return;
    }

    attachCount_++;
    bool complete = message->sampleBufferSlot != nullptr && message->firstSpectrumSlot != nullptr &&
                    message->secondSpectrumSlot != nullptr && message->trackInfoSlot != nullptr &&
                    message->dataSignalMask != 0;
    if (client_ != nullptr || !complete) {
        message->accepted = 0;
        IExec->ReplyMsg(IExec, &message->pm_Message);
        return;
    }
    client_ = message->clientTask;
    clientMessage_ = message;
    dataSignal_ = message->dataSignalMask;
    infoSignal_ = message->infoSignalMask;
    *message->sampleBufferSlot = samples_.data();
    *message->firstSpectrumSlot = firstSpectrum_.data();
    *message->secondSpectrumSlot = secondSpectrum_.data();
    *message->trackInfoSlot = &trackInfo_;
    message->accepted = 1;
    IExec->ReplyMsg(IExec, &message->pm_Message);
    if (infoSignal_ != 0 && trackInfo_.title != nullptr)
        IExec->Signal(IExec, client_, infoSignal_);
}

void VisualiserPort::setTitle(const std::string &title)
{
    if (titles_.empty() || titles_.back() != title)
        titles_.push_back(title);
    /* Written whole before the signal, and never into a text in use. */
    __atomic_store_n(&trackInfo_.title, titles_.back().c_str(), __ATOMIC_RELEASE);
    if (client_ != nullptr && infoSignal_ != 0)
        ovExecInterface()->Signal(ovExecInterface(), client_, infoSignal_);
}

void VisualiserPort::publish(const AudioHistory &history, uint64_t endFrame,
                             SpectrumAnalyser &analyser)
{
    if (client_ == nullptr)
        return;
    history.copyEndingAt(endFrame, analysed_);
    const StereoFrame *latest = analysed_.data() + analysed_.size() - kSampleFrames;
    for (size_t i = 0; i < kSampleFrames; i++) {
        ov_store_be16(&samples_[i * 4], latest[i].first);
        ov_store_be16(&samples_[i * 4 + 2], latest[i].second);
    }
    analyser.analyse(analysed_, firstSpectrum_, secondSpectrum_);
    ovExecInterface()->Signal(ovExecInterface(), client_, dataSignal_);
}

} // namespace orvane
