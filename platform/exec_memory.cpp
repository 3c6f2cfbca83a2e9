/* AllocVec/FreeVec with counting and injected failures for the tests. */
#include "exec_internal.h"
#include "testing.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

/* Each block carries its size in front so FreeVec needs no size, and a
 * mark so a foreign or doubly freed address is caught. */
struct alignas(16) BlockHeader {
    uint64 size;
    uint64 mark;
};
constexpr uint64 liveMark = 0x4F56414C4C4F4321ull; /* "OVALLOC!" */
constexpr uint64 freedMark = 0x4F5646524545442Dull;

std::atomic<uint32> liveBlocks{0};
std::atomic<uint64> allocCalls{0};
std::atomic<uint64> failAtCall{0};   /* the allocation call number that fails; 0 = none */
std::atomic<uint64> failFromCall{0}; /* every call from this number on fails; 0 = none */

} // namespace

namespace ov::exec {

APTR allocVec(uint32 size, uint32 attributes)
{
    const uint64 call = ++allocCalls;
    const uint64 failAt = failAtCall.load();
    const uint64 failFrom = failFromCall.load();
    if ((failAt != 0 && call == failAt) || (failFrom != 0 && call >= failFrom))
        return nullptr;
    /* On a 32-bit machine the header could wrap the size round to a tiny block. */
    if (size == 0 || size > SIZE_MAX - sizeof(BlockHeader))
        return nullptr;
    auto *header = static_cast<BlockHeader *>(std::malloc(sizeof(BlockHeader) + size));
    if (header == nullptr)
        return nullptr;
    header->size = size;
    header->mark = liveMark;
    auto *memory = reinterpret_cast<uint8 *>(header + 1);
    /* Memory that is not asked to be cleared holds a pattern, so code that
     * relies on zeroes it never asked for shows up in tests. */
    std::memset(memory, (attributes & MEMF_CLEAR) ? 0 : 0xA5, size);
    ++liveBlocks;
    return memory;
}

void freeVec(APTR memory)
{
    if (memory == nullptr)
        return;
    auto *header = static_cast<BlockHeader *>(memory) - 1;
    if (header->mark != liveMark)
        std::abort(); /* not an AllocVec block, or freed twice */
    header->mark = freedMark;
    --liveBlocks;
    std::free(header);
}

} // namespace ov::exec

uint32 ovTestLiveAllocations(void) { return liveBlocks.load(); }
uint64 ovTestAllocationCalls(void) { return allocCalls.load(); }

void ovTestFailAllocation(uint32 n) { failAtCall = n == 0 ? 0 : allocCalls.load() + n; }

void ovTestFailAllocationsFrom(uint32 n) { failFromCall = n == 0 ? 0 : allocCalls.load() + n; }
