// SPDX-License-Identifier: GPL-3.0-or-later
// FolderScan as the scan pipeline's writer, on the thread that runs the
// scan: numbers each record, stores the rows through the prepared inserts in
// long transactions, fills in folder sizes, and tells the listener.
#include "catalog/FolderScan.h"

#include "catalog/FolderScanRows.h"
#include "catalog/MediaStore.h"
#include "platform/Numbers.h"
#include "catalog/store/Queries.h"
#include "catalog/store/Store.h"

#include <QByteArrayView>

#include <algorithm>
#include <charconv>
#include <optional>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Exception.h>
#include <sqlite3.h>

namespace qm {
namespace {

bool isUtf8(std::string_view text)
{
    return QByteArrayView(text.data(), text.size()).isValidUtf8();
}

// Digits and ">" of a key number; returns the length.
size_t formatKey(std::int64_t number, char (&out)[24])
{
    const auto end = std::to_chars(out, out + sizeof out - 1, number).ptr;
    *end = '>';
    return static_cast<size_t>(end - out + 1);
}

void bindText(sqlite3_stmt* st, int index, std::string_view text)
{
    // The statement runs before any of the texts changes.
    sqlite3_bind_text(st, index, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
}

} // namespace

std::int64_t FolderScan::nextKeyNumber()
{
    // A new range of keys is reserved in the transaction the records go in.
    begin();
    try {
        return keys_.next();
    } catch (const SQLite::Exception& e) {
        throw storeError(e.getErrorCode(), e.what());
    }
}

DbError FolderScan::storeError()
{
    sqlite3* handle = db_.getHandle();
    return storeError(sqlite3_errcode(handle), sqlite3_errmsg(handle));
}

DbError FolderScan::storeError(int code, const char* text)
{
    if (!Store::isDamageError(code))
        return DbError(text);
    storeDamaged_ = true;
    return DbError(Store::foundDamaged(
        QString::fromUtf8(sqlite3_db_filename(db_.getHandle(), "main")), QString::fromUtf8(text))
                       .toStdString());
}

void FolderScan::store(ScanBatch& batch)
{
    for (const ScanItem& item : batch.items) {
        if (item.kind == ScanItem::End) {
            lastTotal_ = item.bytes;
        } else if (item.kind == ScanItem::Close) {
            if (open_.empty())
                continue;
            const std::int64_t srNo = open_.back().srNo;
            open_.pop_back();
            if (!item.sized && srNo != 0 && !storeDamaged_) {
                try {
                    setSize(srNo, item.bytes);
                } catch (const std::exception& e) {
                    fail(e.what());
                }
            }
        } else if (failed_) {
            if (item.kind == ScanItem::Folder || item.container)
                open_.push_back(OpenFolder {{}, {}, 0, -1, false});
        } else {
            try {
                queue(item, batch);
                if (waiting_ == kRowsPerInsert) {
                    flush();
                    pipeline_->answerProgressIfAsked();
                }
            } catch (const std::exception& e) {
                fail(e.what());
            }
        }
    }
    // The next batch's texts are elsewhere: nothing waits past this one.
    try {
        flush();
    } catch (const std::exception& e) {
        fail(e.what());
    }
}

void FolderScan::queue(const ScanItem& item, const ScanBatch& batch)
{
    const std::int64_t key = nextKeyNumber();
    Pending& r = rows_[static_cast<size_t>(waiting_)];
    r.item = &item;
    const auto index = static_cast<size_t>(&item - batch.items.data());
    r.content = batch.contents.empty() ? nullptr : &batch.contents[index];
    r.thumbnail = batch.thumbnails.empty() || batch.thumbnails[index].image.isEmpty() ? nullptr
                                                                                       : &batch.thumbnails[index];
    r.media = batch.media.empty() ? nullptr : &batch.media[index];
    r.srNo = 0;
    r.text = batch.text.data();
    r.key = key;
    char keyText[24];
    r.keyText.assign(keyText, formatKey(key, keyText));
    if (open_.empty()) {
        r.parent = parentKey_;
        r.parentBytes = parentBytes_;
    } else {
        r.parent = open_.back().key;
        r.parentBytes = open_.back().keyBytes;
    }
    // A path is readable when its folder's is and its own name is.
    const std::string_view name(r.text + item.name, item.nameLength);
    r.raw = (!open_.empty() && open_.back().raw) || !isUtf8(name);
    if (r.raw) {
        r.shownName = utf8(displayPath(name));
        r.shownPath = utf8(displayPath(std::string_view(r.text + item.path, item.pathLength)));
        ++rawWaiting_;
    }
    r.size.clear();
    if (item.kind == ScanItem::File || item.sized)
        appendSizeText(item.bytes, r.size);
    dates_.format(item.created, r.date);
    r.announce = true;
    // An archive's members hang below its record as a folder's entries do.
    if (item.kind == ScanItem::Folder || item.container)
        open_.push_back(
            OpenFolder {QString::fromLatin1(r.keyText.data(), static_cast<qsizetype>(r.keyText.size())),
                r.keyText, 0, waiting_, r.raw});
    ++waiting_;
}

bool FolderScan::progress(std::int64_t entries, const QString& folder)
{
    // After a failure the walker is stopping anyway.
    if (failed_ || !listener_)
        return true;
    if (!contents_)
        return listener_->progress(entries, folder);
    // The walker and the reads both ask; the walker's count is ahead.
    entriesShown_ = std::max(entriesShown_, entries);
    const bool goOn = listener_->contentProgress(entriesShown_, folder, contents_->progress());
    if (!goOn)
        contents_->cancel();
    return goOn;
}

void FolderScan::failed(const QString& why)
{
    fail(why.toUtf8().constData());
}

void FolderScan::fail(const char* text)
{
    if (failure_.isEmpty())
        failure_ = QString::fromUtf8(text);
    failed_ = true;
    if (pipeline_)
        pipeline_->stop();
}

void FolderScan::flush()
{
    if (waiting_ == 0)
        return;
    try {
        begin();
    } catch (...) {
        waiting_ = 0; // they point into a batch that is about to go
        throw;
    }
    sqlite3* handle = db_.getHandle();
    const int count = waiting_;
    auto bindRow = [this](sqlite3_stmt* st, int base, const Pending& r) {
        const ScanItem& item = *r.item;
        bindText(st, base + 1, r.keyText);
        bindText(st, base + 2, r.parentBytes);
        bindText(st, base + 3, databaseName_);
        bindText(st, base + 4, r.name());
        bindText(st, base + 5, r.path());
        bindText(st, base + 6, r.size);
        bindText(st, base + 7, std::string_view(r.date, 19));
        bindText(st, base + 8, delKey_);
        // A folder's bytes come with its size text, once its walk has ended.
        if (item.kind == ScanItem::Folder && !item.sized)
            sqlite3_bind_null(st, base + 9);
        else
            sqlite3_bind_int64(st, base + 9, static_cast<sqlite3_int64>(item.bytes));
        sqlite3_bind_int64(st, base + 10, item.created);
        sqlite3_bind_int64(st, base + 11, item.modified);
        if (item.inArchive != 0)
            sqlite3_bind_int(st, base + 12, item.inArchive);
        else
            sqlite3_bind_null(st, base + 12);
    };
    int done = 0;
    std::optional<DbError> error;
    // Rows with a path's original bytes go in one by one, with them.
    const bool anyRaw = rawWaiting_ > 0;
    rawWaiting_ = 0;
    if (count == kRowsPerInsert && !anyRaw) {
        for (int i = 0; i < count; ++i)
            bindRow(insertMany_, i * Queries::kInsertScanRecordValues, rows_[static_cast<size_t>(i)]);
        const int rc = sqlite3_step(insertMany_);
        sqlite3_reset(insertMany_);
        if (rc == SQLITE_DONE) {
            // One statement numbers its rows one after another.
            stored(0, count, sqlite3_last_insert_rowid(handle) - count + 1);
            done = count;
        } else if (inTransaction_ && sqlite3_get_autocommit(handle)) {
            error = storeError(); // the store gave the whole transaction up
        }
    }
    // One by one: the rest, or the rows before one the store refuses.
    while (done < count && !error) {
        const Pending& r = rows_[static_cast<size_t>(done)];
        bindRow(insertOne_, 0, r);
        if (r.raw)
            sqlite3_bind_blob(insertOne_, Queries::kInsertScanRecordValues + 1, r.text + r.item->path,
                static_cast<int>(r.item->pathLength), SQLITE_STATIC);
        else
            sqlite3_bind_null(insertOne_, Queries::kInsertScanRecordValues + 1);
        const int rc = sqlite3_step(insertOne_);
        sqlite3_reset(insertOne_);
        if (rc != SQLITE_DONE) {
            error = storeError();
            break;
        }
        stored(done, 1, sqlite3_last_insert_rowid(handle));
        ++done;
    }
    if (!error && insertFingerprint_) {
        try {
            storeFingerprints(done);
        } catch (const DbError& e) {
            error = e;
        }
    }
    if (!error && insertThumbnail_) {
        try {
            storeThumbnails(done);
        } catch (const DbError& e) {
            error = e;
        }
    }
    if (!error && insertMedia_) {
        try {
            storeMedia(done);
        } catch (const DbError& e) {
            error = e;
        }
    }
    waiting_ = 0;
    // The refused row and those queued after it are not stored: no size goes to them.
    for (OpenFolder& f : open_)
        f.pending = -1;
    if (listener_)
        for (int i = 0; i < done; ++i) {
            const Pending& r = rows_[static_cast<size_t>(i)];
            if (r.announce)
                listener_->entryStored({r.key, r.parent, r.name(), r.item->kind == ScanItem::Folder});
        }
    if (error)
        throw *error;
    if (transactionRows_ >= batchRows_ || std::chrono::steady_clock::now() - transactionStart_ >= batchAge_)
        commit();
}

void FolderScan::stored(int first, int count, std::int64_t firstSrNo)
{
    if (firstSrNo_ == 0)
        firstSrNo_ = firstSrNo;
    records_ += count;
    transactionRows_ += count;
    for (int i = 0; i < count; ++i)
        rows_[static_cast<size_t>(first + i)].srNo = firstSrNo + i;
    // Only the innermost open folders can still wait for their number.
    for (auto f = open_.rbegin(); f != open_.rend() && f->pending >= 0; ++f)
        if (f->pending >= first && f->pending < first + count)
            f->srNo = firstSrNo + (f->pending - first);
}

void FolderScan::storeFingerprints(int count)
{
    for (int i = 0; i < count; ++i) {
        const Pending& r = rows_[static_cast<size_t>(i)];
        if (!r.content || !r.content->read || r.srNo == 0)
            continue;
        const FileFingerprint& f = r.content->fingerprint;
        sqlite3_bind_int64(insertFingerprint_, 1, r.srNo);
        sqlite3_bind_blob(insertFingerprint_, 2, f.hash.data(), static_cast<int>(f.hash.size()), SQLITE_STATIC);
        sqlite3_bind_int64(insertFingerprint_, 3, static_cast<sqlite3_int64>(f.bytes));
        sqlite3_bind_int64(insertFingerprint_, 4, f.modifiedNs);
        const int rc = sqlite3_step(insertFingerprint_);
        sqlite3_reset(insertFingerprint_);
        if (rc != SQLITE_DONE)
            throw storeError();
        ++fingerprintsStored_;
    }
}

void FolderScan::storeThumbnails(int count)
{
    for (int i = 0; i < count; ++i) {
        const Pending& r = rows_[static_cast<size_t>(i)];
        if (!r.thumbnail || r.srNo == 0)
            continue;
        const ItemThumbnail& t = *r.thumbnail;
        sqlite3_bind_int64(insertThumbnail_, 1, r.srNo);
        sqlite3_bind_int(insertThumbnail_, 2, t.width);
        sqlite3_bind_int(insertThumbnail_, 3, t.height);
        sqlite3_bind_blob(insertThumbnail_, 4, t.image.constData(), static_cast<int>(t.image.size()), SQLITE_STATIC);
        const int rc = sqlite3_step(insertThumbnail_);
        sqlite3_reset(insertThumbnail_);
        if (rc != SQLITE_DONE)
            throw storeError();
        ++thumbnailsStored_;
    }
}

void FolderScan::storeMedia(int count)
{
    for (int i = 0; i < count; ++i) {
        const Pending& r = rows_[static_cast<size_t>(i)];
        if (!r.media || !r.media->read() || r.srNo == 0)
            continue;
        bindMedia(insertMedia_, r.srNo, *r.media);
        const int rc = sqlite3_step(insertMedia_);
        sqlite3_reset(insertMedia_);
        if (rc != SQLITE_DONE)
            throw storeError();
        ++mediaStored_;
    }
}

void FolderScan::setSize(std::int64_t srNo, std::uint64_t bytes)
{
    begin();
    std::string size;
    appendSizeText(bytes, size);
    bindText(update_, 1, size);
    sqlite3_bind_int64(update_, 2, static_cast<sqlite3_int64>(bytes));
    sqlite3_bind_int64(update_, 3, srNo);
    bindText(update_, 4, databaseName_);
    bindText(update_, 5, delKey_);
    const int rc = sqlite3_step(update_);
    sqlite3_reset(update_);
    if (rc != SQLITE_DONE)
        throw storeError();
}

void FolderScan::begin()
{
    if (inTransaction_ || !sqlite3_get_autocommit(db_.getHandle()))
        return;
    // The write lock at once: a key reservation reads, then writes.
    db_.exec("BEGIN IMMEDIATE");
    inTransaction_ = true;
    transactionRows_ = 0;
    transactionStart_ = std::chrono::steady_clock::now();
}

void FolderScan::commit()
{
    if (!inTransaction_)
        return;
    inTransaction_ = false;
    if (sqlite3_get_autocommit(db_.getHandle()))
        return; // the store rolled the transaction back after an error
    if (health_.valid()) {
        QString damage;
        try {
            damage = health_.get();
            foundSound_ = damage.isEmpty();
        } catch (const std::exception&) {
            // A check that cannot run leaves it to the store's own errors.
        }
        if (!damage.isEmpty()) {
            sqlite3_exec(db_.getHandle(), "ROLLBACK", nullptr, nullptr, nullptr);
            storeDamaged_ = true;
            throw DbError(damage.toStdString());
        }
        db_.exec("PRAGMA cache_spill = ON");
    }
    if (sqlite3_exec(db_.getHandle(), "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
        DbError error = storeError();
        if (!sqlite3_get_autocommit(db_.getHandle()))
            sqlite3_exec(db_.getHandle(), "ROLLBACK", nullptr, nullptr, nullptr);
        throw error;
    }
}

} // namespace qm
