/* dos.library over POSIX files, with injected faults for the tests. */
#include "dos.h"
#include "exec_internal.h"
#include "testing.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace {

struct DosFile {
    int fd;
};

std::atomic<uint32> openFiles{0};
std::atomic<uint64> dosCalls{0};
std::atomic<uint64> failAtCall{0};
std::atomic<uint64> freadCalls{0};
std::atomic<uint64> shortAtRead{0};

/* Counts a call; true when the tests asked for this one to fail. */
bool countCallAndFail()
{
    const uint64 call = ++dosCalls;
    const uint64 failAt = failAtCall.load();
    return failAt != 0 && call == failAt;
}

uint32 dosObtain(struct DOSIFace *Self) { return ++Self->Data.RefCount; }
uint32 dosRelease(struct DOSIFace *Self) { return --Self->Data.RefCount; }

BPTR dosFOpen(struct DOSIFace *, CONST_STRPTR name, int32 accessMode, int32)
{
    if (countCallAndFail() || name == nullptr)
        return 0;
    int flags;
    switch (accessMode) {
    case MODE_OLDFILE: flags = O_RDONLY; break;
    case MODE_NEWFILE: flags = O_RDWR | O_CREAT | O_TRUNC; break;
    case MODE_READWRITE: flags = O_RDWR | O_CREAT; break;
    default: return 0;
    }
    int fd = ::open(name, flags | O_CLOEXEC, 0666);
    if (fd < 0)
        return 0;
    struct stat info;
    if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
        ::close(fd);
        return 0;
    }
    ++openFiles;
    return reinterpret_cast<BPTR>(new DosFile{fd});
}

int32 dosFClose(struct DOSIFace *, BPTR file)
{
    if (file == 0)
        return 0;
    auto *handle = reinterpret_cast<DosFile *>(file);
    ::close(handle->fd);
    delete handle;
    --openFiles;
    return 1;
}

/* Reads as much as arrives, up to the whole request. */
uint64 readFully(int fd, uint8 *buffer, uint64 length)
{
    uint64 done = 0;
    while (done < length) {
        ssize_t got = ::read(fd, buffer + done, length - done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        done += static_cast<uint64>(got);
    }
    return done;
}

uint32 dosFRead(struct DOSIFace *, BPTR file, APTR buffer, uint32 blockLength, uint32 blockCount)
{
    const uint64 readCall = ++freadCalls;
    if (countCallAndFail() || file == 0 || buffer == nullptr || blockLength == 0)
        return 0;
    const uint64 shortAt = shortAtRead.load();
    if (shortAt != 0 && readCall == shortAt && blockCount > 0)
        blockCount -= 1;
    auto *handle = reinterpret_cast<DosFile *>(file);
    const uint64 got = readFully(handle->fd, static_cast<uint8 *>(buffer),
                                 static_cast<uint64>(blockLength) * blockCount);
    return static_cast<uint32>(got / blockLength);
}

int32 dosChangeFilePosition(struct DOSIFace *, BPTR file, int64 position, int32 mode)
{
    if (countCallAndFail() || file == 0)
        return 0;
    auto *handle = reinterpret_cast<DosFile *>(file);
    struct stat info;
    if (::fstat(handle->fd, &info) != 0)
        return 0;
    off_t current = ::lseek(handle->fd, 0, SEEK_CUR);
    if (current < 0)
        return 0;
    int64 target;
    switch (mode) {
    case OFFSET_BEGINNING: target = position; break;
    case OFFSET_CURRENT:
        if (__builtin_add_overflow(static_cast<int64>(current), position, &target))
            return 0;
        break;
    case OFFSET_END:
        if (__builtin_add_overflow(static_cast<int64>(info.st_size), position, &target))
            return 0;
        break;
    default: return 0;
    }
    /* As on the real system, a position outside the file is refused. */
    if (target < 0 || target > static_cast<int64>(info.st_size))
        return 0;
    return ::lseek(handle->fd, static_cast<off_t>(target), SEEK_SET) < 0 ? 0 : 1;
}

} // namespace

// clang-format off
void *const ov::exec::dosVectors[] = {
    (void *)dosObtain, (void *)dosRelease, nullptr, nullptr, (void *)dosFOpen,
    (void *)dosFClose, (void *)dosFRead,   (void *)dosChangeFilePosition,
    VECTOR_TABLE_END,
};
// clang-format on

uint32 ovTestOpenFiles(void) { return openFiles.load(); }
uint64 ovTestDosCalls(void) { return dosCalls.load(); }

void ovTestFailDosCall(uint32 n) { failAtCall = n == 0 ? 0 : dosCalls.load() + n; }

void ovTestShortDosRead(uint32 n) { shortAtRead = n == 0 ? 0 : freadCalls.load() + n; }
