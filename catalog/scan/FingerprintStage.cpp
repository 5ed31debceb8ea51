// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/scan/FingerprintStage.h"

#include "catalog/scan/ScanTexts.h"
#include "platform/FileFingerprint.h"
#include "platform/FileSystem.h"
#include "platform/Numbers.h"

#include <algorithm>
#include <cerrno>
#include <cmath>

namespace qm {

QString contentReadError(int error)
{
    switch (error) {
    case EINVAL:
        return QStringLiteral("its contents cannot be read: it is no longer a regular file");
    case EXDEV:
        return QStringLiteral("its contents cannot be read: it is now on another file system");
    case EAGAIN:
        return QStringLiteral("its contents changed while they were read; no fingerprint was kept");
    default:
        return QStringLiteral("its contents cannot be read: ") + errorText(error);
    }
}

namespace {

std::int64_t nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

QString clockText(double seconds)
{
    const auto whole = static_cast<std::int64_t>(std::ceil(seconds));
    const std::int64_t h = whole / 3600, m = whole / 60 % 60, s = whole % 60;
    const QString ms = QStringLiteral("%1:%2").arg(m, h > 0 ? 2 : 1, 10, QChar(u'0')).arg(s, 2, 10, QChar(u'0'));
    return h > 0 ? QString::number(h) + u':' + ms : ms;
}

} // namespace

QString ContentProgress::text() const
{
    QString line = walkEnded
        ? readableSize(read) + QStringLiteral(" of ") + readableSize(found) + QStringLiteral(" read")
        : readableSize(read) + QStringLiteral(" read of ") + readableSize(found) + QStringLiteral(" found so far");
    if (seconds < 0.5 || read == 0)
        return line;
    const double rate = static_cast<double>(read) / seconds;
    line += QStringLiteral(", ") + readableSize(static_cast<std::uint64_t>(rate)) + QStringLiteral("/s");
    const double left = static_cast<double>(found > read ? found - read : 0) / rate;
    line += (walkEnded ? QStringLiteral(", about ") : QStringLiteral(", at least "))
        + clockText(left) + QStringLiteral(" left");
    return line;
}

FingerprintStage::FingerprintStage(std::uint64_t device, int readers)
    : device_(device)
    , readerCount_(std::max(1, readers))
{
}

FingerprintStage::~FingerprintStage()
{
    {
        const std::lock_guard lock(mutex_);
        quit_ = true;
    }
    wake_.notify_all();
    for (std::thread& t : readers_)
        t.join();
}

int FingerprintStage::readersFor(std::uint64_t device)
{
    if (onRotatingDisk(device))
        return 1;
    // Enough reads in flight for a solid-state disk's queue; from the cache
    // the hash is the work, and each reader has a core when there are four.
    return 4;
}

void FingerprintStage::attach(ScanPipeline* pipeline, bool progressOn, std::chrono::milliseconds interval)
{
    pipeline_ = pipeline;
    progressOn_ = progressOn;
    interval_ = interval;
    lastAsk_ = std::chrono::steady_clock::now();
    walkEnded_ = false;
    stop_ = cancelled_.load();
}

void FingerprintStage::cancel()
{
    cancelled_ = true;
    stop_ = true;
}

ContentProgress FingerprintStage::progress() const
{
    ContentProgress p;
    p.read = bytesRead_.load(std::memory_order_relaxed);
    p.found = bytesFound_.load(std::memory_order_relaxed);
    p.walkEnded = walkEnded_.load();
    if (const std::int64_t started = startedNs_.load())
        p.seconds = static_cast<double>(nowNs() - started) / 1e9;
    return p;
}

std::int64_t FingerprintStage::skippedCount() const
{
    const std::lock_guard lock(mutex_);
    return skippedCount_;
}

std::vector<SkippedEntry> FingerprintStage::firstSkipped() const
{
    const std::lock_guard lock(mutex_);
    return skipped_;
}

void FingerprintStage::process(ScanBatch& batch)
{
    batch.contents.assign(batch.items.size(), ItemContent {});
    order_.clear();
    std::uint64_t found = 0;
    for (size_t i = 0; i < batch.items.size(); ++i) {
        const ScanItem& item = batch.items[i];
        if (item.kind == ScanItem::File && item.inArchive == 0) {
            if (reuse(batch, i))
                continue;
            order_.push_back(static_cast<std::uint32_t>(i));
            found += item.bytes;
        } else if (item.kind == ScanItem::End) {
            walkEnded_ = true;
        }
    }
    bytesFound_ += found;
    entries_ += batch.records;
    if (order_.empty() || stop_)
        return;
    if (readerCount_ > 1)
        std::stable_sort(order_.begin(), order_.end(),
            [&](std::uint32_t a, std::uint32_t b) { return batch.items[a].bytes > batch.items[b].bytes; });
    lastStarted_ = order_.front();
    if (startedNs_.load() == 0)
        startedNs_ = nowNs();
    {
        const std::lock_guard lock(mutex_);
        // Readers start with the first batch that has a file to read.
        while (static_cast<int>(readers_.size()) < readerCount_)
            readers_.emplace_back([this] { work(); });
        batch_ = &batch;
        next_ = 0;
        busy_ = static_cast<int>(readers_.size());
        ++round_;
    }
    wake_.notify_all();
    waitForReaders();
}

bool FingerprintStage::reuse(ScanBatch& batch, size_t index)
{
    const KnownEntry* known = batch.knownOf(index);
    const ScanItem& item = batch.items[index];
    if (!known || !known->fingerprinted || known->fingerprint.bytes != item.bytes)
        return false;
    const std::string path(batch.text.data() + item.path, item.pathLength);
    if (!unchangedSince(path, known->fingerprint))
        return false;
    ItemContent& content = batch.contents[index];
    content.fingerprint = known->fingerprint;
    content.read = content.reused = true;
    ++filesReused_;
    return true;
}

void FingerprintStage::waitForReaders()
{
    std::unique_lock lock(mutex_);
    while (busy_ > 0) {
        done_.wait_for(lock, std::min(interval_, std::chrono::milliseconds(100)));
        if (busy_ == 0)
            break;
        if (pipeline_ && pipeline_->stopping())
            stop_ = true;
        const auto now = std::chrono::steady_clock::now();
        if (!progressOn_ || !pipeline_ || now - lastAsk_ < interval_)
            continue;
        lastAsk_ = now;
        const ScanItem& item = batch_->items[lastStarted_.load()];
        const std::string_view path(batch_->text.data() + item.path, item.pathLength - item.nameLength);
        const QString folder = displayPath(path);
        lock.unlock();
        // The walker waits on this stage meanwhile: the report is asked here.
        if (!pipeline_->askProgress(entries_.load(), folder)) {
            cancel();
            pipeline_->stop();
        }
        lock.lock();
    }
    batch_ = nullptr;
}

void FingerprintStage::work()
{
    FingerprintReader reader;
    std::uint64_t seen = 0;
    for (;;) {
        ScanBatch* batch;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [&] { return quit_ || round_ != seen; });
            if (quit_)
                return;
            seen = round_;
            batch = batch_;
        }
        for (size_t i = next_++; i < order_.size() && !stop_; i = next_++)
            read(*batch, order_[i], reader);
        {
            const std::lock_guard lock(mutex_);
            if (--busy_ == 0)
                done_.notify_all();
        }
    }
}

void FingerprintStage::read(ScanBatch& batch, std::uint32_t index, FingerprintReader& reader)
{
    lastStarted_ = index;
    const ScanItem& item = batch.items[index];
    const std::string path(batch.text.data() + item.path, item.pathLength);
    ItemContent& content = batch.contents[index];
    const int error = reader.fingerprint(path, device_, stop_, bytesRead_, content.fingerprint);
    if (error == 0) {
        content.read = true;
        ++filesRead_;
        return;
    }
    if (error == ECANCELED)
        return; // the scan stops: not the file's fault
    content.error = error;
    const std::lock_guard lock(mutex_);
    ++skippedCount_;
    if (static_cast<int>(skipped_.size()) < kSkippedKept)
        skipped_.push_back({displayPath(path), contentReadError(error)});
}

} // namespace qm
