// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/FolderScan.h"

#include "catalog/ThumbnailStore.h"
#include "catalog/tree/TreeCheck.h"
#include "catalog/FolderScanRows.h"
#include "catalog/MediaStore.h"
#include "catalog/NodeKeys.h"
#include "platform/Numbers.h"
#include "catalog/store/Queries.h"
#include "catalog/Scans.h"
#include "catalog/store/Store.h"
#include "catalog/scan/FolderSizes.h"

#include <QDateTime>

#include <future>
#include <optional>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Exception.h>
#include <SQLiteCpp/Statement.h>
#include <sqlite3.h>

namespace qm {

FolderScan::FolderScan(SQLite::Database& db, const QString& databaseName, std::int64_t floorKey,
    ScanListener* listener, FileSystem& fs)
    : db_(db)
    , databaseName_(utf8(databaseName))
    , keys_(db, databaseName_, floorKey)
    , listener_(listener)
    , fs_(fs)
    , walker_(fs)
{
    sqlite3* handle = db_.getHandle();
    const std::string many = Queries::insertScanRecords(kRowsPerInsert);
    for (auto [text, statement] :
        {std::pair {many.c_str(), &insertMany_}, std::pair {Queries::kInsertScanRecordWithRawPath, &insertOne_},
            std::pair {Queries::kSetRecordSize, &update_}}) {
        if (sqlite3_prepare_v3(handle, text, -1, SQLITE_PREPARE_PERSISTENT, statement, nullptr)
            != SQLITE_OK) {
            const std::string error = sqlite3_errmsg(handle);
            sqlite3_finalize(insertMany_);
            sqlite3_finalize(insertOne_);
            sqlite3_finalize(update_);
            throw DbError(error);
        }
    }
    rows_.resize(kRowsPerInsert);
}

FolderScan::~FolderScan()
{
    try {
        flush();
    } catch (...) {
        // finish() reports store failures; here there is nobody left to tell.
    }
    try {
        commit();
    } catch (...) {
    }
    if (health_.valid()) // no commit came: the connection spills as before
        sqlite3_exec(db_.getHandle(), "PRAGMA cache_spill = ON", nullptr, nullptr, nullptr);
    sqlite3_finalize(insertMany_);
    sqlite3_finalize(insertOne_);
    sqlite3_finalize(update_);
    sqlite3_finalize(insertFingerprint_);
    sqlite3_finalize(insertThumbnail_);
    sqlite3_finalize(insertMedia_);
}

QString FolderScan::openStart(const QString& folderPath)
{
    // Whether another connection writes from here on decides whether the
    // store may be marked as checked afterwards, and the tree check carried.
    mark_.emplace(db_);
    try {
        beganAt_ = mainStamp(db_);
    } catch (const std::exception&) {
        beganAt_.reset(); // nothing is carried: the next reader works the check out
    }
    startPath_ = utf8(folderPath);
    if (startPath_.empty() || startPath_.back() != '/')
        startPath_.push_back('/');
    int error = 0;
    start_ = fs_.open(startPath_, error);
    if (start_)
        error = fs_.stat(*start_, startInfo_);
    if (!start_ || error != 0) {
        start_.reset();
        const QString shown
            = folderPath.size() > 1 && folderPath.endsWith(u'/') ? folderPath.chopped(1) : folderPath;
        return QStringLiteral("The folder %1 cannot be read: %2.").arg(shown, errorText(error));
    }
    device_ = startInfo_.device;
    if (fingerprinting_ && !insertFingerprint_
        && sqlite3_prepare_v3(db_.getHandle(), Queries::kInsertFingerprint, -1, SQLITE_PREPARE_PERSISTENT,
               &insertFingerprint_, nullptr)
            != SQLITE_OK) {
        start_.reset();
        return QStringLiteral("The catalogue cannot keep fingerprints: %1.")
            .arg(QString::fromUtf8(sqlite3_errmsg(db_.getHandle())));
    }
    if (thumbnails_ && !insertThumbnail_
        && sqlite3_prepare_v3(db_.getHandle(), kInsertThumbnail, -1, SQLITE_PREPARE_PERSISTENT, &insertThumbnail_,
               nullptr)
            != SQLITE_OK) {
        start_.reset();
        return QStringLiteral("The catalogue cannot keep thumbnails: %1.")
            .arg(QString::fromUtf8(sqlite3_errmsg(db_.getHandle())));
    }
    if (media_ && !insertMedia_
        && sqlite3_prepare_v3(db_.getHandle(), kInsertMedia, -1, SQLITE_PREPARE_PERSISTENT, &insertMedia_, nullptr)
            != SQLITE_OK) {
        start_.reset();
        return QStringLiteral("The catalogue cannot keep photo, music and video details: %1.")
            .arg(QString::fromUtf8(sqlite3_errmsg(db_.getHandle())));
    }

    // The store's health is checked on a connection of its own beside the
    // walk; the first commit waits for the answer, so a damaged store is
    // refused before anything is written to it. Until then no page of the
    // transaction may reach the file.
    const std::string file = sqlite3_db_filename(db_.getHandle(), "main");
    health_ = std::async(std::launch::async, [file] {
        SQLite::Database reader(file, SQLite::OPEN_READONLY);
        reader.setBusyTimeout(5000);
        return Store::damageSinceChecked(reader);
    });
    db_.exec("PRAGMA cache_spill = OFF");
    return {};
}

QString FolderScan::newKey()
{
    return keyOf(nextKeyNumber());
}

void FolderScan::addTopFolder(const StartFolder& top, const QString& key)
{
    delKey_ = utf8(key);
    ScanBatch batch;
    batch.text = utf8(top.fileName);
    const auto nameLength = static_cast<std::uint32_t>(batch.text.size());
    batch.text += utf8(top.path);
    const ScanItem item {0, startInfo_.created, startInfo_.modified, nameLength,
        static_cast<std::uint32_t>(batch.text.size()) - nameLength, 0, nameLength, ScanItem::Folder, false};
    Pending& row = rows_[0];
    row.item = &item;
    row.content = nullptr;
    row.thumbnail = nullptr;
    row.media = nullptr;
    row.text = batch.text.data();
    row.key = roundToInt64(numericValue(key)).value_or(0);
    row.keyText = delKey_;
    row.parentBytes = utf8(kRootKey);
    row.parent = kRootKey;
    row.size.clear(); // follows when the walk of the start folder ends
    dates_.format(item.created, row.date);
    row.announce = false; // its node is the caller's
    waiting_ = 1;
    // Stored at once, so that a store that refuses it is known before the
    // caller adds the node; the disk it is read from goes beside it.
    flush();
    top_.srNo = sqlite3_last_insert_rowid(db_.getHandle());
    topPending_ = true;
    topKey_ = key;
    begin();
    recordScanStart(db_, QString::fromStdString(databaseName_), key, diskOf(top.path),
        QDateTime::currentSecsSinceEpoch());
}

void FolderScan::walk(const QString& fPath, const QString& sParent, const QString& delKey)
{
    std::string path = utf8(fPath);
    if (path.empty() || path.back() != '/')
        path.push_back('/');
    delKey_ = utf8(delKey);
    ownBranch_ = ownBranch_ && !topKey_.isEmpty() && sParent == topKey_;
    lastTotal_ = 0;

    std::unique_ptr<Folder> folder;
    SizeTarget target;
    if (start_ && path == startPath_) {
        folder = std::move(start_);
        if (topPending_) {
            target = top_;
            topPending_ = false;
        }
    } else {
        int error = 0;
        folder = fs_.open(path, error);
        EntryInfo info;
        if (folder)
            error = fs_.stat(*folder, info);
        if (!folder || error != 0) {
            walker_.skipFolder(path, errorText(error));
            return;
        }
        if (startPath_.empty())
            device_ = info.device;
    }

    parentKey_ = sParent;
    parentBytes_ = utf8(sParent);
    open_.clear();
    walker_.setDevice(device_);
    // Archives bring their members into the batch: a short batch keeps the
    // writer busy while the next archives are read.
    walker_.setRowsPerBatch(archives_ ? 32 : FolderWalker::kRowsPerBatch);
    walker_.setProgress(listener_ != nullptr, interval_);
    FolderSizes sizes;
    std::vector<ScanStage*> stages {&sizes};
    if (archives_)
        stages.push_back(&archiveStage_);
    // After the archive stage: what it adds lines up with the final entries.
    if (media_ && insertMedia_) {
        if (!mediaStage_)
            mediaStage_ = std::make_unique<MediaStage>(FingerprintStage::readersFor(device_));
        stages.push_back(mediaStage_.get());
    }
    if (fingerprinting_ && insertFingerprint_) {
        if (!contents_)
            contents_ = std::make_unique<FingerprintStage>(device_, FingerprintStage::readersFor(device_));
        stages.insert(stages.begin(), contents_.get());
    }
    // Last: the archive stage adds items, and thumbnails go by item.
    if (thumbnails_ && insertThumbnail_) {
        if (!thumbnailStage_)
            thumbnailStage_ = std::make_unique<ThumbnailStage>(device_, ThumbnailStage::inFlightFor(device_));
        stages.push_back(thumbnailStage_.get());
    }
    ScanPipeline pipeline(std::move(stages));
    if (failed_ || (contents_ && contents_->cancelled()))
        pipeline.stop();
    pipeline_ = &pipeline;
    if (contents_)
        contents_->attach(&pipeline, listener_ != nullptr, interval_);
    if (thumbnailStage_)
        thumbnailStage_->attach(&pipeline);
    const QString lost = pipeline.run(
        [this, &folder, &path](ScanPipeline& p) { walker_.walk(std::move(folder), path, p); }, *this);
    if (contents_)
        contents_->attach(nullptr, false, interval_);
    if (thumbnailStage_)
        thumbnailStage_->attach(nullptr);
    pipeline_ = nullptr;
    if (!walker_.failure().isEmpty())
        fail(walker_.failure().toUtf8().constData());
    if (!lost.isEmpty())
        fail(lost.toUtf8().constData());

    if (target.srNo != 0 && !storeDamaged_) {
        try {
            setSize(target.srNo, lastTotal_);
        } catch (const std::exception& e) {
            // After a failure the failure is what gets told.
            if (failure_.isEmpty())
                failure_ = QString::fromUtf8(e.what());
        }
    }
}

void FolderScan::finish()
{
    std::int64_t counted = -1;
    try {
        if (topPending_) {
            topPending_ = false;
            if (top_.srNo != 0)
                setSize(top_.srNo, lastTotal_);
        }
        flush();
        if (!storeDamaged_) {
            begin();
            keys_.release();
            if (!topKey_.isEmpty()) {
                counted = recordsKept();
                recordScanEnd(db_, QString::fromStdString(databaseName_), topKey_, counted);
            }
            carryTreeCheck();
        }
    } catch (const std::exception& e) {
        if (failure_.isEmpty())
            failure_ = QString::fromUtf8(e.what());
    }
    sqlite3* handle = db_.getHandle();
    const bool open = inTransaction_ && !sqlite3_get_autocommit(handle);
    try {
        commit();
        // The count went in with the records it counted: it holds until the table changes.
        if (open && counted >= 0)
            counted_ = Counted {counted, sqlite3_total_changes64(handle), dataVersion()};
        // Sound when checked, and written only by this run since: no need to read it all again.
        if (foundSound_ && failure_.isEmpty() && !storeDamaged_ && mark_) {
            mark_->foundSound();
            mark_->committed();
        }
    } catch (const std::exception& e) {
        if (failure_.isEmpty())
            failure_ = QString::fromUtf8(e.what());
    }
}

void FolderScan::carryTreeCheck()
{
    // A run that stored its own top-level folder and walked below it alone
    // (stopped or not, what it stored is a walk's beginning), when no other
    // connection wrote to the store since it began: the catalogue's kept
    // check holds with the new keys, and the next tree needs no pass over
    // the records stored.
    if (!beganAt_ || !mark_ || topKey_.isEmpty() || !ownBranch_ || failed_ || !failure_.isEmpty())
        return;
    sqlite3* handle = db_.getHandle();
    try {
        if (mark_->anotherWriterCame())
            return;
        db_.exec("SAVEPOINT carry_check");
        try {
            carryCheckOverScan(db_, QString::fromStdString(databaseName_), *beganAt_);
            db_.exec("RELEASE carry_check");
        } catch (...) {
            sqlite3_exec(handle, "ROLLBACK TO carry_check", nullptr, nullptr, nullptr);
            sqlite3_exec(handle, "RELEASE carry_check", nullptr, nullptr, nullptr);
        }
    } catch (const std::exception&) {
        // Then the next reader works the check out.
    }
}

QString FolderScan::run(const StartFolder& top)
{
    const QString problem = openStart(top.path);
    if (!problem.isEmpty()) {
        failure_ = problem;
        return {};
    }
    QString key;
    try {
        key = newKey();
        addTopFolder(top, key);
    } catch (const std::exception& e) {
        failure_ = QString::fromUtf8(e.what());
        finish();
        return {};
    }
    walk(top.path, key, key);
    finish();
    return key;
}

std::int64_t FolderScan::recordsKept() const
{
    if (firstSrNo_ == 0)
        return 0; // nothing ever reached the table
    try {
        if (counted_.records >= 0 && sqlite3_total_changes64(db_.getHandle()) == counted_.changes
            && dataVersion() == counted_.version)
            return counted_.records;
        SQLite::Statement st(db_, Queries::kCountScanRecords);
        st.bind(1, static_cast<int64_t>(firstSrNo_));
        st.bind(2, databaseName_);
        st.bind(3, delKey_);
        st.executeStep();
        return st.getColumn(0).getInt64();
    } catch (const std::exception& e) {
        throw DbError(e.what());
    }
}

std::int64_t FolderScan::dataVersion() const
{
    return db_.execAndGet("PRAGMA data_version").getInt64();
}

QString keptText(const FolderScan& scan)
{
    try {
        return QStringLiteral("%1 record(s)").arg(scan.recordsKept());
    } catch (const DbError& e) {
        return QStringLiteral("an unknown number of records (the catalogue cannot count them: %1)")
            .arg(QString::fromUtf8(e.what()));
    }
}

QString thumbnailReport(const FolderScan& scan)
{
    return scan.thumbnailStage() ? thumbnailReport(*scan.thumbnailStage()) : QString();
}

QString archiveReport(const FolderScan& scan)
{
    return archiveReport(scan.archiveStage());
}

QString archiveReport(const ArchiveStage& stage)
{
    QString text;
    auto list = [&text](std::int64_t count, const std::vector<SkippedEntry>& first) {
        for (const SkippedEntry& s : first)
            text += u'\n' + s.path + QStringLiteral(" (") + s.reason + u')';
        if (const std::int64_t more = count - static_cast<std::int64_t>(first.size()); more > 0)
            text += QStringLiteral("\nand %1 more.").arg(more);
    };
    if (const std::int64_t count = stage.skippedCount()) {
        text = count == 1 ? QStringLiteral("1 archive could not be listed; its own record is kept without members:")
                          : QStringLiteral("%1 archives could not be listed; their own records are kept without "
                                           "members:")
                                .arg(count);
        list(count, stage.firstSkipped());
    }
    if (const std::int64_t count = stage.noteCount()) {
        if (!text.isEmpty())
            text += u'\n';
        text += QStringLiteral("Archives listed in part (%1):").arg(count);
        list(count, stage.firstNotes());
    }
    return text;
}

std::int64_t FolderScan::skippedCount() const
{
    return walker_.skippedCount() + (contents_ ? contents_->skippedCount() : 0);
}

std::vector<SkippedEntry> FolderScan::firstSkipped() const
{
    std::vector<SkippedEntry> first = walker_.firstSkipped();
    if (contents_)
        for (SkippedEntry& e : contents_->firstSkipped())
            if (static_cast<int>(first.size()) < kSkippedKept)
                first.push_back(std::move(e));
    return first;
}

QString skippedReport(const FolderScan& scan)
{
    return skippedReport(scan.skippedCount(), scan.firstSkipped());
}

} // namespace qm
