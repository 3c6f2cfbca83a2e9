/* exec memory, lists and the test controls themselves. */
#include "support/plugin_host.h"

#include <cstring>

namespace {

using ovtest::exec;

TEST(ExecMemory, ClearedBlocksAreZeroAndCounted)
{
    struct ExecIFace *IExec = exec();
    const uint32 before = ovTestLiveAllocations();
    auto *block = static_cast<uint8 *>(IExec->AllocVec(IExec, 1000, MEMF_SHARED | MEMF_CLEAR));
    ASSERT_NE(block, nullptr);
    for (int i = 0; i < 1000; i++)
        ASSERT_EQ(block[i], 0) << "byte " << i;
    EXPECT_EQ(ovTestLiveAllocations(), before + 1);
    IExec->FreeVec(IExec, block);
    EXPECT_EQ(ovTestLiveAllocations(), before);
}

TEST(ExecMemory, UnclearedBlocksAreNotZero)
{
    struct ExecIFace *IExec = exec();
    auto *block = static_cast<uint8 *>(IExec->AllocVec(IExec, 64, MEMF_SHARED));
    ASSERT_NE(block, nullptr);
    EXPECT_NE(block[0], 0) << "uncleared memory should carry a fill pattern";
    IExec->FreeVec(IExec, block);
}

TEST(ExecMemory, FreeVecOfNullIsHarmless)
{
    exec()->FreeVec(exec(), nullptr);
}

TEST(ExecMemory, NthAllocationFails)
{
    struct ExecIFace *IExec = exec();
    ovTestFailAllocation(2);
    APTR first = IExec->AllocVec(IExec, 16, MEMF_ANY);
    APTR second = IExec->AllocVec(IExec, 16, MEMF_ANY);
    APTR third = IExec->AllocVec(IExec, 16, MEMF_ANY);
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(second, nullptr);
    EXPECT_NE(third, nullptr);
    IExec->FreeVec(IExec, first);
    IExec->FreeVec(IExec, third);
}

TEST(ExecMemory, AllocationsFromNthOnFail)
{
    struct ExecIFace *IExec = exec();
    ovTestFailAllocationsFrom(1);
    EXPECT_EQ(IExec->AllocVec(IExec, 16, MEMF_ANY), nullptr);
    EXPECT_EQ(IExec->AllocVec(IExec, 16, MEMF_ANY), nullptr);
    ovTestFailAllocationsFrom(0);
    APTR block = IExec->AllocVec(IExec, 16, MEMF_ANY);
    EXPECT_NE(block, nullptr);
    IExec->FreeVec(IExec, block);
}

TEST(ExecMemory, SizeTheHeaderWouldWrapFails)
{
    if (sizeof(size_t) > sizeof(uint32))
        GTEST_SKIP() << "only a 32-bit machine wraps the size";
    EXPECT_EQ(exec()->AllocVec(exec(), 0xFFFFFFF8u, MEMF_ANY), nullptr);
}

TEST(ExecMemory, CopyMemCopies)
{
    const char source[] = "sample bytes";
    char dest[sizeof source] = {};
    exec()->CopyMem(exec(), source, dest, sizeof source);
    EXPECT_STREQ(dest, source);
}

TEST(ExecLists, AddRemoveAndFind)
{
    struct ExecIFace *IExec = exec();
    struct List list;
    IExec->NewList(IExec, &list);
    EXPECT_EQ(IExec->RemHead(IExec, &list), nullptr);
    char a[] = "a", b[] = "b", c[] = "c";
    struct Node na{}, nb{}, nc{};
    na.ln_Name = a;
    nb.ln_Name = b;
    nc.ln_Name = c;
    IExec->AddTail(IExec, &list, &nb);
    IExec->AddTail(IExec, &list, &nc);
    IExec->AddHead(IExec, &list, &na);
    EXPECT_EQ(IExec->FindName(IExec, &list, "c"), &nc);
    EXPECT_EQ(IExec->FindName(IExec, &list, "d"), nullptr);
    IExec->Remove(IExec, &nb);
    EXPECT_EQ(IExec->RemHead(IExec, &list), &na);
    EXPECT_EQ(IExec->RemHead(IExec, &list), &nc);
    EXPECT_EQ(IExec->RemHead(IExec, &list), nullptr);
}

TEST(ExecBase, AbsExecBaseCarriesTheMainInterface)
{
    ASSERT_NE(AbsExecBase, nullptr);
    ASSERT_NE(AbsExecBase->MainInterface, nullptr);
    EXPECT_EQ(AbsExecBase->MainInterface->Data.LibBase, &AbsExecBase->LibNode);
}

} // namespace
