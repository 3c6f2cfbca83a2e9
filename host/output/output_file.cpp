#include "host/output/output_file.h"

#include "host/host_error.h"

#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <random>

namespace orvane {

namespace {

/* Enough for any header a probe has to learn. */
constexpr size_t kProbeKeptBytes = 64 * 1024;

/* Held bytes grow by doubling up to the limit plus this much for what a
 * writer adds when it finishes, then only as needed. */
constexpr uint64_t kHeldFinishBytes = 16 << 20;

/* ---- the temporary file a terminating signal removes ---- */

/* A fixed buffer, since a signal handler may not allocate; armed while it
 * names a temporary file of ours. */
char gTemporary[PATH_MAX];
std::atomic<bool> gTemporaryArmed{false};
static_assert(std::atomic<bool>::is_always_lock_free, "read by a signal handler");

extern "C" void removeTemporaryAndEnd(int number)
{
    const int saved = errno;
    if (gTemporaryArmed.load(std::memory_order_acquire))
        ::unlink(gTemporary);
    ::signal(number, SIG_DFL);
    ::raise(number);
    errno = saved;
}

/* Each signal that ends the process and whose action is still the default
 * removes the temporary file first (SIGPIPE is left as it is: a file on a
 * disk never raises it). One ignored from the start (nohup, a background
 * job) stays ignored; one handled already is left to its handler, as
 * SIGINT is while Ctrl-C is turned into a break, which ends the work in
 * order. */
void catchTerminatingSignals()
{
    static std::once_flag once;
    std::call_once(once, [] {
        for (int number : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGXCPU,
                           SIGXFSZ, SIGVTALRM, SIGPROF}) {
            struct sigaction current {};
            if (::sigaction(number, nullptr, &current) != 0 ||
                (current.sa_flags & SA_SIGINFO) != 0 || current.sa_handler != SIG_DFL)
                continue;
            struct sigaction action {};
            action.sa_handler = removeTemporaryAndEnd;
            sigemptyset(&action.sa_mask);
            ::sigaction(number, &action, nullptr);
        }
    });
}

/* Creates `path` afresh for this process alone. The handler knows the name
 * from before the file exists, so no moment leaves it behind. */
int createTemporary(const std::string &path)
{
    if (path.size() >= sizeof gTemporary) {
        errno = ENAMETOOLONG;
        return -1;
    }
    catchTerminatingSignals();
    gTemporaryArmed.store(false, std::memory_order_release);
    std::memcpy(gTemporary, path.c_str(), path.size() + 1);
    gTemporaryArmed.store(true, std::memory_order_release);
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        const int error = errno;
        gTemporaryArmed.store(false, std::memory_order_release);
        errno = error;
    }
    return fd;
}

/* Once the temporary file is gone or renamed. */
void forgetTemporary(const std::string &path)
{
    if (gTemporaryArmed.load(std::memory_order_acquire) && path == gTemporary)
        gTemporaryArmed.store(false, std::memory_order_release);
}

/* ".NAME.partial-XXXXXX" beside `target`, the X's random: NAME is cut
 * short, at the start of a character, where the whole would pass the
 * folder's limit on a name's length. */
std::string temporaryPath(const std::filesystem::path &target)
{
    static constexpr char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    static constexpr size_t kRandom = 6;
    const std::string tail = ".partial-";
    std::filesystem::path folder = target.parent_path().empty() ? "." : target.parent_path();
    const size_t added = 1 + tail.size() + kRandom;
    long limit = ::pathconf(folder.c_str(), _PC_NAME_MAX);
    if (limit <= static_cast<long>(added))
        limit = NAME_MAX;
    std::string name = target.filename().string();
    const size_t room = static_cast<size_t>(limit) - added;
    if (name.size() > room) {
        size_t cut = room;
        while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80)
            cut--;
        name.resize(cut);
    }
    thread_local std::mt19937 random{std::random_device{}()};
    std::uniform_int_distribution<size_t> pick(0, sizeof kAlphabet - 2);
    std::string hidden = "." + name + tail;
    for (size_t i = 0; i < kRandom; i++)
        hidden += kAlphabet[pick(random)];
    return (folder / hidden).string();
}

/* The file a write through `path` lands in: symbolic links followed to
 * the end, the last name possibly not there yet. Empty for a loop. */
std::string linkTarget(std::filesystem::path path)
{
    for (int hops = 0; hops < 40; hops++) {
        std::error_code error;
        if (!std::filesystem::is_symlink(path, error))
            return path.string();
        std::filesystem::path next = std::filesystem::read_symlink(path, error);
        if (error)
            return path.string();
        path = next.is_absolute() ? next : path.parent_path() / next;
    }
    return {};
}

} // namespace

OutputFile::OutputFile(HeadProbe) : path_("(probe)"), probe_(true) {}

OutputFile::OutputFile(const std::string &path, bool patchedLater,
                       const std::function<void()> &whileWaiting)
    : path_(path)
{
    if (path == "-") {
        fd_ = 1;
        streamed_ = true;
        held_ = patchedLater;
        return;
    }
    replaced_ = linkTarget(path);
    if (replaced_.empty()) {
        errno = ELOOP;
        fail("create");
    }
    struct stat existing {};
    const bool replacing = ::stat(replaced_.c_str(), &existing) == 0;
    if (!replacing && errno != ENOENT)
        fail("create");
    if (replacing && S_ISDIR(existing.st_mode)) {
        errno = EISDIR;
        fail("create");
    }
    /* A device, a pipe or a socket is written as it is, like standard
     * output: renaming a finished file over it would replace it. A pipe
     * nobody reads yet is waited for without blocking, so that Ctrl-C
     * still counts. */
    if (replacing && !S_ISREG(existing.st_mode)) {
        const bool pipe = S_ISFIFO(existing.st_mode);
        const int flags = O_WRONLY | O_CLOEXEC | (pipe ? O_NONBLOCK : 0);
        while ((fd_ = ::open(replaced_.c_str(), flags)) < 0 && pipe && errno == ENXIO) {
            if (whileWaiting)
                whileWaiting();
            ::poll(nullptr, 0, 50);
        }
        if (fd_ < 0)
            fail("open");
        if (pipe)
            ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
        streamed_ = true;
        held_ = patchedLater;
        return;
    }
    /* As cp does: a file the user could not write is not replaced (root
     * can write any). */
    if (replacing && ::access(replaced_.c_str(), W_OK) != 0)
        fail("replace");
    for (int attempt = 0; attempt < 100 && fd_ < 0; attempt++) {
        temporary_ = temporaryPath(replaced_);
        fd_ = createTemporary(temporary_);
        if (fd_ < 0 && errno != EEXIST)
            break;
    }
    if (fd_ < 0) {
        temporary_.clear();
        fail("create");
    }
    if (replacing) {
        if (existing.st_uid != ::geteuid() || existing.st_gid != ::getegid()) {
            [[maybe_unused]] int kept = ::fchown(fd_, existing.st_uid, existing.st_gid);
        }
        ::fchmod(fd_, existing.st_mode & 0777);
    } else {
        mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(fd_, 0666 & ~mask);
    }
}

OutputFile::~OutputFile()
{
    if (fd_ > 1)
        ::close(fd_);
    if (!committed_ && !temporary_.empty()) {
        ::unlink(temporary_.c_str());
        forgetTemporary(temporary_);
    }
}

std::string OutputFile::name() const
{
    return path_ == "-" ? "standard output" : "'" + path_ + "'";
}

void OutputFile::fail(const char *what) const
{
    const std::string reason = std::strerror(errno);
    throw HostError("cannot " + std::string(what) + " " + name() + ": " + reason);
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
        throw HostError("the header sent ahead to " + name() +
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
    if (::rename(temporary_.c_str(), replaced_.c_str()) != 0)
        fail("write");
    forgetTemporary(temporary_);
    committed_ = true;
}

} // namespace orvane
