// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/scan/ScanPipeline.h"
#include "catalog/scan/FolderSizes.h"
#include "catalog/scan/ParallelStage.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

using namespace qm;

namespace {

ScanItem file(std::uint64_t bytes)
{
    return ScanItem {bytes, 0, 0, 0, 0, 0, 0, ScanItem::File, false};
}
ScanItem folder()
{
    return ScanItem {0, 0, 0, 0, 0, 0, 0, ScanItem::Folder, false};
}
ScanItem ending(std::uint64_t unlisted, ScanItem::Kind kind = ScanItem::Close)
{
    return ScanItem {unlisted, 0, 0, 0, 0, 0, 0, kind, false};
}

// A walk that hands on `batches` batches of `perBatch` files, each file's
// size its running number, until the pipeline stops or a progress answer
// says no (asked before every batch when `ask`).
struct NumberedWalk {
    int batches = 50, perBatch = 10;
    bool ask = false;
    int handedOn = 0;
    bool stopSeen = false, cancelSeen = false;

    void operator()(ScanPipeline& pipeline)
    {
        auto batch = std::make_unique<ScanBatch>();
        std::uint64_t number = 0;
        for (int b = 0; b < batches; ++b) {
            if (pipeline.stopping()) {
                stopSeen = true;
                return;
            }
            if (ask && !pipeline.askProgress(number, QStringLiteral("/walked/"))) {
                cancelSeen = true;
                return;
            }
            EXPECT_TRUE(batch->items.empty()) << "a batch came back for reuse uncleared";
            for (int i = 0; i < perBatch; ++i)
                batch->items.push_back(file(number++));
            batch = pipeline.handOn(std::move(batch));
            ++handedOn;
        }
    }
};

// Adds `add` to every size; throws at batch `throwAt` when set.
class AddStage : public ScanStage {
public:
    explicit AddStage(std::uint64_t add, int throwAt = -1)
        : add_(add)
        , throwAt_(throwAt)
    {
    }
    void process(ScanBatch& batch) override
    {
        if (seen_++ == throwAt_)
            throw std::runtime_error("stage broke");
        for (ScanItem& item : batch.items)
            item.bytes += add_;
    }

private:
    std::uint64_t add_;
    int throwAt_;
    int seen_ = 0;
};

// Keeps every size it is given, in order; answers progress with `goOn`.
class KeepingWriter : public ScanWriter {
public:
    std::vector<std::uint64_t> sizes;
    std::vector<QString> failures;
    std::vector<int> failedAtBatch;
    int batches = 0;
    int throwAt = -1;
    int progressAsked = 0;
    int cancelAtReport = -1;

    void store(ScanBatch& batch) override
    {
        if (batches++ == throwAt)
            throw std::runtime_error("disk full");
        for (const ScanItem& item : batch.items)
            sizes.push_back(item.bytes);
    }
    bool progress(std::int64_t, const QString& folder) override
    {
        EXPECT_EQ(folder, QStringLiteral("/walked/"));
        return progressAsked++ != cancelAtReport;
    }
    void failed(const QString& why) override
    {
        failures.push_back(why);
        failedAtBatch.push_back(batches);
    }
};

// A walk far longer than a failure lets it go, through `stages`.
struct LongRun {
    NumberedWalk walk;
    KeepingWriter writer;
    QString result;

    explicit LongRun(std::vector<ScanStage*> stages, int writerThrowsAt = -1)
    {
        ScanPipeline pipeline(std::move(stages));
        walk.batches = 100000;
        writer.throwAt = writerThrowsAt;
        result = pipeline.run(std::ref(walk), writer);
    }
};

// A stage failed within its first four batches: the writer heard `why` once
// before it saw the failed batch, the walker stopped, and every batch it
// handed on still reached the writer.
void expectStoppedByStage(const LongRun& run, const char* why)
{
    EXPECT_TRUE(run.result.isEmpty());
    EXPECT_TRUE(run.walk.stopSeen);
    ASSERT_EQ(run.writer.failures, std::vector<QString> {QString::fromLatin1(why)});
    EXPECT_LE(run.writer.failedAtBatch[0], 3);
    EXPECT_EQ(run.writer.batches, run.walk.handedOn);
    EXPECT_LT(run.walk.handedOn, run.walk.batches);
}

} // namespace

TEST(ScanPipelineTest, EveryStageSeesEveryEntryInWalkOrderBeforeTheWriter)
{
    // Two stages whose order matters for nothing but their sum, and a walk
    // many queues long: the writer gets every entry, once, in walk order.
    AddStage thousand(1000), million(1000000);
    ScanPipeline pipeline({&thousand, &million});
    NumberedWalk walk;
    walk.batches = 10 * ScanPipeline::kBatchesAhead;
    KeepingWriter writer;
    EXPECT_TRUE(pipeline.run(std::ref(walk), writer).isEmpty());
    ASSERT_EQ(writer.sizes.size(), static_cast<size_t>(walk.batches * walk.perBatch));
    for (size_t i = 0; i < writer.sizes.size(); ++i)
        ASSERT_EQ(writer.sizes[i], i + 1001000) << "entry " << i;
    EXPECT_TRUE(writer.failures.empty());

    // No stage at all: the walk goes straight to the writer.
    ScanPipeline bare({});
    NumberedWalk plain;
    KeepingWriter straight;
    bare.run(std::ref(plain), straight);
    EXPECT_EQ(straight.sizes.size(), 500u);
    EXPECT_EQ(straight.sizes.back(), 499u);
}

TEST(ScanPipelineTest, AStageOrWriterFailureStopsTheWalkAndWhatWasHandedOnStillArrives)
{
    {
        // The stage breaks at its fourth batch; unfinished batches arrive unchanged by it.
        AddStage breaking(1, 3);
        const LongRun run({&breaking});
        expectStoppedByStage(run, "stage broke");
        EXPECT_EQ(run.writer.sizes[29], 30u); // processed: its size plus one
        EXPECT_EQ(run.writer.sizes[30], 30u); // handed on as the walker made it
    }
    {
        // The writer throws: the same stop, told once with its text.
        AddStage stage(0);
        const LongRun run({&stage}, 2);
        EXPECT_TRUE(run.walk.stopSeen);
        ASSERT_EQ(run.writer.failures.size(), 1u);
        EXPECT_EQ(run.writer.failures[0], QStringLiteral("disk full"));
        EXPECT_EQ(run.writer.batches, run.walk.handedOn);
    }
    {
        // The walker throws: run() returns why, after storing what it handed on.
        ScanPipeline pipeline({});
        KeepingWriter writer;
        const QString why = pipeline.run(
            [](ScanPipeline& p) {
                auto batch = std::make_unique<ScanBatch>();
                batch->items.push_back(file(7));
                p.handOn(std::move(batch));
                throw std::runtime_error("walker broke");
            },
            writer);
        EXPECT_EQ(why, QStringLiteral("walker broke"));
        EXPECT_EQ(writer.sizes, std::vector<std::uint64_t> {7});
    }
}

TEST(ScanPipelineTest, AProgressAnswerOfNoStopsTheWalkWhereItAsked)
{
    AddStage stage(0);
    ScanPipeline pipeline({&stage});
    NumberedWalk walk;
    walk.ask = true;
    KeepingWriter writer;
    writer.cancelAtReport = 5;
    pipeline.run(std::ref(walk), writer);
    EXPECT_TRUE(walk.cancelSeen);
    EXPECT_FALSE(walk.stopSeen);
    EXPECT_EQ(writer.progressAsked, 6);
    EXPECT_EQ(walk.handedOn, 5);
    EXPECT_EQ(writer.sizes.size(), 50u); // all that was handed on before the answer
    EXPECT_TRUE(writer.failures.empty());
}

TEST(ScanPipelineTest, FolderSizesTotalEveryFileBelowAFolderAcrossBatches)
{
    // top: a(3) sub/[b(5) hidden 100] c(7) hidden 1000; sub's walk ends in
    // the batch after its record, a nested empty folder within one batch.
    FolderSizes sizes;
    ScanBatch first;
    first.items = {file(3), folder(), file(5)};
    sizes.process(first);
    EXPECT_FALSE(first.items[1].sized);

    ScanBatch second;
    second.items = {folder(), ending(0), ending(100), file(7), ending(1000, ScanItem::End)};
    sizes.process(second);
    EXPECT_TRUE(second.items[0].sized); // the empty folder went in with its total
    EXPECT_EQ(second.items[0].bytes, 0u);
    EXPECT_TRUE(second.items[1].sized);
    EXPECT_FALSE(second.items[2].sized); // sub is sized where it is stored
    EXPECT_EQ(second.items[2].bytes, 105u);
    EXPECT_EQ(second.items[4].bytes, 1115u); // the whole walk

    // The next walk starts from nothing.
    ScanBatch again;
    again.items = {folder(), file(2), ending(1), ending(0, ScanItem::End)};
    sizes.process(again);
    EXPECT_TRUE(again.items[0].sized);
    EXPECT_EQ(again.items[0].bytes, 3u);
    EXPECT_EQ(again.items[3].bytes, 3u);
}

namespace {

// Makes each size twice itself plus one, several entries at once. On its
// first batch the first `inFlight` entries wait for each other, which only
// that many threads working at once get past (the wait gives up after a
// while, so a stage that works one entry at a time fails, not hangs).
class DoublingStage : public ParallelStage {
public:
    explicit DoublingStage(int inFlight, std::uint64_t throwAtSize = ~0ull, bool meet = true)
        : ParallelStage(inFlight)
        , throwAt_(throwAtSize)
        , meet_(meet)
    {
    }
    std::atomic<int> maxInFlight {0}, processed {0}, batches {0};
    std::set<std::thread::id> threads;

    void prepare(ScanBatch& batch) override
    {
        ++batches;
        done_.assign(batch.items.size(), 0);
    }
    void processEntry(ScanBatch& batch, std::size_t index) override
    {
        const int now = ++inFlight_;
        for (int seen = maxInFlight; now > seen && !maxInFlight.compare_exchange_weak(seen, now);) { }
        {
            std::unique_lock lock(mutex_);
            threads.insert(std::this_thread::get_id());
            if (meet_ && batches == 1 && index < static_cast<std::size_t>(inFlight())) {
                ++met_;
                met.notify_all();
                met.wait_for(lock, std::chrono::seconds(20), [&] { return met_ >= inFlight(); });
            }
        }
        ScanItem& item = batch.items[index];
        ++done_[index]; // its own element, sized by prepare()
        --inFlight_;
        if (item.bytes == throwAt_)
            throw std::runtime_error("content unreadable");
        item.bytes = item.bytes * 2 + 1;
        item.sized = done_[index] == 1;
        ++processed;
    }

private:
    std::uint64_t throwAt_;
    bool meet_;
    std::atomic<int> inFlight_ {0};
    std::vector<int> done_;
    std::mutex mutex_;
    std::condition_variable met;
    int met_ = 0;
};

// Counts the batches that reach it with an entry the stage before left undone.
class CompletenessStage : public ScanStage {
public:
    int unfinished = 0;
    void process(ScanBatch& batch) override
    {
        for (const ScanItem& item : batch.items)
            if (!item.sized) {
                ++unfinished;
                return;
            }
    }
};

} // namespace

TEST(ScanPipelineTest, AParallelStageWorksOnSeveralEntriesAtOnceAndHandsBatchesOnInWalkOrder)
{
    DoublingStage doubling(4);
    CompletenessStage check;
    ScanPipeline pipeline({&doubling, &check});
    NumberedWalk walk;
    walk.batches = 10 * ScanPipeline::kBatchesAhead;
    KeepingWriter writer;
    EXPECT_TRUE(pipeline.run(std::ref(walk), writer).isEmpty());
    EXPECT_EQ(doubling.maxInFlight, 4); // never more than it asked for, and that many met
    EXPECT_EQ(doubling.threads.size(), 4u);
    EXPECT_EQ(check.unfinished, 0) << "a batch went on before all its entries were done";
    EXPECT_EQ(doubling.batches, walk.batches);
    EXPECT_EQ(doubling.processed, walk.batches * walk.perBatch);
    ASSERT_EQ(writer.sizes.size(), static_cast<size_t>(walk.batches * walk.perBatch));
    for (size_t i = 0; i < writer.sizes.size(); ++i)
        ASSERT_EQ(writer.sizes[i], 2 * i + 1) << "entry " << i << ", done once each, in walk order";

    // Run alone, outside a pipeline, it does the same one entry after another.
    DoublingStage alone(4, ~0ull, false);
    ScanBatch batch;
    batch.items = {file(0), file(1), file(2)};
    alone.process(batch);
    EXPECT_EQ(batch.items[2].bytes, 5u);
    EXPECT_EQ(alone.threads.size(), 1u);
}

TEST(ScanPipelineTest, AParallelStageFailureOrACancelStopsAndJoinsLikeAnyStage)
{
    {
        // The entry numbered 35, in the fourth batch, fails: those after the
        // failing batch arrive as the walker made them.
        DoublingStage failing(3, 35);
        const LongRun run({&failing});
        expectStoppedByStage(run, "content unreadable");
        EXPECT_EQ(run.writer.sizes[29], 59u); // done before the failure
        if (run.writer.sizes.size() > 40) {
            EXPECT_EQ(run.writer.sizes[40], 40u); // the batch after it, untouched
        }
    }
    {
        // Cancelled at the sixth report: what was handed on is done and stored.
        DoublingStage doubling(4);
        ScanPipeline pipeline({&doubling});
        NumberedWalk walk;
        walk.ask = true;
        KeepingWriter writer;
        writer.cancelAtReport = 5;
        pipeline.run(std::ref(walk), writer);
        EXPECT_TRUE(walk.cancelSeen);
        EXPECT_EQ(walk.handedOn, 5);
        ASSERT_EQ(writer.sizes.size(), 50u);
        EXPECT_EQ(writer.sizes[49], 99u);
        EXPECT_TRUE(writer.failures.empty());
    }
}
