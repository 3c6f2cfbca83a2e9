#include "host/port/visualiser_run.h"

#include "host/host_error.h"
#include "platform/display.h"
#include "platform/platform.h"
#include "platform/program.h"

#include <chrono>
#include <thread>

namespace orvane {

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint32_t kPictureWidth = 512;
constexpr uint32_t kPictureHeight = 132;
constexpr auto kAttachTimeout = std::chrono::seconds(10);
constexpr auto kFrameTimeout = std::chrono::seconds(5);
constexpr auto kPollInterval = std::chrono::microseconds(500);

} // namespace

VisualiserRun::VisualiserRun(VisualiserPort &port, const std::filesystem::path &program,
                             bool headless)
    : port_(port), lastPicture_(kPictureWidth * kPictureHeight),
      picture_(kPictureWidth * kPictureHeight)
{
    if (headless && !ovSetDisplay(OV_DISPLAY_HEADLESS))
        throw HostError(
            "cannot keep the visualiser's window in memory: a display is already in use");
    std::error_code error;
    if (!std::filesystem::is_regular_file(program, error))
        throw HostError("cannot start the visualiser: '" + program.string() + "' not found");
    task_ = ovCreateProgramTask(program.c_str());
    if (task_ == nullptr)
        throw HostError("cannot start the visualiser '" + program.string() + "'");
    auto deadline = Clock::now() + kAttachTimeout;
    while (!port_.attached()) {
        port_.serve();
        if (port_.attached())
            break;
        if (ovTaskHasEnded(task_) || Clock::now() > deadline) {
            stop();
            throw HostError("the visualiser did not attach to the player's port");
        }
        std::this_thread::sleep_for(kPollInterval);
    }
    window_ = ovNewestWindow();
    if (window_ != nullptr)
        ovReadWindowPixels(window_, lastPicture_.data(), kPictureWidth, kPictureHeight);
}

VisualiserRun::~VisualiserRun() { stop(); }

bool VisualiserRun::running() const { return task_ != nullptr && port_.attached(); }

bool VisualiserRun::pictureChanged()
{
    /* Every frame scrolls the picture and moves the stars: a changed
     * picture is the frame for the last signal. Reading the window takes
     * the lock its drawing holds, so what the visualiser read to draw it
     * comes before anything written after this. */
    if (window_ == nullptr ||
        !ovReadWindowPixels(window_, picture_.data(), kPictureWidth, kPictureHeight) ||
        picture_ == lastPicture_)
        return false;
    lastPicture_.swap(picture_);
    return true;
}

bool VisualiserRun::offer(const AudioHistory &history, uint64_t endFrame,
                          SpectrumAnalyser &analyser)
{
    if (!running() || (frameAwaited_ && !pictureChanged()))
        return false;
    port_.publish(history, endFrame, analyser);
    frameAwaited_ = true;
    return true;
}

bool VisualiserRun::waitForFrame()
{
    if (window_ == nullptr)
        return false;
    auto deadline = Clock::now() + kFrameTimeout;
    while (Clock::now() < deadline) {
        port_.serve();
        if (!port_.attached())
            return false;
        if (pictureChanged()) {
            /* Read until two readings agree, so the copy into the window
             * is complete; no further frame can start before our next
             * signal. */
            while (pictureChanged() && Clock::now() < deadline) {}
            return true;
        }
        std::this_thread::sleep_for(kPollInterval);
    }
    return false;
}

bool VisualiserRun::savePicture(const std::filesystem::path &file) const
{
    return window_ != nullptr && ovSaveWindowPNG(window_, file.c_str());
}

void VisualiserRun::stop()
{
    if (task_ == nullptr)
        return;
    if (!ovTaskHasEnded(task_))
        ovExecInterface()->Signal(ovExecInterface(), task_, SIGBREAKF_CTRL_C);
    while (!ovTaskHasEnded(task_)) {
        port_.serve();
        std::this_thread::sleep_for(kPollInterval);
    }
    ovWaitTask(task_);
    port_.serve();
    task_ = nullptr;
    window_ = nullptr;
}

} // namespace orvane
