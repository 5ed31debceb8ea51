// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The scan pipeline: a walker on a thread of its own produces batches of
// entries in the order their records are stored; each stage, on a thread of
// its own, adds to every entry of a batch and passes it on; one writer, on
// the thread that runs the pipeline, stores the batches and answers the
// walker's progress reports. Batches come back to the walker for reuse.
//
//   walker --batch--> stage 1 --batch--> ... stage n --batch--> writer
//      ^  \_______________ progress report, answered ______________/   |
//      |________________________ spare batches ________________________|
//
// A stage may instead work on several entries of a batch at once, on helper
// threads of its own (ParallelStage); the batch goes on, in walk order, once
// every entry of it is done.
//
// Stopping is the same for every cause and happens in one place, run():
// the writer's failure (including an exception of the listener it tells)
// and a stage's failure raise the stop flag, at which the walker ends at
// its next entry; a cancel is a progress answer of "no", at which the
// walker ends where it asked. A walker that ends, for whatever reason, still
// hands on what it had, and every stage and the writer drain what reaches
// them, so that what the writer has stored is told in full. run() returns
// once every thread has been joined.
#include "catalog/scan/ScanBatch.h"

#include <QString>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace qm {

// A step between the walk and the store. Each stage states in its own
// header what it reads of an entry, what it adds, and whether it may work on
// several entries at once; a stage knows no other stage. process() sees the
// batches in walk order, one at a time, on the stage's own thread. A stage
// that may work on several entries of a batch at once derives from
// ParallelStage (catalog/scan/ParallelStage.h) instead.
class ScanStage {
public:
    virtual ~ScanStage() = default;
    // Adds to the entries of `batch`. An exception stops the scan as a
    // failure; the batch and those after it still reach the writer, which no
    // longer stores them.
    virtual void process(ScanBatch& batch) = 0;
};

// The end of the pipeline, on the thread that calls run().
class ScanWriter {
public:
    virtual ~ScanWriter() = default;
    // Stores a batch every stage has seen. An exception stops the scan.
    virtual void store(ScanBatch& batch) = 0;
    // Answers a progress report: false stops the walk where it asked.
    virtual bool progress(std::int64_t entries, const QString& folder) = 0;
    // The scan stops for `why`, which came from elsewhere (a stage), or from
    // an exception of store() itself; store() keeps being called for what
    // the walker had already handed on.
    virtual void failed(const QString& why) = 0;
};

class ScanPipeline {
public:
    // The walker runs at most this many batches ahead of each stage.
    static constexpr int kBatchesAhead = 8;

    // The stages in the order a batch passes them; they outlive the pipeline.
    explicit ScanPipeline(std::vector<ScanStage*> stages);
    ~ScanPipeline();
    ScanPipeline(const ScanPipeline&) = delete;
    ScanPipeline& operator=(const ScanPipeline&) = delete;

    // Runs `walk` on a thread of its own and each stage on another (a
    // parallel stage's helpers on more), stores
    // through `writer` here, and returns once all of them have ended and
    // been joined. An exception out of `walk` is the walker's failure,
    // returned here after everything it handed on was stored (empty when
    // none); the writer hears of it no sooner, so nothing it found is lost.
    QString run(const std::function<void(ScanPipeline&)>& walk, ScanWriter& writer);

    // ---- For the walker, on its thread ----
    // Hands `full` on and returns an empty batch to fill next; waits while
    // the first stage (or the writer) has enough to do.
    std::unique_ptr<ScanBatch> handOn(std::unique_ptr<ScanBatch> full);
    // Asks the writer for a progress report and waits for its answer;
    // false means the user stops the scan here. A stage that keeps the
    // walker waiting may ask too: one asker at a time.
    bool askProgress(std::int64_t entries, QString folder);
    // Raised by a failure anywhere: the walker should end at its next entry.
    bool stopping() const { return stop_.load(std::memory_order_relaxed); }
    // Raises the stop flag; from any thread.
    void stop() { stop_ = true; }

    // ---- For the writer, on the thread that runs the pipeline ----
    // Answers a progress report that waits, if any: for a writer that stores
    // a long batch in parts.
    void answerProgressIfAsked();

private:
    // A progress report the walker asks for and waits on, and the writer
    // answers; under mutex_.
    struct ProgressAsk {
        std::int64_t entries = 0;
        QString folder;
        bool asked = false, answered = false, goOn = true;

        bool waiting() const { return asked && !answered; }
    };
    // The helpers of a stage that works on several entries at once.
    struct Crew;
    struct Queue {
        std::deque<std::unique_ptr<ScanBatch>> batches;
        bool ended = false; // nothing more comes
        bool abandoned = false; // nothing takes from it: its thread never started
        std::condition_variable filled, drained;
    };
    void runStage(size_t index);
    void startHelpers(Crew& crew, std::vector<std::thread>& threads);
    void answerProgress();
    std::unique_ptr<ScanBatch> take(Queue& from);
    void put(Queue& to, std::unique_ptr<ScanBatch> batch);
    void end(Queue& queue);

    std::vector<ScanStage*> stages_;
    std::vector<std::unique_ptr<Crew>> crews_; // by stage; none for a stage of one entry at a time
    ScanWriter* writer_ = nullptr;
    std::mutex mutex_;
    // queues_[i] feeds stage i; the last one feeds the writer.
    std::vector<std::unique_ptr<Queue>> queues_;
    std::vector<std::unique_ptr<ScanBatch>> spare_;
    ProgressAsk progress_;
    std::mutex askers_; // held for a whole ask, before mutex_
    std::condition_variable answered_;
    std::atomic<bool> stop_ {false};
    QString stageFailure_; // under mutex_; handed to the writer on its thread
};

} // namespace qm
