/* A fuzz target without libFuzzer: each file of the folders named on the
 * command line, in name order, through LLVMFuzzerTestOneInput, so that past
 * findings replay in every build. A fault stops it as it stops the fuzzer. */
#include "platform/platform.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) __attribute__((weak));
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

int main(int argc, char **argv)
{
    ovSetLibraryPath(OV_PLUGIN_DIR);
    if (LLVMFuzzerInitialize != nullptr)
        LLVMFuzzerInitialize(&argc, &argv);
    std::set<std::filesystem::path> files;
    for (int i = 1; i < argc; i++)
        for (const auto &entry : std::filesystem::directory_iterator(argv[i]))
            files.insert(entry.path());
    for (const auto &file : files) {
        std::fprintf(stderr, "%s\n", file.c_str()); /* unbuffered: named before a crash */
        std::ifstream in(file, std::ios::binary);
        std::vector<uint8_t> bytes(std::istreambuf_iterator<char>(in), {});
        bytes.reserve(1); /* like libFuzzer, never a null address, even for no bytes */
        LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    }
    std::printf("%zu inputs replayed\n", files.size());
    return files.empty() ? 1 : 0;
}
