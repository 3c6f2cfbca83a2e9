#include "loadable_file.h"

#include "byteorder.h"

#include <elf.h>
#include <fcntl.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

/* The ELF records of this build's class: a file of the other class is
 * refused before any field past the identification is read. */
using FileHeader = ElfW(Ehdr);
using ProgramHeader = ElfW(Phdr);

constexpr unsigned char kClass = sizeof(FileHeader) == sizeof(Elf64_Ehdr) ? ELFCLASS64 : ELFCLASS32;
constexpr bool kBigEndian = __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__;
constexpr unsigned char kByteOrder = kBigEndian ? ELFDATA2MSB : ELFDATA2LSB;

/* The ELF machine this build runs on; 0 where it is not listed here (the
 * dynamic loader then refuses another machine's file by itself). */
constexpr unsigned kMachine =
#if defined(__x86_64__)
    EM_X86_64;
#elif defined(__i386__)
    EM_386;
#elif defined(__powerpc64__)
    EM_PPC64;
#elif defined(__powerpc__)
    EM_PPC;
#elif defined(__aarch64__)
    EM_AARCH64;
#elif defined(__arm__)
    EM_ARM;
#elif defined(__riscv)
    EM_RISCV;
#else
    0;
#endif

/* A field of 2, 4 or 8 bytes in the file's byte order (this build's, once
 * the identification is checked). */
uint64_t loadField(const uint8_t *at, size_t width)
{
    switch (width) {
    case 2: return kBigEndian ? ov_load_be16(at) : ov_load_le16(at);
    case 4: return kBigEndian ? ov_load_be32(at) : ov_load_le32(at);
    default: return kBigEndian ? ov_load_be64(at) : ov_load_le64(at);
    }
}

#define OV_ELF_FIELD(Record, bytes, field)                                                         \
    loadField((bytes) + offsetof(Record, field), sizeof(Record::field))

/* Whether count bytes from offset lie inside a file of size bytes, without
 * an addition that could wrap. */
bool inside(uint64_t offset, uint64_t count, uint64_t size)
{
    return offset <= size && count <= size - offset;
}

/* Reads count bytes at offset; false when the file gives fewer. */
bool readAt(int fd, uint64_t offset, std::vector<uint8_t> &bytes, size_t count)
{
    bytes.resize(count);
    size_t done = 0;
    while (done < count) {
        ssize_t got =
            pread(fd, bytes.data() + done, count - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        done += static_cast<size_t>(got);
    }
    return true;
}

std::string number(uint64_t value) { return std::to_string(value); }

/* " (N bytes at byte X; the file has M)" */
std::string placeText(uint64_t offset, uint64_t count, uint64_t size)
{
    return " (" + number(count) + " bytes at byte " + number(offset) + "; the file has " +
           number(size) + ")";
}

std::string headerFault(const uint8_t *header, uint64_t size)
{
    const unsigned char fileClass = header[EI_CLASS], byteOrder = header[EI_DATA];
    auto bits = [](unsigned char of) {
        return of == ELFCLASS32 ? "32-bit" : of == ELFCLASS64 ? "64-bit" : "unknown-class";
    };
    auto order = [](unsigned char of) {
        return of == ELFDATA2MSB   ? "big-endian"
               : of == ELFDATA2LSB ? "little-endian"
                                   : "unknown-order";
    };
    if (fileClass != kClass)
        return std::string("a ") + bits(fileClass) + " ELF file; this program loads " +
               bits(kClass) + " ones";
    if (byteOrder != kByteOrder)
        return std::string("a ") + order(byteOrder) + " ELF file; this program loads " +
               order(kByteOrder) + " ones";
    if (size < sizeof(FileHeader))
        return "cut short in its ELF header (" + number(size) + " of " +
               number(sizeof(FileHeader)) + " bytes)";
    const uint64_t version = OV_ELF_FIELD(FileHeader, header, e_version);
    if (header[EI_VERSION] != EV_CURRENT || version != EV_CURRENT)
        return "an ELF file of an unknown version (" + number(version) + ")";
    const uint64_t type = OV_ELF_FIELD(FileHeader, header, e_type);
    if (type != ET_DYN)
        return "not a shared object (ELF type " + number(type) + ")";
    const uint64_t machine = OV_ELF_FIELD(FileHeader, header, e_machine);
    if (kMachine != 0 && machine != kMachine)
        return "built for another machine (ELF machine " + number(machine) + "; this one is " +
               number(kMachine) + ")";
    const uint64_t entrySize = OV_ELF_FIELD(FileHeader, header, e_phentsize);
    if (entrySize != sizeof(ProgramHeader))
        return "program headers of " + number(entrySize) + " bytes, not " +
               number(sizeof(ProgramHeader));
    if (OV_ELF_FIELD(FileHeader, header, e_phnum) == 0)
        return "no program headers";
    return {};
}

/* The program header table and the bytes of every segment lie inside the
 * file. */
std::string segmentFault(int fd, const uint8_t *header, uint64_t size)
{
    const uint64_t tableOffset = OV_ELF_FIELD(FileHeader, header, e_phoff),
                   count = OV_ELF_FIELD(FileHeader, header, e_phnum),
                   tableBytes = count * sizeof(ProgramHeader);
    std::vector<uint8_t> table;
    if (!inside(tableOffset, tableBytes, size) || !readAt(fd, tableOffset, table, tableBytes))
        return "cut short or damaged: its program headers lie past its end" +
               placeText(tableOffset, tableBytes, size);
    for (uint64_t i = 0; i < count; i++) {
        const uint8_t *entry = table.data() + i * sizeof(ProgramHeader);
        const uint64_t offset = OV_ELF_FIELD(ProgramHeader, entry, p_offset),
                       bytes = OV_ELF_FIELD(ProgramHeader, entry, p_filesz);
        if (!inside(offset, bytes, size))
            return "cut short or damaged: " +
                   std::string(OV_ELF_FIELD(ProgramHeader, entry, p_type) == PT_LOAD
                                   ? "loadable segment "
                                   : "segment ") +
                   number(i + 1) + " of " + number(count) + " lies past its end" +
                   placeText(offset, bytes, size);
    }
    return {};
}

} // namespace

namespace ov {

std::string loadableFileFault(const char *path)
{
    /* Not blocking: a FIFO given as a plug-in is refused, not waited on. */
    const int fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return std::string("cannot be read: ") + std::strerror(errno);
    std::string fault;
    struct stat status {};
    std::vector<uint8_t> header;
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        fault = "not a regular file";
    } else if (status.st_size == 0) {
        fault = "an empty file";
    } else {
        const auto size = static_cast<uint64_t>(status.st_size);
        const size_t have =
            size < sizeof(FileHeader) ? static_cast<size_t>(size) : sizeof(FileHeader);
        if (!readAt(fd, 0, header, have))
            fault = "cannot be read";
        else if (have < SELFMAG || std::memcmp(header.data(), ELFMAG, SELFMAG) != 0)
            fault = "not an ELF file";
        else if (have < EI_NIDENT)
            fault = "cut short in its ELF header (" + number(have) + " of " +
                    number(sizeof(FileHeader)) + " bytes)";
        else if (fault = headerFault(header.data(), size); fault.empty())
            fault = segmentFault(fd, header.data(), size);
    }
    close(fd);
    return fault;
}

} // namespace ov
