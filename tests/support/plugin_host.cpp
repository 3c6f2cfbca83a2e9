#include "plugin_host.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace ovtest {

std::string binDir() { return OV_TEST_BIN_DIR; }

std::string modsDir()
{
    std::error_code error;
    if (std::filesystem::is_directory(OV_TEST_MODS_DIR, error))
        return OV_TEST_MODS_DIR;
    return {};
}

std::vector<uint8_t> readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const std::string &path, const std::vector<uint8_t> &bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

std::string tempPath(const std::string &name)
{
    static const std::string folder = [] {
        auto dir =
            std::filesystem::temp_directory_path() / ("ovtest-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir);
        return dir.string();
    }();
    return folder + "/" + name;
}

std::string caseName(std::string_view words)
{
    std::string name;
    bool wordStart = true;
    for (const unsigned char c : words) {
        if (std::isalnum(c))
            name += static_cast<char>(wordStart ? std::toupper(c) : c);
        wordStart = !std::isalnum(c);
    }
    return name;
}

Plugin::Plugin(const std::string &fileName)
{
    struct ExecIFace *IExec = exec();
    std::string path = binDir() + "/" + fileName;
    base_ = IExec->OpenLibrary(IExec, path.c_str(), 1);
    if (base_ == nullptr)
        return;
    iface_ = reinterpret_cast<struct OVPlugIFace *>(
        IExec->GetInterface(IExec, base_, "main", 1, nullptr));
}

BPTR Plugin::close()
{
    struct ExecIFace *IExec = exec();
    BPTR seg = 0;
    if (iface_ != nullptr)
        IExec->DropInterface(IExec, reinterpret_cast<struct Interface *>(iface_));
    if (base_ != nullptr) {
        IExec->CloseLibrary(IExec, base_);
        if (base_->lib_OpenCnt == 0)
            seg = IExec->RemLibrary(IExec, base_);
    }
    iface_ = nullptr;
    base_ = nullptr;
    return seg;
}

Plugin::~Plugin() { close(); }

void LeakCheckListener::OnTestStart(const ::testing::TestInfo &)
{
    ovTestClearFaults();
    allocationsBefore_ = ovTestLiveAllocations();
    filesBefore_ = ovTestOpenFiles();
}

void LeakCheckListener::OnTestEnd(const ::testing::TestInfo &)
{
    ovTestClearFaults();
    EXPECT_EQ(ovTestLiveAllocations(), allocationsBefore_) << "AllocVec blocks left behind";
    EXPECT_EQ(ovTestOpenFiles(), filesBefore_) << "DOS files left open";
}

CommandResult runCommand(const std::string &command)
{
    static int runs = 0;
    const std::string outPath = tempPath("command-" + std::to_string(++runs) + ".out");
    const std::string errPath = outPath.substr(0, outPath.size() - 4) + ".err";
    const int raw = std::system(
        ("(" + command + ") >" + shellQuote(outPath) + " 2>" + shellQuote(errPath)).c_str());
    CommandResult result;
    result.status = raw != -1 && WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    const std::vector<uint8_t> out = readFile(outPath), err = readFile(errPath);
    result.out.assign(out.begin(), out.end());
    result.err.assign(err.begin(), err.end());
    std::filesystem::remove(outPath);
    std::filesystem::remove(errPath);
    return result;
}

std::string shellQuote(const std::string &text)
{
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

bool soxAvailable()
{
    static const bool available = runCommand("command -v sox && command -v soxi").status == 0;
    return available;
}

} // namespace ovtest
