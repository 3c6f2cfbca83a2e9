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

namespace detail {

/* The number `text` holds when it is all of one finite number; NaN
 * otherwise. */
inline double finiteNumber(const std::string &text)
{
    char *end = nullptr;
    double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !std::isfinite(value))
        return std::nan("");
    return value;
}

inline std::string plainNumber(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.15g", value);
    return text;
}

} // namespace detail

/* A number above 0 and at most `most` (the unit names what it counts). */
inline CLI::Validator positiveAmount(const std::string &unit, double most)
{
    return CLI::Validator(
        [unit, most](std::string &text) -> std::string {
            double value = detail::finiteNumber(text);
            if (!(value > 0 && value <= most))
                return "'" + text + "' is not a number of " + unit + " above 0 and at most " +
                       detail::plainNumber(most);
            return {};
        },
        "above 0");
}

/* A number from `least` to `most`, both included; NaN and the infinities
 * are no numbers here. */
inline CLI::Validator amountWithin(const std::string &unit, double least, double most)
{
    return CLI::Validator(
        [unit, least, most](std::string &text) -> std::string {
            double value = detail::finiteNumber(text);
            if (!(value >= least && value <= most))
                return "'" + text + "' is not a number of " + unit + " from " +
                       detail::plainNumber(least) + " to " + detail::plainNumber(most);
            return {};
        },
        detail::plainNumber(least) + " to " + detail::plainNumber(most));
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
