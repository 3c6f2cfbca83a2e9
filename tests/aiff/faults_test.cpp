/* Every allocation and every DOS call of a stream's life failing in turn:
 * no crash, nothing left behind, and the result each failure calls for. */
#include "aiff_host.h"

namespace {

using aifftest::Stream;
using ovtest::AiffFile;

constexpr uint16_t kChannels = 2;
constexpr uint32_t kRate = 8000;
constexpr uint32_t kFrames = 28000; /* 3.5 s: three full decodes and a short one */

/* A file that makes the reader use every path: chunks to pass (one of odd
 * size), COMM, and sound data behind an offset. */
const AiffFile &testFile()
{
    static const AiffFile file = AiffFile()
                                     .chunk("NAME", "odd")
                                     .comm(kChannels, kFrames, 16, kRate)
                                     .chunk("ANNO", "notes")
                                     .ssnd(ovtest::testPcm(kFrames, kChannels), 4);
    return file;
}
/* Whole-block reads the open makes on that file: the form header, four
 * chunk headers, COMM's fields and SSND's fields. */
constexpr uint32_t kReadsInOpen = 7;

enum class Op { Init, Open, Decode, Seek };

/* One step of a stream's life, its result and the frames it delivered. */
struct Step {
    int32_t result;
    std::vector<uint8_t> frames;
    bool operator==(const Step &) const = default;
};

const std::vector<Op> kLife = {Op::Init,   Op::Open,   Op::Decode, Op::Decode, Op::Seek,
                               Op::Decode, Op::Decode, Op::Decode, Op::Decode, Op::Decode};

class Faults : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(plugin.ok());
        path = aifftest::tempFile("faults.aiff", testFile().bytes());
    }

    /* Runs the life of one stream; `dosCallsBefore` receives the DOS call
     * count at the start of each step. */
    std::vector<Step> live(std::vector<uint64_t> *dosCallsBefore = nullptr)
    {
        std::vector<Step> steps;
        {
            Stream stream(plugin);
            for (Op op : kLife) {
                if (dosCallsBefore != nullptr)
                    dosCallsBefore->push_back(ovTestDosCalls());
                Step step{};
                switch (op) {
                case Op::Init: step.result = stream.init(); break;
                case Op::Open: step.result = stream.open(path); break;
                case Op::Seek: step.result = stream.seek(1); break;
                case Op::Decode:
                    step.result = stream.decode();
                    if (step.result > 0)
                        step.frames = stream.output(step.result);
                    break;
                }
                steps.push_back(step);
            }
        }
        EXPECT_EQ(ovTestLiveAllocations(), liveBefore) << "AllocVec blocks left behind";
        EXPECT_EQ(ovTestOpenFiles(), 0u) << "file left open";
        return steps;
    }

    ovtest::Plugin plugin{aifftest::kPluginFile};
    std::string path;
    uint32_t liveBefore = ovTestLiveAllocations();
};

TEST_F(Faults, CleanLife)
{
    const auto steps = live();
    std::vector<int32_t> results;
    for (const Step &step : steps)
        results.push_back(step.result);
    EXPECT_EQ(results, (std::vector<int32_t>{1, 1, 8192, 8192, 1, 8192, 8192, 3616, -1, -1}));
}

TEST_F(Faults, EachAllocationFailing)
{
    const uint64_t before = ovTestAllocationCalls();
    const auto clean = live();
    const uint64_t calls = ovTestAllocationCalls() - before;
    ASSERT_EQ(calls, 3u) << "output buffer, reader, COMM buffer";

    ovTestFailAllocation(1);
    auto steps = live();
    EXPECT_EQ(steps[0].result, 0) << "no output buffer";
    EXPECT_EQ(steps[2].result, 0) << "nothing to decode into";

    ovTestFailAllocation(2);
    steps = live();
    EXPECT_EQ(steps[1].result, 0) << "no reader";
    EXPECT_EQ(steps[2].result, 0);
    EXPECT_EQ(steps[4].result, -1);

    ovTestFailAllocation(3);
    steps = live();
    EXPECT_EQ(steps[1].result, 1) << "COMM passed over unread: the file opens without a format";
    EXPECT_EQ(steps[2].result, -1);
    EXPECT_EQ(steps[4].result, -1) << "no seconds to seek in";
}

TEST_F(Faults, EachDosCallFailing)
{
    std::vector<uint64_t> stepStart;
    const auto clean = live(&stepStart);
    const uint64_t calls = ovTestDosCalls() - stepStart[0];
    ASSERT_GT(calls, 10u);
    for (uint32_t n = 1; n <= calls; n++) {
        SCOPED_TRACE(testing::Message() << "DOS call " << n << " fails");
        const uint64_t failing = stepStart[0] + n;
        size_t k = 0;
        while (k + 1 < stepStart.size() && stepStart[k + 1] < failing)
            k++;
        ovTestFailDosCall(n);
        const auto steps = live();
        switch (kLife[k]) {
        case Op::Open:
            EXPECT_EQ(steps[1].result, 0);
            EXPECT_EQ(steps[2].result, 0);
            break;
        case Op::Seek:
            EXPECT_EQ(steps[k].result, -2);
            break;
        case Op::Decode: {
            /* That decode fails; each later one up to the next seek
             * delivers what the one before it would have. */
            auto expected = clean;
            size_t runEnd = k + 1;
            while (runEnd < kLife.size() && kLife[runEnd] == Op::Decode)
                runEnd++;
            for (size_t i = runEnd - 1; i > k; i--)
                expected[i] = clean[i - 1];
            expected[k] = Step{-1, {}};
            EXPECT_TRUE(steps == expected);
            break;
        }
        case Op::Init:
            ADD_FAILURE() << "InitPlayer makes no DOS call";
        }
    }
}

TEST_F(Faults, EachReadComingUpShort)
{
    const auto pcm = ovtest::testPcm(kFrames, kChannels);
    for (uint32_t n = 1; n <= kReadsInOpen + 8; n++) {
        SCOPED_TRACE(testing::Message() << "read " << n << " short by one block");
        ovTestShortDosRead(n);
        Stream stream(plugin);
        ASSERT_EQ(stream.init(), 1);
        const int32_t opened = stream.open(path);
        EXPECT_EQ(opened, n <= kReadsInOpen ? 0 : 1);
        if (opened == 1) {
            EXPECT_TRUE(stream.decodeAll() == pcm) << "every frame, once, in order";
        }
    }
}

TEST_F(Faults, FailedPositioningLeavesPlaybackWhereItWas)
{
    const auto pcm = ovtest::testPcm(kFrames, kChannels);
    Stream stream(plugin);
    ASSERT_TRUE(stream.start(path));
    ASSERT_EQ(stream.decode(), 8192);
    ovTestFailDosCall(1);
    EXPECT_EQ(stream.seek(2), -2);
    ASSERT_EQ(stream.decode(), 8192);
    EXPECT_EQ(stream.output(8192), std::vector<uint8_t>(pcm.begin() + 8192 * 4, pcm.begin() + 16384 * 4));
}

} // namespace
