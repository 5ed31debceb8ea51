// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/scan/ScanPipeline.h"
#include "catalog/scan/FolderSizes.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>
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
        // The stage breaks at its fourth batch: the writer hears why before
        // it sees that batch, the walker stops, and every batch it handed on
        // still reaches the writer (unfinished ones unchanged by the stage).
        AddStage breaking(1, 3);
        ScanPipeline pipeline({&breaking});
        NumberedWalk walk;
        walk.batches = 100000;
        KeepingWriter writer;
        EXPECT_TRUE(pipeline.run(std::ref(walk), writer).isEmpty());
        EXPECT_TRUE(walk.stopSeen);
        ASSERT_EQ(writer.failures.size(), 1u);
        EXPECT_EQ(writer.failures[0], QStringLiteral("stage broke"));
        EXPECT_LE(writer.failedAtBatch[0], 3);
        EXPECT_EQ(writer.batches, walk.handedOn);
        EXPECT_LT(walk.handedOn, walk.batches);
        EXPECT_EQ(writer.sizes[29], 30u); // processed: its size plus one
        EXPECT_EQ(writer.sizes[30], 30u); // handed on as the walker made it
    }
    {
        // The writer throws: the same stop, told once with its text.
        AddStage stage(0);
        ScanPipeline pipeline({&stage});
        NumberedWalk walk;
        walk.batches = 100000;
        KeepingWriter writer;
        writer.throwAt = 2;
        pipeline.run(std::ref(walk), writer);
        EXPECT_TRUE(walk.stopSeen);
        ASSERT_EQ(writer.failures.size(), 1u);
        EXPECT_EQ(writer.failures[0], QStringLiteral("disk full"));
        EXPECT_EQ(writer.batches, walk.handedOn);
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
