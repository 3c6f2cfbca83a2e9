#include "output_file.h"

#include "host_error.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace orvane {

namespace {

/* Enough for any header a probe has to learn. */
constexpr size_t kProbeKeptBytes = 64 * 1024;

/* Held bytes grow by doubling up to the limit plus this much for what a
 * writer adds when it finishes, then only as needed. */
constexpr uint64_t kHeldFinishBytes = 16 << 20;

} // namespace

OutputFile::OutputFile(HeadProbe) : path_("(probe)"), probe_(true) {}

OutputFile::OutputFile(const std::string &path, bool patchedLater) : path_(path)
{
    if (path == "-") {
        fd_ = 1;
        streamed_ = true;
        held_ = patchedLater;
        return;
    }
    std::filesystem::path target(path);
    std::error_code error;
    if (std::filesystem::is_directory(target, error)) {
        errno = EISDIR;
        fail("create");
    }
    /* A device, a pipe or a socket is written as it is, like standard
     * output: renaming a finished file over it would replace it. */
    if (std::filesystem::exists(target, error) &&
        !std::filesystem::is_regular_file(target, error)) {
        fd_ = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
        if (fd_ < 0)
            fail("open");
        streamed_ = true;
        held_ = patchedLater;
        return;
    }
    std::filesystem::path folder = target.parent_path().empty() ? "." : target.parent_path();
    std::string hidden(1, '.');
    hidden.append(target.filename().string()).append(".partial-XXXXXX");
    temporary_ = (folder / hidden).string();
    fd_ = ::mkstemp(temporary_.data());
    if (fd_ < 0) {
        temporary_.clear();
        fail("create");
    }
    mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd_, 0666 & ~mask);
}

OutputFile::~OutputFile()
{
    if (fd_ > 1)
        ::close(fd_);
    if (!committed_ && !temporary_.empty())
        ::unlink(temporary_.c_str());
}

void OutputFile::fail(const char *what) const
{
    std::string message = "cannot ";
    message.append(what);
    if (path_ == "-")
        message.append(" standard output");
    else
        message.append(" '").append(path_).append("'");
    message.append(": ").append(std::strerror(errno));
    throw HostError(message);
}

void OutputFile::writeAll(int fd, std::span<const uint8_t> bytes) const
{
    while (!bytes.empty()) {
        ssize_t done = ::write(fd, bytes.data(), bytes.size());
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0)
            fail("write");
        bytes = bytes.subspan(static_cast<size_t>(done));
    }
}

void OutputFile::checkReader() const
{
    /* POLLERR and POLLHUP are reported whatever is asked for. */
    struct pollfd reader {
        fd_, 0, 0
    };
    if (::poll(&reader, 1, 0) == 1 && (reader.revents & (POLLERR | POLLHUP)) != 0) {
        ::raise(SIGPIPE);
        errno = EPIPE;
        fail("write");
    }
}

void OutputFile::append(std::span<const uint8_t> bytes)
{
    if (probe_) {
        size_t kept = static_cast<size_t>(std::min<uint64_t>(
            bytes.size(), kProbeKeptBytes - std::min<uint64_t>(size_, kProbeKeptBytes)));
        head_.insert(head_.end(), bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(kept));
    } else if (held_) {
        checkReader();
        const uint64_t needed = heldBytes_.size() + bytes.size();
        if (needed > heldBytes_.capacity())
            heldBytes_.reserve(static_cast<size_t>(
                std::max<uint64_t>(needed, std::min<uint64_t>(heldBytes_.capacity() * 2,
                                                              kHeldLimit + kHeldFinishBytes))));
        heldBytes_.insert(heldBytes_.end(), bytes.begin(), bytes.end());
    } else if (size_ < head_.size() || !waiting_.empty()) {
        /* The head sent ahead stands in for the bytes as first written,
         * and waits to go out with the first bytes after it: a reader
         * that looks at the header alone may take it for the whole file. */
        size_t promised = static_cast<size_t>(std::min<uint64_t>(
            head_.size() - std::min<uint64_t>(size_, head_.size()), bytes.size()));
        finalHead_.insert(finalHead_.end(), bytes.begin(),
                          bytes.begin() + static_cast<ptrdiff_t>(promised));
        auto headAt = head_.begin() + static_cast<ptrdiff_t>(size_ < head_.size() ? size_ : 0);
        waiting_.insert(waiting_.end(), headAt, headAt + static_cast<ptrdiff_t>(promised));
        waiting_.insert(waiting_.end(), bytes.begin() + static_cast<ptrdiff_t>(promised),
                        bytes.end());
        if (size_ + bytes.size() > head_.size()) {
            writeAll(fd_, waiting_);
            waiting_ = {};
        }
    } else {
        writeAll(fd_, bytes);
    }
    size_ += bytes.size();
}

std::optional<std::vector<uint8_t>> OutputFile::rewrittenHead() const
{
    if (headOverflow_)
        return std::nullopt;
    return std::vector<uint8_t>(head_.begin(),
                                head_.begin() + static_cast<ptrdiff_t>(rewrittenEnd_));
}

void OutputFile::sendAhead(std::vector<uint8_t> head)
{
    if (!held_ || size_ != 0) {
        errno = EINVAL;
        fail("stream");
    }
    held_ = false;
    head_ = std::move(head);
}

void OutputFile::patch(uint64_t offset, std::span<const uint8_t> bytes)
{
    if (offset > size_ || bytes.size() > size_ - offset) {
        errno = EINVAL;
        fail("patch");
    }
    if (probe_) {
        uint64_t end = offset + bytes.size();
        if (end > head_.size()) {
            headOverflow_ = true;
            return;
        }
        std::copy(bytes.begin(), bytes.end(), head_.begin() + static_cast<ptrdiff_t>(offset));
        rewrittenEnd_ = std::max(rewrittenEnd_, end);
        return;
    }
    if (held_) {
        std::copy(bytes.begin(), bytes.end(), heldBytes_.begin() + static_cast<ptrdiff_t>(offset));
        return;
    }
    if (streamed_ && offset + bytes.size() <= head_.size()) {
        /* Checked against the head sent ahead once the file is complete. */
        std::copy(bytes.begin(), bytes.end(), finalHead_.begin() + static_cast<ptrdiff_t>(offset));
        return;
    }
    if (streamed_) {
        errno = ESPIPE;
        fail("patch");
    }
    ssize_t done = ::pwrite(fd_, bytes.data(), bytes.size(), static_cast<off_t>(offset));
    if (done != static_cast<ssize_t>(bytes.size()))
        fail("write");
}

void OutputFile::writeAt(uint64_t offset, std::span<const uint8_t> bytes)
{
    if (offset > size_) {
        errno = EINVAL;
        fail("write");
    }
    size_t overlap = static_cast<size_t>(std::min<uint64_t>(size_ - offset, bytes.size()));
    if (overlap > 0)
        patch(offset, bytes.first(overlap));
    append(bytes.subspan(overlap));
}

void OutputFile::commit()
{
    if (probe_)
        return;
    if (finalHead_ != head_)
        throw HostError("the header sent ahead to " +
                        (path_ == "-" ? std::string("standard output") : "'" + path_ + "'") +
                        " does not match the file as it ended; the output is not a valid file");
    if (held_) {
        writeAll(fd_, heldBytes_);
        heldBytes_.clear();
    }
    writeAll(fd_, waiting_);
    if (streamed_) {
        committed_ = true;
        return;
    }
    if (::fsync(fd_) != 0 || ::close(fd_) != 0) {
        fd_ = -1;
        fail("write");
    }
    fd_ = -1;
    if (::rename(temporary_.c_str(), path_.c_str()) != 0)
        fail("write");
    committed_ = true;
}

} // namespace orvane
