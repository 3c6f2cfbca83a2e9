/* Fault sweeps: each life is what a host does with one stream or encode.
 * It runs cleanly, then once per fault point with that allocation or DOS
 * call failing, or that block read coming up one block short. The entry
 * point hit must report its failure and change nothing else: the rest goes
 * as a clean life without that call (or, where the plug-in absorbs the
 * failure by design, gives the results the table names). Every run ends
 * with nothing allocated, no file open, and closing twice harmless. */
#include "support/aiff_file.h"
#include "support/plugin_host.h"
#include "tools/module_image.h"

#include <map>
#include <vector>

namespace {

enum class Op { Init, Open, Decode, Seek, EncoderInit, EncoderOpen, Encode, Finish };
enum class Fault { Allocation, DosCall, ShortRead };

/* An entry point's result, and the bytes it handed over (frames, fix-ups). */
struct Outcome {
    int64_t result = 0;
    std::vector<uint8_t> bytes;
    bool operator==(const Outcome &) const = default;
};
using Trace = std::vector<Outcome>; /* a life's steps, in order */

struct Life {
    const char *name;
    const char *plugin;
    Fault fault;
    std::vector<Op> ops;
    uint32_t points;                                   /* fault points a clean life has */
    std::map<uint32_t, std::vector<int64_t>> absorbed; /* fault point: every step's result */
};

constexpr Op I = Op::Init, O = Op::Open, D = Op::Decode, S = Op::Seek;
// clang-format off
const Life kLives[] = {
    {"Protracker allocations", "OV_PT.ovplug", Fault::Allocation, {I, O, D, D, D}, 2, {}},
    {"AIFF allocations", "OV_AIFF.ovplug", Fault::Allocation, {I, O, D, D, S, D, D, D, D, D}, 3,
     /* without COMM's buffer the chunk is passed over: no format, nothing to play or seek */
     {{3, {1, 1, -1, -1, -1, -1, -1, -1, -1, -1}}}},
    {"AIFF DOS calls", "OV_AIFF.ovplug", Fault::DosCall, {I, O, D, D, S, D, D, D, D, D}, 17, {}},
    /* swept over every DOS call, reads being some of them; a short read in a
     * decode only delays the frames it missed */
    {"AIFF short reads", "OV_AIFF.ovplug", Fault::ShortRead, {I, O, D, D, D, D, D, D}, 15, {}},
    {"AIFF encoder allocations", "OV_AIFF.ovplug", Fault::Allocation,
     {Op::EncoderInit, Op::EncoderOpen, Op::Encode, Op::Finish, Op::Finish}, 2, {}},
};
// clang-format on

/* What an entry point reports when it fails. */
int64_t failure(Op op)
{
    return op == Op::Decode || op == Op::Encode ? -1 : op == Op::Seek ? -2 : 0;
}

std::vector<uint8_t> moduleImage()
{
    ovtools::ModuleWriter writer;
    writer.sample(1, ovtools::constantSample(32, 50), 64, 0, 0, 32);
    writer.orders({0});
    writer.cell(0, 0, 0, 428, 1);
    return writer.bytes();
}

/* A file with every path of the reader in it: chunks to pass, one of odd
 * size, COMM, and sound data behind an offset; 3.5 s at 8000 Hz. */
const std::string &aiffPath()
{
    static const std::string path = [] {
        const std::string p = ovtest::tempPath("sweep.aiff");
        ovtest::writeFile(p, ovtest::AiffFile()
                                 .chunk("NAME", "odd")
                                 .comm(2, 28000, 16, 8000)
                                 .chunk("ANNO", "notes")
                                 .ssnd(ovtest::testPcm(28000, 2), 4)
                                 .bytes());
        return p;
    }();
    return path;
}

/* The host's side of one life: a stream record or an encoder record. */
class Host {
public:
    Host(ovtest::Plugin &plugin, const std::string &file)
        : plugin_(plugin), stream_(ovtest::newStream()), module_(file == "OV_PT.ovplug")
    {
        stream_->LoadMode = module_ ? LOADMODE_IN_MEMORY : LOADMODE_BY_NAME;
        if (module_) {
            stream_->FileData = image_.data();
            stream_->FileSize = static_cast<int32>(image_.size());
        }
    }
    ~Host()
    {
        for (int twice = 0; twice < 2; twice++) {
            plugin_->ClosePlayer(plugin_.iface(), stream_.get());
            if (!module_) { /* the only plug-in with an encoder */
                EXPECT_EQ(plugin_->CloseEncoder(plugin_.iface(), &encoder_), 0u);
            }
        }
        const std::vector<void *> left = {stream_->PlayerHandle, stream_->OutputBuffer,
                                          stream_->OutputBufferPlus4, encoder_.State};
        EXPECT_EQ(left, std::vector<void *>(4, nullptr)) << "handle, buffers, encoder state";
    }

    Outcome step(Op op)
    {
        auto *p = plugin_.iface();
        struct PlayerStream *s = stream_.get();
        Outcome out;
        switch (op) {
        case Op::Init:
            s->OutputBufferPlus4 = s; /* stale: a failed init must clear it */
            out.result = p->InitPlayer(p, s);
            EXPECT_TRUE(out.result || (!s->OutputBuffer && !s->OutputBufferPlus4)) << "cleaned up";
            break;
        case Op::Open:
            out.result = p->OpenPlayer(p, module_ ? "sweep.mod" : aiffPath().c_str(), s);
            EXPECT_TRUE(out.result || !s->PlayerHandle) << "no handle left";
            break;
        case Op::Decode: {
            out.result = p->DecodeFramePlayer(p, s, &hostArg_);
            const auto *frames = static_cast<const uint8_t *>(s->OutputBuffer);
            if (out.result > 0)
                out.bytes.assign(frames, frames + out.result * s->Channels * 2);
            break;
        }
        case Op::Seek: out.result = p->SeekPlayer(p, s, 1); break;
        case Op::EncoderInit:
            encoder_.State = &encoder_; /* stale: a failed init must clear it */
            out.result = p->InitEncoder(p, &encoder_);
            EXPECT_TRUE(out.result || !encoder_.State) << "no state left";
            break;
        case Op::EncoderOpen: out.result = p->OpenEncoder(p, &encoder_, &format_) != nullptr; break;
        case Op::Encode: out.result = p->EncodeFrameEncoder(p, &encoder_, pcm_.data(), 1000); break;
        case Op::Finish:
            for (auto list = p->FinishEncoder(p, &encoder_); list && *list; ++list, out.result++)
                out.bytes.insert(out.bytes.end(), reinterpret_cast<uint8_t *>(*list),
                                 reinterpret_cast<uint8_t *>(*list) + sizeof(struct EncoderFixup));
            break;
        }
        return out;
    }

private:
    ovtest::Plugin &plugin_;
    std::unique_ptr<struct PlayerStream> stream_;
    bool module_;
    std::vector<uint8_t> image_ = moduleImage();
    std::vector<uint8_t> pcm_ = ovtest::testPcm(1000, 2);
    struct EncoderStream encoder_ = {};
    struct EncoderFormat format_ = {.SampleRate = 44100, .Channels = 2};
    int hostArg_ = 0;
};

/* Allocations, or DOS calls (of which block reads are some). */
uint64_t calls(Fault fault)
{
    return fault == Fault::Allocation ? ovTestAllocationCalls() : ovTestDosCalls();
}

/* One life; the step `skipped` is not made and reports its failure.
 * `before` receives the fault counter before each step. */
Trace live(ovtest::Plugin &plugin, const Life &life, size_t skipped, std::vector<uint64_t> *before)
{
    const uint32_t blocks = ovTestLiveAllocations(), files = ovTestOpenFiles();
    Trace run;
    {
        Host host(plugin, life.plugin);
        for (size_t i = 0; i < life.ops.size(); i++) {
            if (before != nullptr)
                before->push_back(calls(life.fault));
            run.push_back(i == skipped ? Outcome{failure(life.ops[i]), {}}
                                       : host.step(life.ops[i]));
        }
    }
    EXPECT_EQ(ovTestLiveAllocations(), blocks) << "blocks left behind";
    EXPECT_EQ(ovTestOpenFiles(), files) << "files left open";
    return run;
}

/* Results of the steps other than decodes, and the frames of all decodes. */
std::pair<std::vector<int64_t>, std::vector<uint8_t>> heard(const Life &life, const Trace &run)
{
    std::pair<std::vector<int64_t>, std::vector<uint8_t>> all;
    for (size_t i = 0; i < run.size(); i++) {
        if (life.ops[i] != Op::Decode)
            all.first.push_back(run[i].result);
        all.second.insert(all.second.end(), run[i].bytes.begin(), run[i].bytes.end());
    }
    return all;
}

void PrintTo(const Life &life, std::ostream *out) { *out << life.name; }

using FaultSweep = testing::TestWithParam<Life>;

TEST_P(FaultSweep, AFailingCallFailsItsEntryPointAndNothingElse)
{
    const Life &life = GetParam();
    ovtest::Plugin plugin(life.plugin);
    ASSERT_TRUE(plugin.ok());
    std::vector<uint64_t> before;
    const uint64_t start = calls(life.fault);
    const Trace clean = live(plugin, life, SIZE_MAX, &before);
    const uint64_t points = calls(life.fault) - start;
    EXPECT_EQ(points, life.points) << "fault points to sweep";
    for (uint32_t point = 1; point <= points; point++) {
        SCOPED_TRACE(testing::Message() << "fault point " << point);
        if (life.fault == Fault::Allocation)
            ovTestFailAllocation(point);
        else if (life.fault == Fault::DosCall)
            ovTestFailDosCall(point);
        else
            ovTestShortDosRead(point); /* reads are fewer than DOS calls */
        const Trace run = live(plugin, life, SIZE_MAX, nullptr);
        ovTestClearFaults();
        /* The step the fault fell in: by the counters, or for short
         * reads, which nothing counts, the first step that differs. */
        size_t step = 0;
        if (life.fault != Fault::ShortRead) {
            while (step + 1 < before.size() && before[step + 1] - start < point)
                step++;
        } else {
            while (step < run.size() && run[step] == clean[step])
                step++;
        }
        if (life.absorbed.count(point) != 0) {
            std::vector<int64_t> results;
            for (const Outcome &outcome : run)
                results.push_back(outcome.result);
            EXPECT_EQ(results, life.absorbed.at(point));
        } else if (life.fault == Fault::ShortRead &&
                   (step == run.size() || life.ops[step] == Op::Decode)) {
            EXPECT_EQ(heard(life, run), heard(life, clean)) << "every frame once, in order";
        } else {
            EXPECT_TRUE(run == live(plugin, life, step, nullptr)) << "step " << step;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Lives, FaultSweep, testing::ValuesIn(kLives),
                         [](const auto &life) { return ovtest::caseName(life.param.name); });

} // namespace
