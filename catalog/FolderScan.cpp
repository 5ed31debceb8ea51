#include "catalog/FolderScan.h"

#include "catalog/NodeKeys.h"
#include "catalog/Numbers.h"
#include "catalog/Queries.h"
#include "platform/Recordset.h"

#include <QByteArrayView>

#include <charconv>
#include <cstring>
#include <limits>
#include <unordered_set>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>
#include <sqlite3.h>

namespace qm {
namespace {

constexpr std::int64_t kNoKeyLeft = std::numeric_limits<std::int64_t>::max();

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

FolderScan::FolderScan(SQLite::Database& db, const QString& databaseName, std::int64_t firstKey,
    ScanListener* listener, FileSystem& fs)
    : db_(db)
    , databaseName_(utf8(databaseName))
    , nextKey_(firstKey)
    , listener_(listener)
    , fs_(fs)
{
    sqlite3* handle = db_.getHandle();
    if (sqlite3_prepare_v3(handle, Queries::kInsertRecord, -1, SQLITE_PREPARE_PERSISTENT, &insert_, nullptr)
            != SQLITE_OK
        || sqlite3_prepare_v3(
               handle, Queries::kSetRecordSize, -1, SQLITE_PREPARE_PERSISTENT, &update_, nullptr)
            != SQLITE_OK) {
        const std::string error = sqlite3_errmsg(handle);
        sqlite3_finalize(insert_);
        sqlite3_finalize(update_);
        throw DbError(error);
    }
    lastProgress_ = std::chrono::steady_clock::now();
}

FolderScan::~FolderScan()
{
    try {
        commit();
    } catch (...) {
        // Nothing to tell from here; finish() reports store failures.
    }
    sqlite3_finalize(insert_);
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
        return QStringLiteral("The folder %1 cannot be read: %2.").arg(folderPath, errorText(error));
    }
    device_ = startInfo_.device;
    return {};
}

std::int64_t FolderScan::nextKeyNumber()
{
    if (nextKey_ == kNoKeyLeft || nextKey_ < 1)
        throw DbError("No node key is left for a new entry of this catalogue.");
    return nextKey_++;
}

QString FolderScan::newKey()
{
    return keyOf(nextKeyNumber());
}

void FolderScan::addTopFolder(const StartFolder& top, const QString& key)
{
    char date[20];
    formatDate(startInfo_.created, date);
    const std::string keyBytes = utf8(key);
    delKey_ = keyBytes;
    topSrNo_ = store(keyBytes, utf8(kRootKey), utf8(top.fileName), utf8(top.path), {}, date);
}

void FolderScan::walk(const QString& fPath, const QString& sParent, const QString& delKey)
{
    path_ = utf8(fPath);
    if (path_.empty() || path_.back() != '/')
        path_.push_back('/');
    delKey_ = utf8(delKey);
    lastTotal_ = 0;

    std::unique_ptr<Folder> folder;
    if (start_ && path_ == startPath_) {
        folder = std::move(start_);
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
    frames_.assign(1, Frame {0, 0});
    try {
        list(*folder, &parent);
        lastTotal_ = frames_.back().bytes;
        frames_.clear();
        return;
    } catch (const Stop&) {
    } catch (const std::exception& e) {
        failure_ = QString::fromUtf8(e.what());
    }
    // Stopped inside: the folders still open get the total of what was
    // counted, which is what the catalogue now holds of them.
    while (frames_.size() > 1) {
        try {
            closeFrame();
        } catch (const std::exception&) {
            frames_.pop_back();
        }
    }
    lastTotal_ = frames_.back().bytes;
    frames_.clear();
}

void FolderScan::finish()
{
    try {
        if (topSrNo_ != 0) {
            setSize(topSrNo_, lastTotal_);
            topSrNo_ = 0;
        }
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
            if (!record)
                continue;
            char key[24];
            const std::string_view keyText(key, formatKey(nextKeyNumber(), key));
            char date[20];
            formatDate(info.created, date);
            const QByteArray size = sizeText(info.size).toUtf8();
            path_.append(nameView);
            store(keyText, parent->bytes, nameView, path_, std::string_view(size.constData(), size.size()),
                date);
            path_.resize(pathLength);
            if (listener_)
                listener_->entryStored({nextKey_ - 1, parent->text, nameView, false});
            continue;
        }

        int openError = 0;
        std::unique_ptr<Folder> sub = fs_.open(folder, name, openError);
        if (!sub) {
            if (parent || openError != ENOENT)
                skip(nameView, errorText(openError));
            continue;
        }
        std::int64_t srNo = 0;
        ParentKey key;
        path_.append(nameView);
        path_.push_back('/');
        if (record) {
            char keyBuffer[24];
            const std::string_view keyText(keyBuffer, formatKey(nextKeyNumber(), keyBuffer));
            char date[20];
            formatDate(info.created, date);
            srNo = store(keyText, parent->bytes, nameView, path_, {}, date);
            key.bytes.assign(keyText);
            key.text = QString::fromLatin1(keyText.data(), static_cast<qsizetype>(keyText.size()));
        }
        // The frame first: a stop from here on still gives the record its size.
        frames_.push_back(Frame {srNo, 0});
        if (record && listener_)
            listener_->entryStored({nextKey_ - 1, parent->text, nameView, true});
        list(*sub, record ? &key : nullptr);
        closeFrame();
        path_.resize(pathLength);
    }
    if (error != 0)
        skip({}, errorText(error));
}

std::int64_t FolderScan::store(std::string_view key, const std::string& parent, std::string_view name,
    std::string_view path, std::string_view size, std::string_view date)
{
    begin();
    bindText(insert_, 1, key);
    bindText(insert_, 2, parent);
    bindText(insert_, 3, databaseName_);
    bindText(insert_, 4, name);
    bindText(insert_, 5, path);
    bindText(insert_, 6, size);
    bindText(insert_, 7, date);
    bindText(insert_, 8, delKey_);
    const int rc = sqlite3_step(insert_);
    sqlite3_reset(insert_);
    if (rc != SQLITE_DONE)
        throw DbError(sqlite3_errmsg(db_.getHandle()));
    ++records_;
    if (++batchRows_ >= batchSize_)
        commit();
    return sqlite3_last_insert_rowid(db_.getHandle());
}

void FolderScan::setSize(std::int64_t srNo, std::uint64_t bytes)
{
    begin();
    const QByteArray size = sizeText(bytes).toUtf8();
    bindText(update_, 1, std::string_view(size.constData(), size.size()));
    sqlite3_bind_int64(update_, 2, srNo);
    const int rc = sqlite3_step(update_);
    sqlite3_reset(update_);
    if (rc != SQLITE_DONE)
        throw DbError(sqlite3_errmsg(db_.getHandle()));
}

void FolderScan::closeFrame()
{
    const Frame done = frames_.back();
    frames_.pop_back();
    frames_.back().bytes += done.bytes;
    if (done.srNo != 0)
        setSize(done.srNo, done.bytes);
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
    // Other windows of the program may write while the listener lets events
    // through; they must not find the store locked.
    commit();
    if (listener_ && !listener_->progress(seen_, displayPath(path_))) {
        cancelled_ = true;
        throw Stop {};
    }
}

void FolderScan::begin()
{
    if (inTransaction_ || !sqlite3_get_autocommit(db_.getHandle()))
        return;
    db_.exec("BEGIN");
    inTransaction_ = true;
    batchRows_ = 0;
}

void FolderScan::commit()
{
    if (!inTransaction_)
        return;
    inTransaction_ = false;
    batchRows_ = 0;
    if (sqlite3_get_autocommit(db_.getHandle()))
        return; // the store rolled the transaction back after an error
    try {
        db_.exec("COMMIT");
    } catch (const std::exception& e) {
        if (!sqlite3_get_autocommit(db_.getHandle()))
            sqlite3_exec(db_.getHandle(), "ROLLBACK", nullptr, nullptr, nullptr);
        throw DbError(e.what());
    }
}

QString skippedReport(const FolderScan& scan)
{
    const std::int64_t count = scan.skippedCount();
    if (count == 0)
        return {};
    QString text = count == 1
        ? QStringLiteral("1 entry could not be read and was left out of the catalogue:")
        : QStringLiteral("%1 entries could not be read and were left out of the catalogue:").arg(count);
    for (const SkippedEntry& s : scan.firstSkipped())
        text += QStringLiteral("\n%1 (%2)").arg(s.path, s.reason);
    const std::int64_t more = count - static_cast<std::int64_t>(scan.firstSkipped().size());
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

QString nextKeyForCatalogue(SQLite::Database& db, const QString& databaseName, bool* taken)
{
    // The tree LoadTree would build: the root, then every record whose fields
    // are all there, whose parent is already placed and whose key is new.
    std::unordered_set<std::string> placed {utf8(kRootKey)};
    std::int64_t count = 1;
    std::int64_t highest = 0;
    bool fit = true;
    SQLite::Statement st(db, Queries::kTreeRecords);
    st.bind(1, utf8(databaseName));
    while (st.executeStep()) {
        bool complete = true;
        for (int i = 0; i < 5; ++i)
            complete = complete && !st.getColumn(i).isNull();
        if (!complete)
            continue;
        const std::string id = st.getColumn(0).getString();
        const std::string parent = st.getColumn(1).getString();
        if (!parent.empty() && !placed.count(parent))
            continue;
        if (!id.empty() && !placed.insert(id).second)
            continue;
        ++count;
        const auto value = roundToInt64(numericValue(QString::fromStdString(id)));
        if (!value)
            fit = false;
        else if (*value > highest)
            highest = *value;
    }
    QString key = QStringLiteral("1>");
    if (count >= 2 && fit && highest != std::numeric_limits<std::int64_t>::max())
        key = keyOf(highest + 1);
    if (taken)
        *taken = placed.count(utf8(key)) > 0;
    return key;
}

} // namespace qm
