#include "catalog/FolderScan.h"

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
        {std::pair {many.c_str(), &insertMany_}, std::pair {Queries::kInsertRecord, &insertOne_},
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
        return Store::damage(reader);
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
    return DbError(Store::damagedMessage(QString::fromUtf8(sqlite3_db_filename(db_.getHandle(), "main")),
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
    top_ = queue(roundToInt64(numericValue(key)).value_or(0), utf8(kRootKey), kRootKey, utf8(top.fileName),
        utf8(top.path), true, startInfo_);
    Row& row = rows_[static_cast<size_t>(top_.row)];
    row.keyText = delKey_;
    row.announce = false; // its node is the caller's
    topPending_ = true;
    // Stored at once, so that a store that refuses it is known before the
    // caller adds the node; the disk it is read from goes beside it.
    flush();
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

    const ParentKey parent {sParent, utf8(sParent)};
    frames_.assign(1, Frame {target, 0});
    try {
        list(*folder, &parent);
        lastTotal_ = frames_.back().bytes;
        setSize(frames_.back().target, lastTotal_);
        frames_.clear();
        return;
    } catch (const Stop&) {
    } catch (const std::exception& e) {
        failure_ = QString::fromUtf8(e.what());
    }
    unwind();
}

void FolderScan::unwind()
{
    // The folders still open get the total of what was counted, which is
    // what the catalogue now holds of them.
    while (!frames_.empty()) {
        Frame& f = frames_.back();
        if (frames_.size() == 1)
            lastTotal_ = f.bytes;
        else
            frames_[frames_.size() - 2].bytes += f.bytes;
        try {
            setSize(f.target, f.bytes);
        } catch (const std::exception&) {
            // The store has already failed; the failure is what gets told.
        }
        frames_.pop_back();
    }
}

void FolderScan::finish()
{
    try {
        if (topPending_) {
            setSize(top_, lastTotal_);
            topPending_ = false;
        }
        flush();
        if (!storeDamaged_) {
            begin();
            keys_.release();
            if (!topKey_.isEmpty())
                recordScanEnd(db_, QString::fromStdString(databaseName_), topKey_, recordsKept());
        }
    } catch (const std::exception& e) {
        if (failure_.isEmpty())
            failure_ = QString::fromUtf8(e.what());
    }
    try {
        commit();
    } catch (const std::exception& e) {
        if (failure_.isEmpty())
            failure_ = QString::fromUtf8(e.what());
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

void FolderScan::list(Folder& folder, const ParentKey* parent)
{
    const size_t pathLength = path_.size();
    int error = 0;
    while (const char* name = fs_.next(folder, error)) {
        if (isDotOrDotDot(name))
            continue;
        if ((++seen_ & 15) == 0)
            checkProgress();
        const std::string_view nameView(name);
        EntryInfo info;
        if (const int e = fs_.stat(folder, name, info)) {
            // A vanished entry of a hidden folder loses nothing of the catalogue.
            if (parent || e != ENOENT)
                skip(nameView, errorText(e));
            continue;
        }
        if (info.kind == EntryKind::Other || info.device != device_)
            continue;
        bool record = parent && name[0] != '.';
        if (record && !isUtf8(nameView)) {
            skip(nameView, QStringLiteral("the name is not valid UTF-8"));
            record = false;
        }

        if (info.kind == EntryKind::File) {
            frames_.back().bytes += info.size;
            if (record) {
                path_.append(nameView);
                queue(nextKeyNumber(), parent->bytes, parent->text, nameView, path_, false, info);
                path_.resize(pathLength);
            }
            continue;
        }

        int openError = 0;
        std::unique_ptr<Folder> sub = fs_.open(folder, name, openError);
        if (!sub) {
            if (parent || openError != ENOENT)
                skip(nameView, errorText(openError));
            continue;
        }
        path_.append(nameView);
        path_.push_back('/');
        SizeTarget target;
        ParentKey key;
        if (record) {
            const std::int64_t number = nextKeyNumber();
            target = queue(number, parent->bytes, parent->text, nameView, path_, true, info);
            key.bytes = rows_[static_cast<size_t>(target.row)].keyText;
            key.text = QString::fromLatin1(key.bytes.data(), static_cast<qsizetype>(key.bytes.size()));
        }
        frames_.push_back(Frame {target, 0});
        list(*sub, record ? &key : nullptr);
        closeFrame();
        path_.resize(pathLength);
    }
    if (error != 0)
        skip({}, errorText(error));
}

FolderScan::SizeTarget FolderScan::queue(std::int64_t key, std::string_view parent, const QString& parentText,
    std::string_view name, std::string_view path, bool folder, const EntryInfo& info)
{
    if (waiting_ == kRowsPerInsert)
        flush();
    Row& r = rows_[static_cast<size_t>(waiting_)];
    r.key = key;
    char keyText[24];
    r.keyText.assign(keyText, formatKey(key, keyText));
    r.parent.assign(parent);
    r.parentText = parentText;
    r.name.assign(name);
    r.path.assign(path);
    r.size.clear(); // a folder's is known when its walk ends
    r.bytes = folder ? 0 : info.size;
    if (!folder)
        appendSizeText(r.bytes, r.size);
    r.created = info.created;
    r.modified = info.modified;
    char date[20];
    formatDate(info.created, date);
    r.date.assign(date, 19);
    r.delKey = delKey_;
    r.folder = folder;
    r.announce = true;
    return SizeTarget {waiting_++, 0};
}

void FolderScan::flush()
{
    if (waiting_ == 0)
        return;
    begin();
    sqlite3* handle = db_.getHandle();
    const int count = waiting_;
    auto bindRow = [this](sqlite3_stmt* st, int base, const Row& r) {
        bindText(st, base + 1, r.keyText);
        bindText(st, base + 2, r.parent);
        bindText(st, base + 3, databaseName_);
        bindText(st, base + 4, r.name);
        bindText(st, base + 5, r.path);
        bindText(st, base + 6, r.size);
        bindText(st, base + 7, r.date);
        bindText(st, base + 8, r.delKey);
        // A folder's bytes come with its size text, once its walk has ended.
        if (r.folder && r.size.empty())
            sqlite3_bind_null(st, base + 9);
        else
            sqlite3_bind_int64(st, base + 9, static_cast<sqlite3_int64>(r.bytes));
        sqlite3_bind_int64(st, base + 10, r.created);
        sqlite3_bind_int64(st, base + 11, r.modified);
    };
    int done = 0;
    std::optional<DbError> error;
    if (count == kRowsPerInsert) {
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
        bindRow(insertOne_, 0, rows_[static_cast<size_t>(done)]);
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
    if (error) {
        // The refused row and those queued after it are not stored: no size goes to them.
        for (Frame& f : frames_)
            if (f.target.row >= done)
                f.target = {};
        if (top_.row >= done)
            top_ = {};
    }
    if (listener_)
        for (int i = 0; i < done; ++i) {
            const Row& r = rows_[static_cast<size_t>(i)];
            if (r.announce)
                listener_->entryStored({r.key, r.parentText, r.name, r.folder});
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
    auto resolve = [&](SizeTarget& t) {
        if (t.row >= first && t.row < first + count) {
            t.srNo = firstSrNo + (t.row - first);
            t.row = -1;
        }
    };
    for (Frame& f : frames_)
        resolve(f.target);
    resolve(top_);
}

void FolderScan::setSize(SizeTarget& target, std::uint64_t bytes)
{
    if (target.row >= 0) {
        Row& row = rows_[static_cast<size_t>(target.row)];
        row.size.clear();
        appendSizeText(bytes, row.size);
        row.bytes = bytes;
    } else if (target.srNo != 0) {
        begin();
        std::string size;
        appendSizeText(bytes, size);
        bindText(update_, 1, size);
        sqlite3_bind_int64(update_, 2, static_cast<sqlite3_int64>(bytes));
        sqlite3_bind_int64(update_, 3, target.srNo);
        bindText(update_, 4, databaseName_);
        bindText(update_, 5, delKey_);
        const int rc = sqlite3_step(update_);
        sqlite3_reset(update_);
        if (rc != SQLITE_DONE)
            throw storeError();
    }
    target = {};
}

void FolderScan::closeFrame()
{
    Frame done = frames_.back();
    frames_.pop_back();
    frames_.back().bytes += done.bytes;
    setSize(done.target, done.bytes);
}

void FolderScan::skip(std::string_view name, const QString& reason)
{
    ++skippedCount_;
    if (static_cast<int>(skipped_.size()) < kSkippedKept)
        skipped_.push_back({displayPath(path_) + displayPath(name), reason});
}

void FolderScan::checkProgress()
{
    const auto now = std::chrono::steady_clock::now();
    if (now - lastProgress_ < interval_)
        return;
    lastProgress_ = now;
    if (listener_ && !listener_->progress(seen_, displayPath(path_))) {
        cancelled_ = true;
        throw Stop {};
    }
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
