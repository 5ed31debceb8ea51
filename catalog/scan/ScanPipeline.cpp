// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/scan/ScanPipeline.h"

#include <exception>
#include <thread>

namespace qm {

ScanPipeline::ScanPipeline(std::vector<ScanStage*> stages)
    : stages_(std::move(stages))
{
    for (size_t i = 0; i <= stages_.size(); ++i)
        queues_.push_back(std::make_unique<Queue>());
}

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
        startThread([this, i] { runStage(i); }, queues_[i].get(), *queues_[i + 1]);

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
    for (std::thread& t : threads)
        t.join();
    writer_ = nullptr;
    return walkFailure;
}

void ScanPipeline::runStage(size_t index)
{
    Queue& input = *queues_[index];
    Queue& output = *queues_[index + 1];
    bool failed = false;
    while (std::unique_ptr<ScanBatch> batch = take(input)) {
        if (!failed) {
            try {
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
    // The writer waits for batches on its queue's signal.
    progress_.ask(lock, queues_.back()->filled, answered_, entries, std::move(folder), [] { return false; });
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
        progress_.answer(goOn);
    }
    answered_.notify_one();
}

} // namespace qm
