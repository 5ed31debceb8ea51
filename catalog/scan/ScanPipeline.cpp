// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/scan/ScanPipeline.h"

#include "catalog/scan/ParallelStage.h"

#include <exception>
#include <system_error>
#include <thread>

namespace qm {

// The stage's own thread and its helpers take the entries of one batch by
// turns; the stage's thread hands the batch on once all of them are done.
struct ScanPipeline::Crew {
    explicit Crew(ParallelStage& s)
        : stage(s)
    {
    }

    // On the stage's thread. Rethrows the first failure of an entry, once
    // every entry begun is done.
    void process(ScanBatch& b)
    {
        stage.prepare(b);
        std::unique_lock lock(mutex);
        batch = &b;
        next = done = 0;
        failure = nullptr;
        lock.unlock();
        work.notify_all();
        lock.lock();
        takeEntries(lock);
        finished.wait(lock, [&] { return done == b.items.size(); });
        batch = nullptr;
        if (std::exception_ptr failed = failure) {
            failure = nullptr;
            lock.unlock();
            std::rethrow_exception(failed);
        }
    }

    // A helper's life: entries of each batch until dismissed.
    void help()
    {
        std::unique_lock lock(mutex);
        for (;;) {
            work.wait(lock, [&] { return dismissed || (batch && next < batch->items.size()); });
            if (batch && next < batch->items.size())
                takeEntries(lock);
            else
                return;
        }
    }

    void dismiss()
    {
        {
            const std::lock_guard lock(mutex);
            dismissed = true;
        }
        work.notify_all();
    }

    ParallelStage& stage;
    std::mutex mutex;
    std::condition_variable work, finished;
    ScanBatch* batch = nullptr; // the batch being worked on
    size_t next = 0, done = 0; // its entries taken, and finished
    std::exception_ptr failure; // the first of the batch: the rest are not begun
    bool dismissed = false;

private:
    void takeEntries(std::unique_lock<std::mutex>& lock)
    {
        while (batch && next < batch->items.size()) {
            ScanBatch& b = *batch;
            const size_t index = next++;
            std::exception_ptr failed;
            if (!failure) {
                lock.unlock();
                try {
                    stage.processEntry(b, index);
                } catch (...) {
                    failed = std::current_exception();
                }
                lock.lock();
            }
            if (failed && !failure)
                failure = failed;
            if (++done == b.items.size())
                finished.notify_all();
        }
    }
};

ScanPipeline::ScanPipeline(std::vector<ScanStage*> stages)
    : stages_(std::move(stages))
{
    for (size_t i = 0; i <= stages_.size(); ++i)
        queues_.push_back(std::make_unique<Queue>());
    for (ScanStage* stage : stages_) {
        auto* parallel = dynamic_cast<ParallelStage*>(stage);
        crews_.push_back(parallel && parallel->inFlight() > 1 ? std::make_unique<Crew>(*parallel) : nullptr);
    }
}

ScanPipeline::~ScanPipeline() = default;

QString ScanPipeline::run(const std::function<void(ScanPipeline&)>& walk, ScanWriter& writer)
{
    writer_ = &writer;
    QString walkFailure;
    std::vector<std::thread> threads;
    // Each thread ends its output queue however it ends, so that the next
    // one drains and ends too; the writer, here, ends last.
    auto startThread = [&](auto body, Queue* input, Queue& output) {
        try {
            threads.emplace_back(body);
            return true;
        } catch (const std::exception& e) {
            // No thread to be had: the scan fails; nothing comes down this
            // way, and whatever is handed to it is dropped, not waited for.
            writer.failed(QString::fromUtf8(e.what()));
            stop();
            const std::lock_guard lock(mutex_);
            if (input) {
                input->abandoned = true;
                input->drained.notify_all();
            }
            output.ended = true;
            output.filled.notify_all();
            return false;
        }
    };
    startThread(
        [this, &walk, &walkFailure] {
            try {
                walk(*this);
            } catch (const std::exception& e) {
                walkFailure = QString::fromUtf8(e.what());
            }
            end(*queues_.front());
        },
        nullptr, *queues_.front());
    for (size_t i = 0; i < stages_.size(); ++i)
        if (startThread([this, i] { runStage(i); }, queues_[i].get(), *queues_[i + 1]) && crews_[i])
            startHelpers(*crews_[i], threads);

    Queue& input = *queues_.back();
    bool toldStageFailure = false;
    for (;;) {
        std::unique_ptr<ScanBatch> batch;
        {
            std::unique_lock lock(mutex_);
            input.filled.wait(
                lock, [&] { return !input.batches.empty() || progress_.waiting() || input.ended; });
            if (!stageFailure_.isEmpty() && !toldStageFailure) {
                toldStageFailure = true;
                const QString why = stageFailure_;
                lock.unlock();
                writer.failed(why);
                continue;
            }
            if (progress_.waiting()) {
                lock.unlock();
                answerProgress();
                continue;
            }
            if (input.batches.empty())
                break; // ended, and everything handed on is stored
            batch = std::move(input.batches.front());
            input.batches.pop_front();
        }
        input.drained.notify_one();
        // Whatever goes wrong here, the walker and the stages are heard out
        // before they are joined.
        try {
            writer.store(*batch);
        } catch (const std::exception& e) {
            stop();
            writer.failed(QString::fromUtf8(e.what()));
        }
        batch->clear();
        const std::lock_guard lock(mutex_);
        spare_.push_back(std::move(batch));
    }
    // Every stage has ended (it dismisses its helpers as it does); helpers
    // of a stage that never started are dismissed here.
    for (const std::unique_ptr<Crew>& crew : crews_)
        if (crew)
            crew->dismiss();
    for (std::thread& t : threads)
        t.join();
    writer_ = nullptr;
    return walkFailure;
}

void ScanPipeline::startHelpers(Crew& crew, std::vector<std::thread>& threads)
{
    for (int i = 1; i < crew.stage.inFlight(); ++i) {
        try {
            threads.emplace_back([&crew] { crew.help(); });
        } catch (const std::system_error&) {
            return; // fewer entries in flight: the stage's own thread does the rest
        }
    }
}

void ScanPipeline::runStage(size_t index)
{
    Queue& input = *queues_[index];
    Queue& output = *queues_[index + 1];
    Crew* crew = crews_[index].get();
    bool failed = false;
    while (std::unique_ptr<ScanBatch> batch = take(input)) {
        if (!failed) {
            try {
                if (crew)
                    crew->process(*batch);
                else
                    stages_[index]->process(*batch);
            } catch (const std::exception& e) {
                // What this stage hands on from here is unfinished: the
                // writer hears of it before it sees the batch.
                failed = true;
                stop();
                const std::lock_guard lock(mutex_);
                if (stageFailure_.isEmpty())
                    stageFailure_ = QString::fromUtf8(e.what());
            }
        }
        put(output, std::move(batch));
    }
    if (crew)
        crew->dismiss();
    end(output);
}

std::unique_ptr<ScanBatch> ScanPipeline::take(Queue& from)
{
    std::unique_ptr<ScanBatch> batch;
    {
        std::unique_lock lock(mutex_);
        from.filled.wait(lock, [&] { return !from.batches.empty() || from.ended; });
        if (from.batches.empty())
            return nullptr;
        batch = std::move(from.batches.front());
        from.batches.pop_front();
    }
    from.drained.notify_one();
    return batch;
}

void ScanPipeline::put(Queue& to, std::unique_ptr<ScanBatch> batch)
{
    {
        std::unique_lock lock(mutex_);
        to.drained.wait(
            lock, [&] { return to.batches.size() < static_cast<size_t>(kBatchesAhead) || to.abandoned; });
        if (to.abandoned)
            return;
        to.batches.push_back(std::move(batch));
    }
    to.filled.notify_one();
}

void ScanPipeline::end(Queue& queue)
{
    {
        const std::lock_guard lock(mutex_);
        queue.ended = true;
    }
    queue.filled.notify_one();
}

std::unique_ptr<ScanBatch> ScanPipeline::handOn(std::unique_ptr<ScanBatch> full)
{
    Queue& first = *queues_.front();
    std::unique_ptr<ScanBatch> next;
    {
        std::unique_lock lock(mutex_);
        first.drained.wait(lock,
            [&] { return first.batches.size() < static_cast<size_t>(kBatchesAhead) || first.abandoned; });
        if (first.abandoned)
            full->clear();
        else
            first.batches.push_back(std::move(full));
        if (!spare_.empty()) {
            next = std::move(spare_.back());
            spare_.pop_back();
        }
    }
    first.filled.notify_one();
    if (full) // not taken: filled again
        return full;
    return next ? std::move(next) : std::make_unique<ScanBatch>();
}

bool ScanPipeline::askProgress(std::int64_t entries, QString folder)
{
    const std::lock_guard one(askers_);
    std::unique_lock lock(mutex_);
    progress_.entries = entries;
    progress_.folder = std::move(folder);
    progress_.asked = true;
    progress_.answered = false;
    // The writer waits for batches on its queue's signal.
    queues_.back()->filled.notify_one();
    answered_.wait(lock, [&] { return progress_.answered; });
    progress_.asked = false;
    return progress_.goOn;
}

void ScanPipeline::answerProgressIfAsked()
{
    bool asked;
    {
        const std::lock_guard lock(mutex_);
        asked = progress_.waiting();
    }
    if (asked)
        answerProgress();
}

void ScanPipeline::answerProgress()
{
    // The walker waits meanwhile: what it asked with stays as it is.
    bool goOn = true;
    try {
        goOn = writer_->progress(progress_.entries, progress_.folder);
    } catch (const std::exception& e) {
        stop();
        writer_->failed(QString::fromUtf8(e.what()));
    }
    {
        const std::lock_guard lock(mutex_);
        progress_.goOn = goOn;
        progress_.answered = true;
    }
    answered_.notify_one();
}

} // namespace qm
