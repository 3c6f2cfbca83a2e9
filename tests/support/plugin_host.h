/*
 * Test support: drives a plug-in file the way the host does (OpenLibrary,
 * the interface "main", a stream record), and checks after every test that
 * nothing was left allocated or open.
 */
#ifndef OV_TESTS_SUPPORT_PLUGIN_HOST_H
#define OV_TESTS_SUPPORT_PLUGIN_HOST_H

#include "frame/ovplug.h"
#include "platform/dos.h"
#include "platform/exec.h"
#include "platform/intuition.h"
#include "platform/picasso96.h"
#include "platform/platform.h"
#include "platform/testing.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace ovtest {

/* The platform's exec interface, under the short name the tests use. */
inline constexpr auto &exec = ovExecInterface;

/* Waits up to timeoutMs for the condition. */
inline bool waitUntil(const std::function<bool()> &condition, int timeoutMs = 5000)
{
    for (int waited = 0; !condition(); waited++) {
        if (waited >= timeoutMs)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

/* The window libraries opened for the test itself. */
struct Graphics {
    ~Graphics()
    {
        exec()->DropInterface(exec(), reinterpret_cast<struct Interface *>(p96));
        exec()->DropInterface(exec(), reinterpret_cast<struct Interface *>(intuition));
        exec()->CloseLibrary(exec(), p96Base);
        exec()->CloseLibrary(exec(), intuitionBase);
    }

    struct Library *intuitionBase = exec()->OpenLibrary(exec(), "intuition.library", 0);
    struct Library *p96Base = exec()->OpenLibrary(exec(), "Picasso96API.library", 0);
    struct IntuitionIFace *intuition = reinterpret_cast<struct IntuitionIFace *>(
        exec()->GetInterface(exec(), intuitionBase, "main", 1, nullptr));
    struct P96IFace *p96 = reinterpret_cast<struct P96IFace *>(
        exec()->GetInterface(exec(), p96Base, "main", 1, nullptr));
};

/* Folder of the built programs and plug-ins (build/bin). */
std::string binDir();
/* Folder of the real modules; empty when it is not there. */
std::string modsDir();
/* Skips the current test with a clear message when the real modules are absent. */
#define OV_REQUIRE_MODS()                                                                          \
    do {                                                                                           \
        if (::ovtest::modsDir().empty())                                                           \
            GTEST_SKIP() << "real modules not found (expected in ../shared/mods)";                 \
    } while (0)

std::vector<uint8_t> readFile(const std::string &path);
void writeFile(const std::string &path, const std::vector<uint8_t> &bytes);
/* A fresh file name in a per-run temporary folder. */
std::string tempPath(const std::string &name);
/* A test case's name from a table row's words: letters and digits, each word
 * capitalised ("a bare note, 8xx" -> "ABareNote8xx"); byWhat names a TEST_P
 * row by its `what`. */
std::string caseName(std::string_view words);
inline constexpr auto byWhat = [](const auto &row) { return caseName(row.param.what); };

/* A shell command's standard output, standard error and exit status
 * (-1 when it did not exit normally). */
struct CommandResult {
    int status = -1;
    std::string out;
    std::string err;
};
CommandResult runCommand(const std::string &command);
/* `text` as one shell word. */
std::string shellQuote(const std::string &text);
/* Whether sox and soxi are installed. */
bool soxAvailable();

/* One opened plug-in library and its interface "main". Closing drops the
 * interface, closes the library and asks it to expunge (unloading the file). */
class Plugin {
public:
    explicit Plugin(const std::string &fileName); /* e.g. "OV_PT.ovplug" */
    ~Plugin();
    Plugin(const Plugin &) = delete;
    Plugin &operator=(const Plugin &) = delete;

    bool ok() const { return iface_ != nullptr; }
    struct Library *base() const { return base_; }
    struct OVPlugIFace *iface() const { return iface_; }
    struct OVPlugIFace *operator->() const { return iface_; }
    /* Closes now (as the destructor would); returns what the expunge returned. */
    BPTR close();

private:
    struct Library *base_ = nullptr;
    struct OVPlugIFace *iface_ = nullptr;
};

/* A zeroed stream record as a host allocates it. */
inline std::unique_ptr<struct PlayerStream> newStream()
{
    return std::make_unique<struct PlayerStream>();
}

/* The leak check every test program installs: live AllocVec blocks and
 * open DOS files must be the same after each test as before it. */
class LeakCheckListener : public ::testing::EmptyTestEventListener {
public:
    void OnTestStart(const ::testing::TestInfo &) override;
    void OnTestEnd(const ::testing::TestInfo &) override;

private:
    uint32_t allocationsBefore_ = 0;
    uint32_t filesBefore_ = 0;
};

} // namespace ovtest

#endif
