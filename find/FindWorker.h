// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Find window's searcher: owns the search index on a thread of its own,
// so that typing never waits for the store or a sweep. The newest query wins:
// a query that is no longer the newest stops where it stands, and its rows
// never reach the window.
#include "find/Query.h"
#include "find/SearchIndex.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <atomic>
#include <memory>
#include <optional>
#include <vector>

namespace qm::find {

class FindWorker : public QObject {
    Q_OBJECT
public:
    // Rows handed back before the rest: what the user sees at once.
    static constexpr int kFirstRows = 200;
    // Rows read in one go after the first ones.
    static constexpr int kBatchRows = 2000;
    // The window lists at most this many; the count covers every one.
    static constexpr int kShownRows = 50000;

    FindWorker(QString storePath, std::shared_ptr<std::atomic<quint64>> newest);
    ~FindWorker() override;

    // Runs on the worker's thread (queue it there).
    void search(quint64 ticket, const qm::find::Query& query);
    // Reads the catalogue ahead of the first query.
    void prime();

signals:
    // Rows of query `ticket`; the first batch replaces what the window shows.
    void rows(quint64 ticket, bool first, const std::vector<qm::find::Hit>& hits);
    // Every row of query `ticket` was handed back; `total` counts every match.
    void done(quint64 ticket, qint64 total);
    void failed(quint64 ticket, const QString& message);
    void reading();
    // The index kept on disk is being written: records read of about how many.
    void indexing(qint64 done, qint64 total);
    // What the search says of its index (rebuilt, or working without it).
    void notice(const QString& text);
    void cataloguesRead(const QStringList& names);

private:
    bool syncIndex();
    bool current(quint64 ticket) const { return newest_->load() == ticket; }
    void watch();

    QString storePath_;
    std::shared_ptr<std::atomic<quint64>> newest_;
    std::unique_ptr<SearchIndex> index_;
    QStringList catalogues_;
    std::optional<std::pair<quint64, Query>> last_;
    QTimer* watcher_ = nullptr;
};

} // namespace qm::find
