/*
 * Libraries: loading plug-in files, finding their resident tag, creating the
 * library base and its interfaces from the creation tags, opening, closing,
 * expunging and unloading; and the platform's own libraries.
 */
#include "exec_internal.h"
#include "loadable_file.h"
#include "platform.h"
#include "testing.h"

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace {

using namespace ov::exec;

struct Segment {
    void *handle;
    std::string path;
};

struct LibraryRecord {
    std::vector<struct Interface *> interfaces; /* the manager among them */
    bool builtin = false;
};

struct Builtin {
    uint16 version;
    void *const *vectors;
    struct Library *library = nullptr;
};

/* Never destroyed: the platform's own libraries live as long as the
 * process, and nothing may tear them down under a late caller. */
std::map<struct Library *, LibraryRecord> &records()
{
    static auto *all = new std::map<struct Library *, LibraryRecord>;
    return *all;
}

std::map<std::string, Builtin> &builtins()
{
    /* dos.library is always there, as on the real system. */
    static auto *all = new std::map<std::string, Builtin>{{"dos.library", Builtin{53, dosVectors}}};
    return *all;
}

std::string &libraryPath()
{
    static std::string path = [] {
        std::error_code error;
        auto self = std::filesystem::read_symlink("/proc/self/exe", error);
        return error ? std::string(".") : self.parent_path().string();
    }();
    return path;
}

std::string failOpenName;
std::string failInterfaceLibrary;
std::string failInterfaceName;

std::string baseName(const char *name)
{
    const char *slash = std::strrchr(name, '/');
    return slash ? slash + 1 : name;
}

std::string resolveFile(const char *name)
{
    if (std::strchr(name, '/') != nullptr)
        return std::filesystem::exists(name) ? std::string(name) : std::string();
    const std::string &path = libraryPath();
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find(':', start);
        if (end == std::string::npos)
            end = path.size();
        std::string folder = path.substr(start, end - start);
        if (!folder.empty()) {
            std::string candidate = folder + "/" + name;
            if (std::filesystem::is_regular_file(candidate))
                return candidate;
        }
        start = end + 1;
    }
    return {};
}

/* ---- finding the resident tag ---- */

struct ScanRange {
    ElfW(Addr) base;
    const struct Resident *found;
};

/* Loaded memory is read byte by byte: the scan walks over every global of
 * the file, including the guard zones a sanitizer puts around them. */
__attribute__((no_sanitize("address", "undefined"))) uintptr_t addressAt(const uint8 *p)
{
    const volatile uint8 *field = p;
    uint8 bytes[sizeof(uintptr_t)];
    for (size_t i = 0; i < sizeof bytes; i++)
        bytes[i] = field[i];
    uintptr_t address;
    __builtin_memcpy(&address, bytes, sizeof address);
    return address;
}

/* A resident tag: the match word, then its own address, and an end-skip
 * address behind the structure (where a scan for further tags goes on). */
__attribute__((no_sanitize("address", "undefined"))) const struct Resident *
scanForResident(const uint8 *start, const uint8 *end)
{
    const uintptr_t step = alignof(struct Resident);
    uintptr_t first = (reinterpret_cast<uintptr_t>(start) + step - 1) & ~(step - 1);
    for (const uint8 *p = reinterpret_cast<const uint8 *>(first);
         p + sizeof(struct Resident) <= end; p += step) {
        uint16 word;
        __builtin_memcpy(&word, p, sizeof word);
        if (word != RTC_MATCHWORD)
            continue;
        const auto here = reinterpret_cast<uintptr_t>(p);
        if (addressAt(p + offsetof(struct Resident, rt_MatchTag)) == here &&
            addressAt(p + offsetof(struct Resident, rt_EndSkip)) >= here + sizeof(struct Resident))
            return reinterpret_cast<const struct Resident *>(p);
    }
    return nullptr;
}

int scanObject(struct dl_phdr_info *info, size_t, void *data)
{
    auto *range = static_cast<ScanRange *>(data);
    if (info->dlpi_addr != range->base)
        return 0;
    for (int i = 0; i < info->dlpi_phnum && range->found == nullptr; i++) {
        const ElfW(Phdr) &ph = info->dlpi_phdr[i];
        if (ph.p_type != PT_LOAD || !(ph.p_flags & PF_R))
            continue;
        auto *start = reinterpret_cast<const uint8 *>(info->dlpi_addr + ph.p_vaddr);
        range->found = scanForResident(start, start + ph.p_filesz);
    }
    return 1;
}

const struct Resident *findResident(void *handle)
{
    struct link_map *map = nullptr;
    if (dlinfo(handle, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr)
        return nullptr;
    ScanRange range{map->l_addr, nullptr};
    dl_iterate_phdr(scanObject, &range);
    return range.found;
}

Tag tagValue(const struct TagItem *tags, Tag tag, Tag fallback)
{
    for (; tags != nullptr && tags->ti_Tag != TAG_DONE; tags++) {
        if (tags->ti_Tag == tag)
            return tags->ti_Data;
    }
    return fallback;
}

struct Interface *makeInterface(struct Library *library, const char *name, uint32 version,
                                void *const *vectors)
{
    size_t count = 0;
    while (vectors[count] != VECTOR_TABLE_END)
        count++;
    auto *iface = static_cast<struct Interface *>(
        std::calloc(1, sizeof(struct InterfaceData) + count * sizeof(void *)));
    if (iface == nullptr)
        return nullptr;
    iface->Data.Link.ln_Type = NT_INTERFACE;
    iface->Data.Link.ln_Name = const_cast<char *>(name);
    iface->Data.LibBase = library;
    iface->Data.Version = version;
    iface->Data.PositiveSize = static_cast<uint32>(count * sizeof(void *));
    std::memcpy(InterfaceVectors(iface), vectors, count * sizeof(void *));
    return iface;
}

void freeLibraryMemory(struct Library *library)
{
    auto it = records().find(library);
    if (it != records().end()) {
        for (struct Interface *iface : it->second.interfaces)
            std::free(iface);
        records().erase(it);
    }
    std::free(library);
}

/* The interface "__library", wherever the file listed it. */
struct LibraryManagerInterface *managerOf(struct Library *library)
{
    auto it = records().find(library);
    if (it == records().end())
        return nullptr;
    for (struct Interface *iface : it->second.interfaces) {
        if (std::strcmp(iface->Data.Link.ln_Name, "__library") == 0)
            return reinterpret_cast<struct LibraryManagerInterface *>(iface);
    }
    return nullptr;
}

/* ---- the platform's own libraries: a plain open count ---- */

uint32 builtinObtain(struct LibraryManagerInterface *Self) { return ++Self->Data.RefCount; }
uint32 builtinRelease(struct LibraryManagerInterface *Self) { return --Self->Data.RefCount; }
struct Library *builtinOpen(struct LibraryManagerInterface *Self, uint32 version)
{
    struct Library *library = Self->Data.LibBase;
    if (version > library->lib_Version)
        return nullptr;
    library->lib_OpenCnt++;
    return library;
}
BPTR builtinClose(struct LibraryManagerInterface *Self)
{
    Self->Data.LibBase->lib_OpenCnt--;
    return 0;
}
BPTR builtinExpunge(struct LibraryManagerInterface *) { return 0; }

// clang-format off
void *const builtinManagerVectors[] = {
    (void *)builtinObtain, (void *)builtinRelease, nullptr, nullptr, (void *)builtinOpen,
    (void *)builtinClose,  (void *)builtinExpunge, nullptr, VECTOR_TABLE_END,
};
// clang-format on

struct Library *createBuiltin(const std::string &name, Builtin &builtin)
{
    auto *library = static_cast<struct Library *>(std::calloc(1, sizeof(struct Library)));
    if (library == nullptr)
        return nullptr;
    auto it = builtins().find(name);
    library->lib_Node.ln_Type = NT_LIBRARY;
    library->lib_Node.ln_Name = const_cast<char *>(it->first.c_str());
    library->lib_Version = builtin.version;
    LibraryRecord record;
    record.builtin = true;
    record.interfaces.push_back(makeInterface(library, "__library", 1, builtinManagerVectors));
    record.interfaces.push_back(makeInterface(library, "main", 1, builtin.vectors));
    records()[library] = record;
    addTail(&AbsExecBase->LibList, &library->lib_Node);
    builtin.library = library;
    return library;
}

/* ---- loading a library file ---- */

struct Library *loadLibraryFile(const char *name)
{
    BPTR seg = ovLoadSeg(name);
    if (seg == 0)
        return nullptr;
    auto *segment = reinterpret_cast<Segment *>(seg);
    const struct Resident *resident = findResident(segment->handle);
    if (resident == nullptr || resident->rt_Type != NT_LIBRARY ||
        !(resident->rt_Flags & RTF_AUTOINIT)) {
        ovUnLoadSeg(seg);
        return nullptr;
    }
    auto *tags = static_cast<const struct TagItem *>(resident->rt_Init);
    size_t dataSize = tagValue(tags, CLT_DataSize, sizeof(struct Library));
    if (dataSize < sizeof(struct Library))
        dataSize = sizeof(struct Library);
    using InitFn = struct Library *(*)(struct Library *, BPTR, struct ExecIFace *);
    auto init = reinterpret_cast<InitFn>(tagValue(tags, CLT_InitFunc, 0));
    auto *interfaceLists =
        reinterpret_cast<const struct TagItem *const *>(tagValue(tags, CLT_Interfaces, 0));

    auto *library = static_cast<struct Library *>(std::calloc(1, dataSize));
    if (library == nullptr) {
        ovUnLoadSeg(seg);
        return nullptr;
    }
    LibraryRecord record;
    for (size_t i = 0; interfaceLists != nullptr && interfaceLists[i] != nullptr; i++) {
        const struct TagItem *list = interfaceLists[i];
        auto *ifaceName = reinterpret_cast<const char *>(tagValue(list, MIT_Name, 0));
        auto *vectors = reinterpret_cast<void *const *>(tagValue(list, MIT_VectorTable, 0));
        auto version = static_cast<uint32>(tagValue(list, MIT_Version, 0));
        if (ifaceName == nullptr || vectors == nullptr)
            continue;
        if (struct Interface *iface = makeInterface(library, ifaceName, version, vectors))
            record.interfaces.push_back(iface);
    }
    records()[library] = record;
    /* Without its manager nothing could open, close or expunge the library. */
    if (managerOf(library) == nullptr) {
        freeLibraryMemory(library);
        ovUnLoadSeg(seg);
        return nullptr;
    }
    library->lib_Node.ln_Type = NT_LIBRARY;
    library->lib_Node.ln_Name = resident->rt_Name;
    if (init != nullptr && init(library, seg, AbsExecBase->MainInterface) == nullptr) {
        freeLibraryMemory(library);
        ovUnLoadSeg(seg);
        return nullptr;
    }
    addTail(&AbsExecBase->LibList, &library->lib_Node);
    return library;
}

} // namespace

namespace ov::exec {

struct Library *openLibrary(CONST_STRPTR name, uint32 version)
{
    if (name == nullptr)
        return nullptr;
    std::lock_guard lock(systemLock());
    if (!failOpenName.empty() && baseName(name) == failOpenName)
        return nullptr;
    std::string nodeName = baseName(name);
    auto *library =
        reinterpret_cast<struct Library *>(findName(&AbsExecBase->LibList, nodeName.c_str()));
    if (library == nullptr) {
        auto builtin = builtins().find(nodeName);
        if (builtin != builtins().end())
            library = createBuiltin(nodeName, builtin->second);
        else
            library = loadLibraryFile(name);
    }
    if (library == nullptr)
        return nullptr;
    struct LibraryManagerInterface *manager = managerOf(library);
    if (manager == nullptr || manager->Open == nullptr)
        return nullptr;
    return manager->Open(manager, version);
}

void closeLibrary(struct Library *library)
{
    if (library == nullptr)
        return;
    std::lock_guard lock(systemLock());
    struct LibraryManagerInterface *manager = managerOf(library);
    if (manager == nullptr || manager->Close == nullptr)
        return;
    BPTR seg = manager->Close(manager);
    if (seg != 0)
        ovUnLoadSeg(seg);
}

struct Interface *getInterface(struct Library *library, CONST_STRPTR name, uint32 version)
{
    if (library == nullptr || name == nullptr)
        return nullptr;
    std::lock_guard lock(systemLock());
    if (!failInterfaceLibrary.empty() && library->lib_Node.ln_Name != nullptr &&
        failInterfaceLibrary == library->lib_Node.ln_Name && failInterfaceName == name)
        return nullptr;
    auto it = records().find(library);
    if (it == records().end())
        return nullptr;
    for (struct Interface *iface : it->second.interfaces) {
        if (std::strcmp(iface->Data.Link.ln_Name, name) != 0 || iface->Data.Version < version)
            continue;
        /* Counted here rather than through the interface's own Obtain,
         * whose Self type only the interface's users know. */
        iface->Data.RefCount++;
        return iface;
    }
    return nullptr;
}

void dropInterface(struct Interface *iface)
{
    if (iface == nullptr)
        return;
    std::lock_guard lock(systemLock());
    if (iface->Data.RefCount > 0)
        iface->Data.RefCount--;
}

void deleteLibrary(struct Library *library)
{
    if (library == nullptr)
        return;
    std::lock_guard lock(systemLock());
    freeLibraryMemory(library);
}

BPTR remLibrary(struct Library *library)
{
    if (library == nullptr)
        return 0;
    std::lock_guard lock(systemLock());
    struct LibraryManagerInterface *manager = managerOf(library);
    if (manager == nullptr || manager->LibExpunge == nullptr)
        return 0;
    BPTR seg = manager->LibExpunge(manager);
    if (seg != 0)
        ovUnLoadSeg(seg);
    return seg;
}

} // namespace ov::exec

void ovSetLibraryPath(const char *folders)
{
    std::lock_guard lock(systemLock());
    libraryPath() = folders != nullptr ? folders : "";
}

const char *ovGetLibraryPath(void) { return libraryPath().c_str(); }

uint32 ovExpungeLibraries(void)
{
    std::lock_guard lock(systemLock());
    std::vector<struct Library *> candidates;
    for (auto &[library, record] : records()) {
        if (!record.builtin && library->lib_OpenCnt == 0)
            candidates.push_back(library);
    }
    uint32 gone = 0;
    for (struct Library *library : candidates) {
        if (remLibrary(library) != 0)
            gone++;
    }
    return gone;
}

void ovRegisterBuiltinLibrary(const char *name, uint16 version, void *const *mainVectors)
{
    std::lock_guard lock(systemLock());
    Builtin &builtin = builtins()[name];
    builtin.version = version;
    builtin.vectors = mainVectors;
    if (builtin.library != nullptr) {
        /* Already created: point its main interface at the new table. */
        LibraryRecord &record = records()[builtin.library];
        std::free(record.interfaces[1]);
        record.interfaces[1] = makeInterface(builtin.library, "main", 1, mainVectors);
        builtin.library->lib_Version = version;
    }
}

BPTR ovLoadSeg(const char *name)
{
    if (name == nullptr)
        return 0;
    std::string path = resolveFile(name);
    if (path.empty() || !ov::loadableFileFault(path.c_str()).empty())
        return 0;
    void *handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr)
        return 0;
    return reinterpret_cast<BPTR>(new Segment{handle, path});
}

void *ovSegmentSymbol(BPTR segList, const char *symbol)
{
    if (segList == 0)
        return nullptr;
    return dlsym(reinterpret_cast<Segment *>(segList)->handle, symbol);
}

void ovUnLoadSeg(BPTR segList)
{
    if (segList == 0)
        return;
    auto *segment = reinterpret_cast<Segment *>(segList);
    dlclose(segment->handle);
    delete segment;
}

int32 ovRunSegment(BPTR segList)
{
    auto entry = reinterpret_cast<int32 (*)(void)>(ovSegmentSymbol(segList, "_start"));
    return entry != nullptr ? entry() : -1;
}

void ovTestFailOpenLibrary(const char *name) { failOpenName = name != nullptr ? name : ""; }

void ovTestFailGetInterface(const char *library, const char *interface)
{
    failInterfaceLibrary = library != nullptr ? library : "";
    failInterfaceName = interface != nullptr ? interface : "";
}
