#include "catalog/FolderScan.h"

#include "catalog/CatalogueTree.h"
#include "catalog/NodeKeys.h"
#include "catalog/Numbers.h"
#include "catalog/Queries.h"
#include "catalog/Scans.h"
#include "catalog/Store.h"

#include <QByteArrayView>
#include <QDateTime>

#include <charconv>
#include <cstring>
#include <future>
#include <optional>
#include <thread>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Exception.h>
#include <SQLiteCpp/Statement.h>
#include <sqlite3.h>

namespace qm {
namespace {

bool isDotOrDotDot(const char* name)
{
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

bool isUtf8(std::string_view text)
{
    return QByteArrayView(text.data(), text.size()).isValidUtf8();
}

std::string utf8(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
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

StartFolder startFolderOf(const QString& reportedPath)
{
    StartFolder top;
    top.fileName = reportedPath;
    top.path = reportedPath.endsWith(u'/') ? reportedPath : reportedPath + u'/';
    return top;
}

// Rows handed from the walker to the store: the items in walk order and the
// texts they point into.
struct FolderScan::Batch {
    std::vector<Item> items;
    std::string text;
    int records = 0;
};

// A row waiting for the insert, with the texts bound to it.
struct FolderScan::Pending {
    const Item* item;
    const char* text; // the batch's
    std::int64_t key;
    std::string keyText, parentBytes, size;
    QString parent;
    char date[20];
    bool announce; // the listener hears of it (not of the top-level folder)
    // A path that is not valid UTF-8 is stored readable, its bytes beside it.
    bool raw;
    std::string shownName, shownPath;
    std::string_view name() const
    {
        return raw ? std::string_view(shownName) : std::string_view(text + item->name, item->nameLength);
    }
    std::string_view path() const
    {
        return raw ? std::string_view(shownPath) : std::string_view(text + item->path, item->pathLength);
    }
};

FolderScan::FolderScan(SQLite::Database& db, const QString& databaseName, std::int64_t floorKey,
    ScanListener* listener, FileSystem& fs)
    : db_(db)
    , databaseName_(utf8(databaseName))
    , keys_(db, databaseName_, floorKey)
    , listener_(listener)
    , fs_(fs)
{
    sqlite3* handle = db_.getHandle();
    const std::string many = Queries::insertRecords(kRowsPerInsert);
    for (auto [text, statement] :
        {std::pair {many.c_str(), &insertMany_}, std::pair {Queries::kInsertRecordWithRawPath, &insertOne_},
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
    filling_ = std::make_unique<Batch>();
    lastProgress_ = std::chrono::steady_clock::now();
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
    return DbError(Store::foundDamaged(QString::fromUtf8(sqlite3_db_filename(db_.getHandle(), "main")),
        QString::fromUtf8(text))
                       .toStdString());
}

QString FolderScan::newKey()
{
    return keyOf(nextKeyNumber());
}

void FolderScan::addTopFolder(const StartFolder& top, const QString& key)
{
    delKey_ = utf8(key);
    Batch batch;
    batch.text = utf8(top.fileName);
    const auto nameLength = static_cast<std::uint32_t>(batch.text.size());
    batch.text += utf8(top.path);
    const Item item {0, startInfo_.created, startInfo_.modified, nameLength,
        static_cast<std::uint32_t>(batch.text.size()) - nameLength, 0, nameLength, Item::Folder, false};
    Pending& row = rows_[0];
    row.item = &item;
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
    path_ = utf8(fPath);
    if (path_.empty() || path_.back() != '/')
        path_.push_back('/');
    delKey_ = utf8(delKey);
    ownBranch_ = ownBranch_ && !topKey_.isEmpty() && sParent == topKey_;
    lastTotal_ = 0;

    std::unique_ptr<Folder> folder;
    SizeTarget target;
    if (start_ && path_ == startPath_) {
        folder = std::move(start_);
        if (topPending_) {
            target = top_;
            topPending_ = false;
        }
    } else {
        int error = 0;
        folder = fs_.open(path_, error);
        EntryInfo info;
        if (folder)
            error = fs_.stat(*folder, info);
        if (!folder || error != 0) {
            skip({}, errorText(error));
            return;
        }
        if (startPath_.empty())
            device_ = info.device;
    }

    const std::string parentBytes = utf8(sParent);
    frames_.assign(1, Frame {0, -1, false});
    open_.clear();
    walkEnded_ = false;
    progress_.asked = false;
    abort_ = failed_;
    std::thread walker;
    try {
        walker = std::thread([this, &folder] { walkThread(std::move(folder)); });
    } catch (const std::exception& e) {
        fail(e.what()); // no thread to be had
        return;
    }
    for (;;) {
        // Whatever goes wrong here, the walker is heard out before it is joined.
        try {
            store(sParent, parentBytes);
            break;
        } catch (const std::exception& e) {
            fail(e.what());
        }
    }
    walker.join();
    if (!walkFailure_.isEmpty())
        fail(walkFailure_.toUtf8().constData());

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

void FolderScan::walkThread(std::unique_ptr<Folder> folder)
{
    try {
        try {
            list(*folder, true);
        } catch (const Stop&) {
        } catch (const std::exception& e) {
            walkFailure_ = QString::fromUtf8(e.what());
        }
        folder.reset();
        unwindFrames();
        handOver();
    } catch (const std::exception& e) {
        if (walkFailure_.isEmpty())
            walkFailure_ = QString::fromUtf8(e.what());
    }
    {
        const std::lock_guard lock(mutex_);
        walkEnded_ = true;
    }
    toStore_.notify_one();
}

void FolderScan::unwindFrames()
{
    // Folders left open by a stop get the total of what was counted, which
    // is what the catalogue now holds of them.
    while (frames_.size() > 1)
        closeFrame();
    lastTotal_ = frames_.back().bytes;
    frames_.clear();
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

// ---- The walker's side ----

void FolderScan::list(Folder& folder, bool record)
{
    const size_t pathLength = path_.size();
    int error = 0;
    while (const char* name = fs_.next(folder, error)) {
        if (isDotOrDotDot(name))
            continue;
        if (abort_.load(std::memory_order_relaxed))
            throw Stop {};
        if ((++seen_ & 15) == 0)
            checkProgress();
        const std::string_view nameView(name);
        EntryInfo info;
        if (const int e = fs_.stat(folder, name, info)) {
            // A vanished entry of a hidden folder loses nothing of the catalogue.
            if (record || e != ENOENT)
                skip(nameView, errorText(e));
            continue;
        }
        if (info.kind == EntryKind::Other || info.device != device_)
            continue;
        const bool recorded = record && name[0] != '.';

        if (info.kind == EntryKind::File) {
            frames_.back().bytes += info.size;
            if (recorded)
                add(Item::File, nameView, info);
            continue;
        }

        int openError = 0;
        std::unique_ptr<Folder> sub = fs_.open(folder, name, openError);
        if (!sub) {
            if (record || openError != ENOENT)
                skip(nameView, errorText(openError));
            continue;
        }
        frames_.push_back(Frame {0, -1, false});
        if (recorded) {
            add(Item::Folder, nameView, info);
            frames_.back().recorded = true;
        }
        path_.append(nameView);
        path_.push_back('/');
        list(*sub, recorded);
        closeFrame();
        path_.resize(pathLength);
    }
    if (error != 0)
        skip({}, errorText(error));
}

void FolderScan::add(Item::Kind kind, std::string_view name, const EntryInfo& info)
{
    if (filling_->records == kRowsPerBatch)
        handOver();
    Batch& b = *filling_;
    const auto at = static_cast<std::uint32_t>(b.text.size());
    b.text += path_;
    b.text += name;
    if (kind == Item::Folder) {
        b.text.push_back('/');
        frames_.back().item = static_cast<int>(b.items.size());
    }
    const auto length = static_cast<std::uint32_t>(b.text.size()) - at;
    b.items.push_back(Item {kind == Item::File ? info.size : 0, info.created, info.modified, at, length,
        static_cast<std::uint32_t>(at + path_.size()), static_cast<std::uint32_t>(name.size()), kind, false});
    ++b.records;
}

void FolderScan::closeFrame()
{
    const Frame done = frames_.back();
    frames_.pop_back();
    frames_.back().bytes += done.bytes;
    if (!done.recorded)
        return;
    // A record still in this batch takes its size along; one handed over is
    // updated where it is stored.
    Batch& b = *filling_;
    if (done.item >= 0) {
        Item& record = b.items[static_cast<size_t>(done.item)];
        record.bytes = done.bytes;
        record.sized = true;
    }
    b.items.push_back(Item {done.bytes, 0, 0, 0, 0, 0, 0, Item::Close, done.item >= 0});
}

void FolderScan::handOver()
{
    if (filling_->items.empty())
        return;
    std::unique_ptr<Batch> next;
    {
        std::unique_lock lock(mutex_);
        toWalker_.wait(lock, [this] { return full_.size() < static_cast<size_t>(kBatchesAhead); });
        full_.push_back(std::move(filling_));
        if (!spare_.empty()) {
            next = std::move(spare_.back());
            spare_.pop_back();
        }
    }
    toStore_.notify_one();
    if (next) {
        next->items.clear();
        next->text.clear();
        next->records = 0;
    } else {
        next = std::make_unique<Batch>();
        next->items.reserve(kRowsPerBatch + kRowsPerBatch / 8);
        next->text.reserve(kRowsPerBatch * 96);
    }
    filling_ = std::move(next);
    for (Frame& f : frames_)
        f.item = -1;
}

void FolderScan::skip(std::string_view name, const QString& reason)
{
    ++skippedCount_;
    if (static_cast<int>(skipped_.size()) < kSkippedKept)
        skipped_.push_back({displayPath(path_) + displayPath(name), reason});
}

void FolderScan::checkProgress()
{
    if (!listener_)
        return;
    const auto now = std::chrono::steady_clock::now();
    if (now - lastProgress_ < interval_)
        return;
    lastProgress_ = now;
    // The walk waits for the answer, so that a cancel stops it here.
    std::unique_lock lock(mutex_);
    progress_.ask(lock, toStore_, toWalker_, seen_, displayPath(path_), [] { return false; });
    if (abort_.load())
        throw Stop {};
    if (!progress_.goOn) {
        cancelled_ = true;
        throw Stop {};
    }
}

// ---- The store's side ----

void FolderScan::store(const QString& parentKey, const std::string& parentBytes)
{
    std::unique_lock lock(mutex_);
    for (;;) {
        toStore_.wait(lock, [this] { return !full_.empty() || progress_.waiting() || walkEnded_; });
        if (progress_.waiting()) {
            lock.unlock();
            answerProgress();
            lock.lock();
        } else if (!full_.empty()) {
            std::unique_ptr<Batch> batch = std::move(full_.front());
            full_.pop_front();
            lock.unlock();
            toWalker_.notify_one();
            storeBatch(*batch, parentKey, parentBytes);
            lock.lock();
            spare_.push_back(std::move(batch));
        } else {
            return; // the walk has ended and everything it found is stored
        }
    }
}

void FolderScan::storeBatch(Batch& batch, const QString& parentKey, const std::string& parentBytes)
{
    for (const Item& item : batch.items) {
        if (item.kind == Item::Close) {
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
            if (item.kind == Item::Folder)
                open_.push_back(OpenFolder {{}, {}, 0, -1, false});
        } else {
            try {
                queue(item, batch, parentKey, parentBytes);
                if (waiting_ == kRowsPerInsert) {
                    flush();
                    if (progressWaiting())
                        answerProgress();
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

void FolderScan::queue(const Item& item, const Batch& batch, const QString& parentKey, const std::string& parentBytes)
{
    const std::int64_t key = nextKeyNumber();
    Pending& r = rows_[static_cast<size_t>(waiting_)];
    r.item = &item;
    r.text = batch.text.data();
    r.key = key;
    char keyText[24];
    r.keyText.assign(keyText, formatKey(key, keyText));
    if (open_.empty()) {
        r.parent = parentKey;
        r.parentBytes = parentBytes;
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
    if (item.kind == Item::File || item.sized)
        appendSizeText(item.bytes, r.size);
    dates_.format(item.created, r.date);
    r.announce = true;
    if (item.kind == Item::Folder)
        open_.push_back(OpenFolder {QString::fromLatin1(r.keyText.data(), static_cast<qsizetype>(r.keyText.size())),
            r.keyText, 0, waiting_, r.raw});
    ++waiting_;
}

bool FolderScan::progressWaiting()
{
    const std::lock_guard lock(mutex_);
    return progress_.waiting();
}

void FolderScan::answerProgress()
{
    // The walker waits meanwhile: what it asked with stays as it is.
    bool goOn = true;
    if (!failed_) {
        try {
            goOn = listener_->progress(progress_.entries, progress_.folder);
        } catch (const std::exception& e) {
            fail(e.what());
        }
    }
    {
        const std::lock_guard lock(mutex_);
        progress_.answer(goOn);
    }
    toWalker_.notify_one();
}

void FolderScan::fail(const char* text)
{
    if (failure_.isEmpty())
        failure_ = QString::fromUtf8(text);
    failed_ = true;
    abort_ = true;
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
        const Item& item = *r.item;
        bindText(st, base + 1, r.keyText);
        bindText(st, base + 2, r.parentBytes);
        bindText(st, base + 3, databaseName_);
        bindText(st, base + 4, r.name());
        bindText(st, base + 5, r.path());
        bindText(st, base + 6, r.size);
        bindText(st, base + 7, std::string_view(r.date, 19));
        bindText(st, base + 8, delKey_);
        // A folder's bytes come with its size text, once its walk has ended.
        if (item.kind == Item::Folder && !item.sized)
            sqlite3_bind_null(st, base + 9);
        else
            sqlite3_bind_int64(st, base + 9, static_cast<sqlite3_int64>(item.bytes));
        sqlite3_bind_int64(st, base + 10, item.created);
        sqlite3_bind_int64(st, base + 11, item.modified);
    };
    int done = 0;
    std::optional<DbError> error;
    // Rows with a path's original bytes go in one by one, with them.
    const bool anyRaw = rawWaiting_ > 0;
    rawWaiting_ = 0;
    if (count == kRowsPerInsert && !anyRaw) {
        for (int i = 0; i < count; ++i)
            bindRow(insertMany_, i * Queries::kInsertRecordValues, rows_[static_cast<size_t>(i)]);
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
            sqlite3_bind_blob(insertOne_, Queries::kInsertRecordValues + 1, r.text + r.item->path,
                static_cast<int>(r.item->pathLength), SQLITE_STATIC);
        else
            sqlite3_bind_null(insertOne_, Queries::kInsertRecordValues + 1);
        const int rc = sqlite3_step(insertOne_);
        sqlite3_reset(insertOne_);
        if (rc != SQLITE_DONE) {
            error = storeError();
            break;
        }
        stored(done, 1, sqlite3_last_insert_rowid(handle));
        ++done;
    }
    waiting_ = 0;
    // The refused row and those queued after it are not stored: no size goes to them.
    for (OpenFolder& f : open_)
        f.pending = -1;
    if (listener_)
        for (int i = 0; i < done; ++i) {
            const Pending& r = rows_[static_cast<size_t>(i)];
            if (r.announce)
                listener_->entryStored({r.key, r.parent, r.name(), r.item->kind == Item::Folder});
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
    // Only the innermost open folders can still wait for their number.
    for (auto f = open_.rbegin(); f != open_.rend() && f->pending >= 0; ++f)
        if (f->pending >= first && f->pending < first + count)
            f->srNo = firstSrNo + (f->pending - first);
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

QString skippedReport(const FolderScan& scan)
{
    return skippedReport(scan.skippedCount(), scan.firstSkipped());
}

QString skippedReport(std::int64_t count, const std::vector<SkippedEntry>& first)
{
    if (count == 0)
        return {};
    QString text = count == 1
        ? QStringLiteral("1 entry could not be read and was left out of the catalogue:")
        : QStringLiteral("%1 entries could not be read and were left out of the catalogue:").arg(count);
    for (const SkippedEntry& s : first)
        text += QStringLiteral("\n%1 (%2)").arg(s.path, s.reason);
    const std::int64_t more = count - static_cast<std::int64_t>(first.size());
    if (more > 0)
        text += QStringLiteral("\nand %1 more.").arg(more);
    return text;
}

QString displayPath(std::string_view bytes)
{
    if (isUtf8(bytes))
        return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
    QString out;
    size_t i = 0;
    while (i < bytes.size()) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        const size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
        if (length > 0 && i + length <= bytes.size() && isUtf8(bytes.substr(i, length))) {
            out += QString::fromUtf8(bytes.data() + i, static_cast<qsizetype>(length));
            i += length;
        } else {
            out += QStringLiteral("\\x%1").arg(lead, 2, 16, QLatin1Char('0'));
            ++i;
        }
    }
    return out;
}

} // namespace qm
