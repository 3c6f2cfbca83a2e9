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
#include <utility>

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

[[noreturn]] void fail(const std::string &name, const char *what)
{
    const std::string reason = std::strerror(errno);
    throw HostError("cannot " + std::string(what) + " " + name + ": " + reason);
}

void writeAll(int fd, std::span<const uint8_t> bytes, const std::string &name)
{
    while (!bytes.empty()) {
        ssize_t done = ::write(fd, bytes.data(), bytes.size());
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0)
            fail(name, "write");
        bytes = bytes.subspan(static_cast<size_t>(done));
    }
}

/* An open descriptor, closed with its owner (standard output never). */
class Descriptor {
public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    ~Descriptor() { close(); }
    Descriptor(Descriptor &&other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Descriptor &operator=(Descriptor &&other) noexcept
    {
        if (this != &other) {
            close();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    int get() const { return fd_; }
    /* Closes it now; the result of close(2). */
    int close()
    {
        const int fd = std::exchange(fd_, -1);
        return fd > 1 ? ::close(fd) : 0;
    }

private:
    int fd_ = -1;
};

} // namespace

class OutputFile::Destination {
public:
    explicit Destination(std::string name) : name_(std::move(name)) {}
    virtual ~Destination() = default;
    /* `bytes` follow the `size` bytes written before them. */
    virtual void append(std::span<const uint8_t> bytes, uint64_t size) = 0;
    /* Overwrites bytes already written (the caller checked they are). */
    virtual void patch(uint64_t offset, std::span<const uint8_t> bytes) = 0;
    virtual void commit() = 0;
    virtual bool streamed() const { return false; }
    virtual bool heldFull() const { return false; }
    virtual uint64_t sentBytes(uint64_t) const { return 0; }

protected:
    [[noreturn]] void fail(const char *what) const { orvane::fail(name_, what); }
    const std::string name_;
};

namespace {

/* A file on a disk: written under a hidden temporary name beside the file
 * it replaces (or makes), renamed over it once complete. */
class RenamedFile final : public OutputFile::Destination {
public:
    /* `existing`: the file replaced, null when there is none. */
    RenamedFile(const std::string &replaced, const struct stat *existing, std::string name)
        : Destination(std::move(name)), replaced_(replaced)
    {
        /* As cp does: a file the user could not write is not replaced
         * (root can write any). */
        if (existing != nullptr && ::access(replaced_.c_str(), W_OK) != 0)
            fail("replace");
        int fd = -1;
        for (int attempt = 0; attempt < 100 && fd < 0; attempt++) {
            temporary_ = temporaryPath(replaced_);
            fd = createTemporary(temporary_);
            if (fd < 0 && errno != EEXIST)
                break;
        }
        if (fd < 0) {
            temporary_.clear();
            fail("create");
        }
        fd_ = Descriptor(fd);
        takeModeOf(existing);
    }
    ~RenamedFile() override
    {
        fd_.close();
        if (!committed_ && !temporary_.empty()) {
            ::unlink(temporary_.c_str());
            forgetTemporary(temporary_);
        }
    }
    void append(std::span<const uint8_t> bytes, uint64_t) override
    {
        writeAll(fd_.get(), bytes, name_);
    }
    void patch(uint64_t offset, std::span<const uint8_t> bytes) override
    {
        ssize_t done = ::pwrite(fd_.get(), bytes.data(), bytes.size(), static_cast<off_t>(offset));
        if (done != static_cast<ssize_t>(bytes.size()))
            fail("write");
    }
    void commit() override
    {
        if (::fsync(fd_.get()) != 0) {
            const int error = errno;
            fd_.close();
            errno = error;
            fail("write");
        }
        if (fd_.close() != 0)
            fail("write");
        if (::rename(temporary_.c_str(), replaced_.c_str()) != 0)
            fail("write");
        forgetTemporary(temporary_);
        committed_ = true;
    }

private:
    /* A file replaced keeps its mode (and, where allowed, its owner); a new
     * one gets what the umask leaves of 0666. */
    void takeModeOf(const struct stat *existing)
    {
        if (existing != nullptr) {
            if (existing->st_uid != ::geteuid() || existing->st_gid != ::getegid()) {
                [[maybe_unused]] int kept = ::fchown(fd_.get(), existing->st_uid, existing->st_gid);
            }
            ::fchmod(fd_.get(), existing->st_mode & 0777);
        } else {
            mode_t mask = ::umask(0);
            ::umask(mask);
            ::fchmod(fd_.get(), 0666 & ~mask);
        }
    }

    std::string replaced_; /* the file a link leads to, or the path itself */
    std::string temporary_;
    Descriptor fd_;
    bool committed_ = false;
};

/* Standard output, a device or a pipe, written in order as the bytes come.
 * A head sent ahead stands in for the first bytes as first written, which
 * later patches must leave exactly as sent. */
class StreamedFile final : public OutputFile::Destination {
public:
    StreamedFile(Descriptor fd, std::vector<uint8_t> head, std::string name)
        : Destination(std::move(name)), fd_(std::move(fd)), head_(std::move(head))
    {}
    void append(std::span<const uint8_t> bytes, uint64_t size) override
    {
        if (size >= head_.size() && waiting_.empty())
            return writeAll(fd_.get(), bytes, name_);
        /* The head waits to go out with the first bytes after it: a reader
         * that looks at the header alone may take it for the whole file. */
        size_t promised = static_cast<size_t>(std::min<uint64_t>(
            head_.size() - std::min<uint64_t>(size, head_.size()), bytes.size()));
        finalHead_.insert(finalHead_.end(), bytes.begin(),
                          bytes.begin() + static_cast<ptrdiff_t>(promised));
        auto headAt = head_.begin() + static_cast<ptrdiff_t>(size < head_.size() ? size : 0);
        waiting_.insert(waiting_.end(), headAt, headAt + static_cast<ptrdiff_t>(promised));
        waiting_.insert(waiting_.end(), bytes.begin() + static_cast<ptrdiff_t>(promised),
                        bytes.end());
        if (size + bytes.size() > head_.size()) {
            writeAll(fd_.get(), waiting_, name_);
            waiting_ = {};
        }
    }
    void patch(uint64_t offset, std::span<const uint8_t> bytes) override
    {
        if (offset + bytes.size() > head_.size()) {
            errno = ESPIPE;
            fail("patch");
        }
        /* Checked against the head sent ahead once the file is complete. */
        std::copy(bytes.begin(), bytes.end(), finalHead_.begin() + static_cast<ptrdiff_t>(offset));
    }
    void commit() override
    {
        if (finalHead_ != head_)
            throw HostError("the header sent ahead to " + name_ +
                            " does not match the file as it ended; the output is not a valid file");
        writeAll(fd_.get(), waiting_, name_);
    }
    bool streamed() const override { return true; }
    uint64_t sentBytes(uint64_t size) const override { return size; }

private:
    Descriptor fd_;
    std::vector<uint8_t> head_;      /* sent ahead */
    std::vector<uint8_t> finalHead_; /* those bytes as written and patched here */
    std::vector<uint8_t> waiting_;   /* the head, until the bytes after it come */
};

/* Standard output, a device or a pipe for a file patched at its end: the
 * bytes are held here until it is complete, up to kHeldLimit. */
class HeldStream final : public OutputFile::Destination {
public:
    HeldStream(Descriptor fd, std::string name) : Destination(std::move(name)), fd_(std::move(fd))
    {}
    void append(std::span<const uint8_t> bytes, uint64_t) override
    {
        checkReader();
        const uint64_t needed = held_.size() + bytes.size();
        if (needed > held_.capacity())
            held_.reserve(static_cast<size_t>(std::max<uint64_t>(
                needed, std::min<uint64_t>(held_.capacity() * 2,
                                           OutputFile::kHeldLimit + kHeldFinishBytes))));
        held_.insert(held_.end(), bytes.begin(), bytes.end());
    }
    void patch(uint64_t offset, std::span<const uint8_t> bytes) override
    {
        std::copy(bytes.begin(), bytes.end(), held_.begin() + static_cast<ptrdiff_t>(offset));
    }
    void commit() override
    {
        writeAll(fd_.get(), held_, name_);
        held_.clear();
    }
    bool streamed() const override { return true; }
    bool heldFull() const override { return held_.size() >= OutputFile::kHeldLimit; }
    /* Streams from now on, `head` sent ahead. */
    std::unique_ptr<StreamedFile> sendAhead(std::vector<uint8_t> head)
    {
        return std::make_unique<StreamedFile>(std::move(fd_), std::move(head), name_);
    }

private:
    /* Ends the program as a write would (SIGPIPE) once the reader of the
     * pipe has gone, instead of holding on for nobody. */
    void checkReader() const
    {
        /* POLLERR and POLLHUP are reported whatever is asked for. */
        struct pollfd reader {
            fd_.get(), 0, 0
        };
        if (::poll(&reader, 1, 0) == 1 && (reader.revents & (POLLERR | POLLHUP)) != 0) {
            ::raise(SIGPIPE);
            errno = EPIPE;
            fail("write");
        }
    }

    Descriptor fd_;
    std::vector<uint8_t> held_;
};

/* Nowhere: keeps the first bytes written and learns which of them are
 * rewritten. */
class ProbeOfHead final : public OutputFile::Destination {
public:
    ProbeOfHead() : Destination("'(probe)'") {}
    void append(std::span<const uint8_t> bytes, uint64_t size) override
    {
        size_t kept = static_cast<size_t>(std::min<uint64_t>(
            bytes.size(), kProbeKeptBytes - std::min<uint64_t>(size, kProbeKeptBytes)));
        head_.insert(head_.end(), bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(kept));
    }
    void patch(uint64_t offset, std::span<const uint8_t> bytes) override
    {
        uint64_t end = offset + bytes.size();
        if (end > head_.size()) {
            overflow_ = true;
            return;
        }
        std::copy(bytes.begin(), bytes.end(), head_.begin() + static_cast<ptrdiff_t>(offset));
        rewrittenEnd_ = std::max(rewrittenEnd_, end);
    }
    void commit() override {}
    std::optional<std::vector<uint8_t>> rewrittenHead() const
    {
        if (overflow_)
            return std::nullopt;
        return std::vector<uint8_t>(head_.begin(),
                                    head_.begin() + static_cast<ptrdiff_t>(rewrittenEnd_));
    }

private:
    std::vector<uint8_t> head_;
    uint64_t rewrittenEnd_ = 0; /* end of the furthest patch */
    bool overflow_ = false;     /* a patch beyond the bytes kept */
};

/* Opens a device, a pipe or a socket to write to as it is, like standard
 * output: renaming a finished file over it would replace it. A pipe
 * nobody reads yet is waited for without blocking, so that Ctrl-C still
 * counts. */
Descriptor openStreamed(const std::string &path, bool pipe,
                        const std::function<void()> &whileWaiting, const std::string &name)
{
    const int flags = O_WRONLY | O_CLOEXEC | (pipe ? O_NONBLOCK : 0);
    int fd;
    while ((fd = ::open(path.c_str(), flags)) < 0 && pipe && errno == ENXIO) {
        if (whileWaiting)
            whileWaiting();
        ::poll(nullptr, 0, 50);
    }
    if (fd < 0)
        fail(name, "open");
    if (pipe)
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return Descriptor(fd);
}

std::unique_ptr<OutputFile::Destination> streamedTo(Descriptor fd, bool patchedLater,
                                                    const std::string &name)
{
    if (patchedLater)
        return std::make_unique<HeldStream>(std::move(fd), name);
    return std::make_unique<StreamedFile>(std::move(fd), std::vector<uint8_t>{}, name);
}

} // namespace

OutputFile::OutputFile(HeadProbe) : path_("(probe)"), to_(std::make_unique<ProbeOfHead>()) {}

OutputFile::OutputFile(const std::string &path, bool patchedLater,
                       const std::function<void()> &whileWaiting)
    : path_(path)
{
    if (path == "-") {
        to_ = streamedTo(Descriptor(1), patchedLater, name());
        return;
    }
    const std::string replaced = linkTarget(path);
    if (replaced.empty()) {
        errno = ELOOP;
        fail(name(), "create");
    }
    struct stat existing {};
    const bool replacing = ::stat(replaced.c_str(), &existing) == 0;
    if (!replacing && errno != ENOENT)
        fail(name(), "create");
    if (replacing && S_ISDIR(existing.st_mode)) {
        errno = EISDIR;
        fail(name(), "create");
    }
    if (replacing && !S_ISREG(existing.st_mode))
        to_ = streamedTo(openStreamed(replaced, S_ISFIFO(existing.st_mode), whileWaiting, name()),
                         patchedLater, name());
    else
        to_ = std::make_unique<RenamedFile>(replaced, replacing ? &existing : nullptr, name());
}

OutputFile::~OutputFile() = default;

std::string OutputFile::name() const
{
    return path_ == "-" ? "standard output" : "'" + path_ + "'";
}

bool OutputFile::streamed() const { return to_->streamed(); }

bool OutputFile::heldFull() const { return to_->heldFull(); }

uint64_t OutputFile::sentBytes() const { return to_->sentBytes(size_); }

void OutputFile::append(std::span<const uint8_t> bytes)
{
    to_->append(bytes, size_);
    size_ += bytes.size();
}

void OutputFile::patch(uint64_t offset, std::span<const uint8_t> bytes)
{
    if (offset > size_ || bytes.size() > size_ - offset) {
        errno = EINVAL;
        fail(name(), "patch");
    }
    to_->patch(offset, bytes);
}

void OutputFile::writeAt(uint64_t offset, std::span<const uint8_t> bytes)
{
    if (offset > size_) {
        errno = EINVAL;
        fail(name(), "write");
    }
    size_t overlap = static_cast<size_t>(std::min<uint64_t>(size_ - offset, bytes.size()));
    if (overlap > 0)
        patch(offset, bytes.first(overlap));
    append(bytes.subspan(overlap));
}

void OutputFile::commit() { to_->commit(); }

std::optional<std::vector<uint8_t>> OutputFile::rewrittenHead() const
{
    const auto *probe = dynamic_cast<const ProbeOfHead *>(to_.get());
    return probe != nullptr ? probe->rewrittenHead() : std::vector<uint8_t>{};
}

void OutputFile::sendAhead(std::vector<uint8_t> head)
{
    auto *held = dynamic_cast<HeldStream *>(to_.get());
    if (held == nullptr || size_ != 0) {
        errno = EINVAL;
        fail(name(), "stream");
    }
    to_ = held->sendAhead(std::move(head));
}

} // namespace orvane
