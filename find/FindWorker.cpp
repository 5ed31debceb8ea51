// SPDX-License-Identifier: GPL-3.0-or-later
#include "find/FindWorker.h"

#include <algorithm>
#include <span>

namespace qm::find {
namespace {
// How often the window's query is run again when another writer committed.
constexpr int kWatchMilliseconds = 1000;
} // namespace

FindWorker::FindWorker(QString storePath, std::shared_ptr<std::atomic<quint64>> newest)
    : storePath_(std::move(storePath))
    , newest_(std::move(newest))
    , watcher_(new QTimer(this))
{
    watcher_->setInterval(kWatchMilliseconds);
    connect(watcher_, &QTimer::timeout, this, &FindWorker::watch);
}

FindWorker::~FindWorker() = default;

bool FindWorker::syncIndex()
{
    // The timer lives on the worker's thread: it starts there.
    if (!watcher_->isActive())
        watcher_->start();
    if (!index_) {
        emit reading();
        const IndexPlace place = indexPlaceOf(storePath_);
        index_ = std::make_unique<SearchIndex>(storePath_, place.file);
        if (!place.problem.isEmpty())
            emit notice(QStringLiteral("Searching without an index: ") + place.problem);
        index_->progress = [this](std::int64_t done, std::int64_t total) { emit indexing(done, total); };
    }
    const bool changed = index_->sync();
    if (const QString said = index_->takeNotice(); !said.isEmpty())
        emit notice(said);
    if (changed) {
        if (const QStringList names = index_->catalogues(); names != catalogues_) {
            catalogues_ = names;
            emit cataloguesRead(names);
        }
    }
    return changed;
}

void FindWorker::prime()
{
    try {
        syncIndex();
    } catch (const std::exception& e) {
        index_.reset();
        emit failed(newest_->load(), QString::fromUtf8(e.what()));
    }
}

void FindWorker::watch()
{
    try {
        if (index_ && syncIndex() && last_ && current(last_->first)) {
            const auto [ticket, query] = *last_; // search() replaces last_
            search(ticket, query);
        }
    } catch (const std::exception& e) {
        index_.reset();
        emit failed(newest_->load(), QString::fromUtf8(e.what()));
    }
}

void FindWorker::search(quint64 ticket, const Query& query)
{
    if (!current(ticket))
        return;
    last_.emplace(ticket, query);
    try {
        syncIndex();
        std::vector<std::uint32_t> found;
        qint64 total = 0;
        bool sentFirst = false;
        bool stopped = false;
        index_->search(query, [&](std::uint32_t entry) {
            if (!current(ticket)) {
                stopped = true;
                return false;
            }
            ++total;
            if (found.size() < static_cast<size_t>(kShownRows))
                found.push_back(entry);
            if (!sentFirst && found.size() == static_cast<size_t>(kFirstRows)) {
                emit rows(ticket, true, index_->details(found));
                sentFirst = true;
            }
            return true;
        });
        if (stopped)
            return;
        const std::span<const std::uint32_t> all(found);
        size_t from = 0;
        if (sentFirst) {
            from = kFirstRows;
        } else {
            emit rows(ticket, true, index_->details(all));
            from = found.size();
        }
        for (; from < found.size(); from += kBatchRows) {
            if (!current(ticket))
                return;
            emit rows(ticket, false, index_->details(all.subspan(from, std::min<size_t>(kBatchRows, found.size() - from))));
        }
        emit done(ticket, total);
    } catch (const std::exception& e) {
        index_.reset();
        emit failed(ticket, QString::fromUtf8(e.what()));
    }
}

} // namespace qm::find
