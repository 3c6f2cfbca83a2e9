/*
 * Zephrin running as a task of this process, attached to our port: started
 * once the port is up, asked to end (break signal) when we are done, and
 * waited for while its detach is answered.
 */
#ifndef OV_HOST_VISUALISER_RUN_H
#define OV_HOST_VISUALISER_RUN_H

#include "host/port/plugin_port.h"

#include <cstdint>
#include <filesystem>
#include <vector>

struct Task;
struct Window;

namespace orvane {

class VisualiserRun {
public:
    /* Starts the program and waits until it has attached; throws HostError
     * when it cannot be started or ends without attaching. `headless`
     * keeps its window in memory only. */
    VisualiserRun(VisualiserPort &port, const std::filesystem::path &program, bool headless);
    ~VisualiserRun();
    VisualiserRun(const VisualiserRun &) = delete;
    VisualiserRun &operator=(const VisualiserRun &) = delete;

    /* Still attached (the user may have closed its window). */
    bool running() const;
    VisualiserPort &port() const { return port_; }
    /* Without waiting: once the visualiser has drawn the frame for the last
     * data signal (or none was sent), fills the port's buffers from the
     * history and signals it; otherwise leaves them alone, since it may
     * still be reading them. TRUE when it signalled. */
    bool offer(const AudioHistory &history, uint64_t endFrame, SpectrumAnalyser &analyser);
    /* After a data signal: waits until the window shows the frame drawn for
     * it, so the buffers may be rewritten. FALSE when the visualiser went
     * away or did not draw in time. */
    bool waitForFrame();
    /* Saves what the window shows as a PNG file. */
    bool savePicture(const std::filesystem::path &file) const;
    /* Asks the program to end and waits for it (answering its detach). */
    void stop();

private:
    /* The window shows a picture other than the last one seen. */
    bool pictureChanged();

    VisualiserPort &port_;
    struct Task *task_ = nullptr;
    struct Window *window_ = nullptr;
    std::vector<uint32_t> lastPicture_;
    std::vector<uint32_t> picture_;
    bool frameAwaited_ = false; /* offered data not yet drawn */
};

} // namespace orvane

#endif
