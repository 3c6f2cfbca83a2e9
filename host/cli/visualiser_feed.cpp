#include "host/cli/visualiser_feed.h"

#include "host/port/plugin_port.h"
#include "host/port/visualiser_run.h"

#include <algorithm>

namespace orvane {

namespace {

constexpr uint32_t kSignalsPerSecond = 50;

} // namespace

VisualiserFeed::VisualiserFeed(VisualiserRun &run, Pace pace, uint32_t rate, uint32_t channels,
                               const std::string &title, bool rightFirst)
    : run_(run), analyser_(rate), sides_({}, channels, rightFirst), channels_(channels),
      step_(std::max<uint32_t>(rate / kSignalsPerSecond, 1)),
      due_(pace == Pace::AsHeard ? 0 : step_)
{
    run_.port().setTitle(title);
}

void VisualiserFeed::append(std::span<const uint8_t> frames)
{
    history_.append(sides_.apply(frames), channels_);
}

void VisualiserFeed::answer() { run_.port().serve(); }

void VisualiserFeed::offer(uint64_t heard)
{
    /* A frame still being drawn holds the signal back; the next offer
     * tries again. */
    if (heard >= due_ && run_.offer(history_, heard, analyser_))
        due_ = heard + step_;
}

void VisualiserFeed::showAppended(const std::function<void()> &drawn)
{
    while (due_ <= history_.end()) {
        const uint64_t at = due_;
        due_ += step_;
        if (!run_.running())
            continue;
        run_.port().publish(history_, at, analyser_);
        if (run_.waitForFrame())
            drawn();
    }
}

} // namespace orvane
