#include "host/input/descriptor_text.h"

#include <algorithm>

namespace orvane {

namespace {

/* Labels and their colon fill this many columns before the value. */
constexpr size_t kLabelColumns = 13;

} // namespace

std::string fieldText(const char *field, size_t width)
{
    return std::string(field, std::find(field, field + width, '\0'));
}

std::string loadingText(uint32_t mode)
{
    switch (mode) {
    case LOADMODE_BY_NAME: return "1 (the plug-in reads the file)";
    case LOADMODE_IN_MEMORY: return "2 (the whole file in memory)";
    default: return std::to_string(mode);
    }
}

std::string versionText(uint32_t version)
{
    return std::to_string(version / 10000) + "." + std::to_string(version / 100 % 100) + " (" +
           std::to_string(version) + ")";
}

std::vector<DescribedField> descriptorFields(const struct PlayerInfo &info, bool encodes)
{
    std::string extension = fieldText(info.Extension, PLAYERINFO_EXTENSION_LEN);
    return {
        {"name", fieldText(info.Name, PLAYERINFO_NAME_LEN)},
        {"author", fieldText(info.Author, PLAYERINFO_AUTHOR_LEN)},
        {"description", fieldText(info.Description, PLAYERINFO_DESCRIPTION_LEN)},
        {"extension", extension.empty() ? "(none)" : extension},
        {"loading", loadingText(info.LoadMode)},
        {"version", versionText(info.PluginVersion)},
        {"interface", versionText(info.InterfaceVersion)},
        {"encodes", encodes ? "yes" : "no"},
    };
}

std::string formatFields(const std::vector<DescribedField> &fields)
{
    const std::string indent(2 + kLabelColumns, ' ');
    std::string out;
    for (const auto &field : fields) {
        std::string label = field.label + ":";
        label.resize(std::max(label.size() + 1, kLabelColumns), ' ');
        out += "  " + label;
        const std::string &value = field.value;
        for (size_t i = 0; i < value.size(); i++) {
            out += value[i];
            /* A blank line stays blank. */
            if (value[i] == '\n' && i + 1 < value.size() && value[i + 1] != '\n')
                out += indent;
        }
        out += '\n';
    }
    return out;
}

} // namespace orvane
