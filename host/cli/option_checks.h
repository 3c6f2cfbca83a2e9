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
#include <vector>

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

/* Seconds in "m:ss", "h:mm:ss", each with an optional fraction (as info
 * prints durations), or a plain number of seconds; NaN for anything else. */
inline double clockSeconds(const std::string &text)
{
    const size_t colon = text.find(':');
    if (colon == std::string::npos)
        return finiteNumber(text);
    double total = 0;
    size_t at = 0;
    for (int part = 0;; part++) {
        const size_t next = text.find(':', at);
        const std::string field = text.substr(at, next == std::string::npos ? next : next - at);
        const bool last = next == std::string::npos;
        /* The leading field is whole; the ones after it two digits below 60,
         * the last with any fraction. */
        const size_t digits = field.find_first_not_of("0123456789");
        const size_t wholeDigits = digits == std::string::npos ? field.size() : digits;
        if (part > 2 || wholeDigits == 0 || wholeDigits > 9 || (part > 0 && wholeDigits != 2) ||
            (digits != std::string::npos &&
             (!last || field[digits] != '.' || digits + 1 == field.size() ||
              field.find_first_not_of("0123456789", digits + 1) != std::string::npos)))
            return std::nan("");
        const double value = std::strtod(field.c_str(), nullptr);
        if (part > 0 && value >= 60)
            return std::nan("");
        total = total * 60 + value;
        if (last)
            return part > 0 ? total : std::nan("");
        at = next + 1;
    }
}

inline std::string plainNumber(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.15g", value);
    return text;
}

/* A refusal as the parser prints it after the option's name:
 * "--gain: -60 to 60 dB, not '80'". */
inline std::string refusal(const std::string &what, const std::string &text)
{
    return what + ", not '" + text + "'";
}

} // namespace detail

/* A number from `least` to `most`, both included; NaN and the infinities
 * are no numbers here. */
inline CLI::Validator amountWithin(const std::string &unit, double least, double most)
{
    const std::string what =
        detail::plainNumber(least) + " to " + detail::plainNumber(most) + " " + unit;
    return CLI::Validator(
        [what, least, most](std::string &text) -> std::string {
            const double value = detail::finiteNumber(text);
            return value >= least && value <= most ? std::string() : detail::refusal(what, text);
        },
        what);
}

/* A time in seconds, plain or as m:ss(.mmm) or h:mm:ss(.mmm), from `least`
 * (above it when `above`) to `most`; the text becomes plain seconds. */
inline CLI::Validator timeWithin(double least, bool above, double most)
{
    const std::string what = (above ? "above " : "") + detail::plainNumber(least) + " to " +
                             detail::plainNumber(most) + " seconds, or m:ss or h:mm:ss";
    return CLI::Validator(
        [what, least, above, most](std::string &text) -> std::string {
            const double value = detail::clockSeconds(text);
            if (!(value >= least && value <= most) || (above && value == least))
                return detail::refusal(what, text);
            text = detail::plainNumber(value);
            return {};
        },
        "");
}

/* A whole number from 1 to the largest `Whole` holds, that limit given in
 * words when it is large. */
template <typename Whole> CLI::Validator positiveWhole(const std::string &unit)
{
    const uint64_t limit = std::numeric_limits<Whole>::max();
    const std::string range =
        "1 to " +
        (limit == UINT64_MAX ? std::string("about 18 billion billion") : std::to_string(limit)) +
        " " + unit;
    return CLI::Validator(
        [range, limit](std::string &text) -> std::string {
            bool fits = !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
            if (fits) {
                errno = 0;
                unsigned long long value = std::strtoull(text.c_str(), nullptr, 10);
                fits = errno != ERANGE && value != 0 && value <= limit;
            }
            return fits ? std::string() : detail::refusal(range, text);
        },
        "from 1");
}

/* One of `words`, refused as "--option: a or b, not 'text'". */
inline CLI::Validator oneOf(const std::vector<std::string> &words)
{
    std::string list;
    for (size_t i = 0; i < words.size(); i++)
        list += (i == 0 ? "" : i + 1 == words.size() ? " or " : ", ") + words[i];
    return CLI::Validator(
        [words, list](std::string &text) -> std::string {
            for (const std::string &word : words) {
                if (text == word)
                    return {};
            }
            return detail::refusal(list, text);
        },
        list);
}

} // namespace orvane

#endif
