/*
 * A plug-in's descriptor as text, shared by `orvane plugins` and the
 * ovplugins tool so that both describe a plug-in alike. Needs nothing but
 * the plug-in contract.
 */
#ifndef OV_HOST_DESCRIPTOR_TEXT_H
#define OV_HOST_DESCRIPTOR_TEXT_H

#include "frame/ovplug.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace orvane {

/* Text of a fixed-width descriptor field, up to its first NUL. */
std::string fieldText(const char *field, size_t width);
/* "1 (the plug-in reads the file)", "2 (the whole file in memory)". */
std::string loadingText(uint32_t mode);
/* "1.4 (10400)" for version x 10000 + revision x 100. */
std::string versionText(uint32_t version);

/* One labelled line of a description. */
struct DescribedField {
    std::string label;
    std::string value;
};

/* The descriptor's fields, in the order they are shown. */
std::vector<DescribedField> descriptorFields(const struct PlayerInfo &info, bool encodes);
/* "  label:       value" lines; a value's further lines are indented under
 * its first. */
std::string formatFields(const std::vector<DescribedField> &fields);

} // namespace orvane

#endif
