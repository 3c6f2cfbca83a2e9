/*
 * A failure the user must hear about: one line on standard error and a
 * non-zero exit status.
 */
#ifndef OV_HOST_HOST_ERROR_H
#define OV_HOST_HOST_ERROR_H

#include <filesystem>
#include <stdexcept>
#include <string>

namespace orvane {

class HostError : public std::runtime_error {
public:
    explicit HostError(const std::string &message, int exitStatus = 1)
        : std::runtime_error(message), exitStatus_(exitStatus)
    {}
    int exitStatus() const { return exitStatus_; }

private:
    int exitStatus_;
};

/* A file's name as messages show it: in single quotes. */
inline std::string quoted(const std::filesystem::path &file) { return "'" + file.string() + "'"; }

} // namespace orvane

#endif
