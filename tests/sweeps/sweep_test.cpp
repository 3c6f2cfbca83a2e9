/*
 * Fault sweeps. Each life below is what a host does with one stream or one
 * encode, start to end, recording every entry point's result. It is run
 * once cleanly to count the allocations (and DOS calls) it makes, then once
 * per counted call with exactly that call failing. Every faulty run must
 * end with nothing allocated and no file open (the leak check after each
 * test, and the checks here after each run), the failing entry point must
 * report failure, and ClosePlayer / CloseEncoder must release everything
 * once: a second release of a block stops the program.
 */
#include "support/aiff_file.h"
#include "tools/module_image.h"
#include "support/plugin_host.h"

#include <cstdio>
#include <functional>
#include <vector>

namespace {

using Results = std::vector<int64_t>;
using Life = std::function<Results()>;

enum class Fault { Allocation, DosCall };

uint64_t callCount(Fault fault)
{
    return fault == Fault::Allocation ? ovTestAllocationCalls() : ovTestDosCalls();
}

void failCall(Fault fault, uint32_t n)
{
    if (fault == Fault::Allocation)
        ovTestFailAllocation(n);
    else
        ovTestFailDosCall(n);
}

/* Runs the life once per call it makes, failing that call; returns the
 * results of every run, the clean one first. */
std::vector<Results> sweep(const Life &life, Fault fault)
{
    const uint32_t live = ovTestLiveAllocations();
    const uint32_t files = ovTestOpenFiles();
    const uint64_t before = callCount(fault);
    std::vector<Results> runs{life()};
    const uint64_t calls = callCount(fault) - before;
    for (uint32_t n = 1; n <= calls; n++) {
        failCall(fault, n);
        runs.push_back(life());
        ovTestClearFaults();
        EXPECT_EQ(ovTestLiveAllocations(), live) << "fault point " << n << " leaks";
        EXPECT_EQ(ovTestOpenFiles(), files) << "fault point " << n << " leaves a file open";
    }
    std::printf("swept %llu %s fault points\n", static_cast<unsigned long long>(calls),
                fault == Fault::Allocation ? "allocation" : "DOS call");
    return runs;
}

std::vector<uint8_t> testModule()
{
    ovtools::ModuleWriter writer;
    writer.sample(1, ovtools::constantSample(32, 50), 64, 0, 0, 32);
    writer.orders({0});
    writer.cell(0, 0, 0, 428, 1);
    return writer.bytes();
}

TEST(FaultSweep, ProtrackerStream)
{
    ovtest::Plugin plugin("OV_PT.ovplug");
    ASSERT_TRUE(plugin.ok());
    std::vector<uint8_t> image = testModule();
    const Life life = [&] {
        auto stream = ovtest::newStream();
        stream->FileData = image.data();
        stream->FileSize = static_cast<int32>(image.size());
        stream->LoadMode = LOADMODE_IN_MEMORY;
        Results results;
        results.push_back(plugin->InitPlayer(plugin.iface(), stream.get()));
        results.push_back(plugin->OpenPlayer(plugin.iface(), "sweep.mod", stream.get()));
        for (int block = 0; block < 3; block++)
            results.push_back(plugin->DecodeFramePlayer(plugin.iface(), stream.get(), nullptr));
        plugin->ClosePlayer(plugin.iface(), stream.get());
        EXPECT_EQ(stream->PlayerHandle, nullptr);
        EXPECT_EQ(stream->OutputBuffer, nullptr);
        plugin->ClosePlayer(plugin.iface(), stream.get());
        return results;
    };
    const auto runs = sweep(life, Fault::Allocation);
    ASSERT_EQ(runs.size(), 3u) << "the output buffer and the module state";
    EXPECT_EQ(runs[0], (Results{1, 1, 16384, 16384, 16384}));
    EXPECT_EQ(runs[1], (Results{0, 1, 0, 0, 0})) << "no output buffer: nothing to decode into";
    EXPECT_EQ(runs[2], (Results{1, 0, 0, 0, 0})) << "no module state";
}

class AiffSweep : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(plugin.ok());
        path = ovtest::tempPath("sweep.aiff");
        ovtest::writeFile(path, ovtest::AiffFile()
                                    .chunk("NAME", "odd")
                                    .comm(2, 20000, 16, 8000)
                                    .chunk("ANNO", "notes")
                                    .ssnd(ovtest::testPcm(20000, 2), 4)
                                    .bytes());
    }
    Results stream()
    {
        auto stream = ovtest::newStream();
        stream->LoadMode = LOADMODE_BY_NAME;
        int hostArg = 0;
        Results results;
        results.push_back(plugin->InitPlayer(plugin.iface(), stream.get()));
        results.push_back(plugin->OpenPlayer(plugin.iface(), path.c_str(), stream.get()));
        for (int call = 0; call < 4; call++) {
            results.push_back(plugin->DecodeFramePlayer(plugin.iface(), stream.get(), &hostArg));
            if (call == 1)
                results.push_back(plugin->SeekPlayer(plugin.iface(), stream.get(), 1));
        }
        plugin->ClosePlayer(plugin.iface(), stream.get());
        EXPECT_EQ(stream->PlayerHandle, nullptr);
        plugin->ClosePlayer(plugin.iface(), stream.get());
        return results;
    }
    ovtest::Plugin plugin{"OV_AIFF.ovplug"};
    std::string path;
};

TEST_F(AiffSweep, StreamAllocations)
{
    const auto runs = sweep([this] { return stream(); }, Fault::Allocation);
    ASSERT_GE(runs.size(), 3u);
    EXPECT_EQ(runs[0][0], 1);
    EXPECT_EQ(runs[1][0], 0) << "InitPlayer reports its missing buffer";
    for (size_t run = 2; run < runs.size(); run++)
        EXPECT_NE(runs[run], runs[0]) << "fault point " << run - 1 << " went unnoticed";
}

TEST_F(AiffSweep, StreamDosCalls)
{
    const auto runs = sweep([this] { return stream(); }, Fault::DosCall);
    ASSERT_GE(runs.size(), 5u);
    EXPECT_EQ(runs[1][1], 0) << "the file cannot be opened";
    for (size_t run = 1; run < runs.size(); run++) {
        const Results &results = runs[run];
        EXPECT_NE(results, runs[0]) << "fault point " << run << " went unnoticed";
        for (size_t step = 2; step < results.size(); step++)
            EXPECT_GE(results[step], -2) << "only the documented failure results";
    }
}

TEST_F(AiffSweep, EncodeAllocations)
{
    std::vector<uint8_t> pcm = ovtest::testPcm(1000, 2);
    const Life life = [&] {
        struct EncoderStream encoder{};
        struct EncoderFormat format{};
        format.SampleRate = 44100;
        format.Channels = 2;
        Results results;
        results.push_back(plugin->InitEncoder(plugin.iface(), &encoder));
        results.push_back(plugin->OpenEncoder(plugin.iface(), &encoder, &format) != nullptr);
        results.push_back(plugin->EncodeFrameEncoder(plugin.iface(), &encoder, pcm.data(), 1000));
        struct EncoderFixup **fixups = plugin->FinishEncoder(plugin.iface(), &encoder);
        results.push_back(fixups != nullptr);
        if (fixups == nullptr) /* the host may ask again */
            results.push_back(plugin->FinishEncoder(plugin.iface(), &encoder) != nullptr);
        results.push_back(plugin->CloseEncoder(plugin.iface(), &encoder));
        EXPECT_EQ(encoder.State, nullptr);
        results.push_back(plugin->CloseEncoder(plugin.iface(), &encoder));
        return results;
    };
    const auto runs = sweep(life, Fault::Allocation);
    ASSERT_EQ(runs.size(), 3u) << "the encoder state and the fix-up block";
    EXPECT_EQ(runs[0], (Results{1, 1, 4054, 1, 0, 0}));
    EXPECT_EQ(runs[1], (Results{0, 0, -1, 0, 0, 0, 0})) << "no state: every later call refuses";
    EXPECT_EQ(runs[2], (Results{1, 1, 4054, 0, 1, 0, 0})) << "FinishEncoder fails, then succeeds";
}

} // namespace
