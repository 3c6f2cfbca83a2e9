#include "host/cli/commands.h"

#include "host/host_error.h"
#include "host/input/file_list.h"

#include <cstdio>

namespace orvane {

void reportError(const std::string &message)
{
    std::fprintf(stderr, "orvane: %s\n", message.c_str());
}

FilesDone eachFile(size_t count, const std::function<FileOutcome(size_t index)> &one,
                   Failures failures, const std::function<std::string(size_t index)> &name)
{
    FilesDone done;
    Then going = Then::Next;
    for (size_t index = 0; index < count;) {
        FileOutcome outcome;
        try {
            outcome = one(index);
        } catch (const Interrupted &) {
            throw;
        } catch (const HostError &error) {
            std::fflush(stdout);
            /* The file is named once: most reasons name it already. */
            const std::string named = name ? "'" + name(index) + "'" : std::string();
            const std::string why = error.what();
            reportError(named.empty() || why.find(named) != std::string::npos ? why
                                                                              : named + ": " + why);
            /* A file that fails is passed over in the direction taken; the
             * first one, stepping back, forward again. */
            outcome.then = going == Then::Previous && index > 0 ? Then::Previous : Then::Next;
            done.failed++;
            outcome.status = error.exitStatus();
            if (failures == Failures::Replace)
                done.status = 0;
        }
        if (done.status == 0)
            done.status = outcome.status;
        if (outcome.then == Then::Stop)
            break;
        going = outcome.then;
        index = outcome.then == Then::Next ? index + 1 : index - (index > 0 ? 1 : 0);
    }
    return done;
}

Inputs Places::filesOrDemo(const std::vector<std::string> &files, const PluginSet &plugins,
                           const std::filesystem::path &leaveOut) const
{
    if (files.empty()) {
        std::error_code error;
        if (!std::filesystem::is_regular_file(demoSong(), error))
            throw HostError("no FILE given, and the demo song '" + demoSong().string() +
                            "' is missing");
        return {{demoSong()}};
    }
    FileList list = expandFiles(files, plugins, leaveOut);
    const std::string skipped = list.skipped == 0
                                    ? ""
                                    : std::to_string(list.skipped) +
                                          (list.skipped == 1 ? " file" : " files") +
                                          " under the folders given that no plug-in recognises";
    if (list.files.empty()) {
        if (list.problems.size() == 1 && skipped.empty())
            throw HostError(list.problems.front());
        for (const std::string &problem : list.problems)
            reportError(problem);
        throw HostError("no file to take" + (skipped.empty() ? "" : ": only " + skipped));
    }
    for (const std::string &problem : list.problems)
        reportError(problem);
    if (!skipped.empty())
        reportError("skipped " + skipped);
    return {std::move(list.files), list.problems.size()};
}

} // namespace orvane
