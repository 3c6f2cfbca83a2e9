/*
 * Checks for number options that say the allowed range in words when a
 * value is refused (CLI11's own checks print the limits of the type, such
 * as the largest double in 309 digits).
 */
#ifndef OV_HOST_OPTION_CHECKS_H
#define OV_HOST_OPTION_CHECKS_H

#include <CLI/CLI.hpp>

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>

namespace orvane {

/* A number above 0 and at most `most` (the unit names what it counts). */
inline CLI::Validator positiveAmount(const std::string &unit, double most)
{
    return CLI::Validator(
        [unit, most](std::string &text) -> std::string {
            char *end = nullptr;
            double value = std::strtod(text.c_str(), &end);
            if (text.empty() || *end != '\0' || !(value > 0 && value <= most)) {
                char limit[32];
                std::snprintf(limit, sizeof limit, "%.15g", most);
                return "'" + text + "' is not a number of " + unit + " above 0 and at most " +
                       limit;
            }
            return {};
        },
        "above 0");
}

/* A whole number from 1 to the largest `Whole` holds, that limit given in
 * words when it is large. */
template <typename Whole> CLI::Validator positiveWhole(const std::string &unit)
{
    return CLI::Validator(
        [unit](std::string &text) -> std::string {
            const uint64_t limit = std::numeric_limits<Whole>::max();
            const std::string range = "a whole number of " + unit + " from 1 to " +
                                      (limit == UINT64_MAX ? std::string("about 18 billion billion")
                                                           : std::to_string(limit));
            if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos)
                return "'" + text + "' is not " + range;
            errno = 0;
            unsigned long long value = std::strtoull(text.c_str(), nullptr, 10);
            if (errno == ERANGE || value == 0 || value > limit)
                return "'" + text + "' is not " + range;
            return {};
        },
        "from 1");
}

} // namespace orvane

#endif
