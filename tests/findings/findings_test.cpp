/* Every checked-in fuzz finding, played as the fuzz targets play their
 * inputs: nothing may crash, trip a sanitizer or be left allocated. */
#include "fuzz/module_play.h"
#include "support/plugin_host.h"

#include <algorithm>
#include <filesystem>

namespace {

std::vector<std::filesystem::path> findings(const char *folder)
{
    std::vector<std::filesystem::path> files;
    for (const auto &entry : std::filesystem::directory_iterator(std::filesystem::path(OV_FINDINGS_DIR) / folder))
        if (entry.is_regular_file())
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

} // namespace

TEST(FuzzFindings, ModulesPlayThroughThePluginAndTheReplayer)
{
    ovtest::Plugin plugin("OV_PT.ovplug");
    ASSERT_TRUE(plugin.ok());
    const auto files = findings("module");
    ASSERT_FALSE(files.empty());
    for (const auto &file : files) {
        SCOPED_TRACE(file.filename().string());
        const std::vector<uint8_t> image = ovtest::readFile(file.string());
        ovfuzz::playThroughPlugin(plugin.iface(), image.data(), image.size());
        ovfuzz::playThroughReplayer(image.data(), image.size());
    }
}
