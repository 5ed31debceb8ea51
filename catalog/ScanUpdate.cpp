#include "catalog/ScanUpdate.h"

#include "catalog/CatalogueKeys.h"
#include "catalog/NodeKeys.h"
#include "catalog/Numbers.h"
#include "catalog/Queries.h"
#include "catalog/Scans.h"
#include "catalog/Store.h"

#include <QByteArrayView>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Exception.h>
#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>
#include <sqlite3.h>

#include <future>
#include <unordered_map>
#include <unordered_set>

namespace qm {
namespace {

std::string utf8(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

std::optional<TopFolder> topFolderRow(SQLite::Statement& st)
{
    if (!st.executeStep())
        return std::nullopt;
    return TopFolder {QString::fromUtf8(st.getColumn(0).getText()), QString::fromUtf8(st.getColumn(1).getText()),
        QString::fromUtf8(st.getColumn(2).getText())};
}

// What the table's state is: its highest serial number and the change log's
// newest entry. A record added, changed or deleted moves one of them.
std::pair<std::int64_t, std::int64_t> changeMark(SQLite::Database& db)
{
    SQLite::Statement marks(db, Queries::kStoreChangeMark);
    marks.executeStep();
    return {marks.getColumn(0).getInt64(), marks.getColumn(1).getInt64()};
}

// Rolls the write transaction back unless it was committed.
class WriteTransaction {
public:
    explicit WriteTransaction(SQLite::Database& db)
        : db_(db)
    {
        // The write lock at once: the records compared are the records written.
        db_.exec("BEGIN IMMEDIATE");
    }
    ~WriteTransaction()
    {
        if (open_)
            sqlite3_exec(db_.getHandle(), "ROLLBACK", nullptr, nullptr, nullptr);
    }
    WriteTransaction(const WriteTransaction&) = delete;
    WriteTransaction& operator=(const WriteTransaction&) = delete;
    void commit()
    {
        db_.exec("COMMIT");
        open_ = false;
    }

private:
    SQLite::Database& db_;
    bool open_ = true;
};

} // namespace

// The scan's records, read down from its top-level folder through the index
// on (catalogue, parent): the cost follows the scan, not the table. Records
// of one path after the first go to `duplicates`.
ScanUpdate::StoredScan ScanUpdate::loadScan(SQLite::Database& db, const std::string& catalogue, const std::string& topKey)
{
    StoredScan out;
    auto& stored = out.records;
    auto& duplicates = out.duplicates;
    out.mark = changeMark(db);
    SQLite::Statement st(db, Queries::kScanChildrenToUpdate);
    std::vector<std::string> folders {"0>"};
    std::unordered_set<std::string> visited;
    while (!folders.empty()) {
        const std::string parent = std::move(folders.back());
        folders.pop_back();
        if (!visited.insert(parent).second)
            continue; // a key met twice (hand-edited records) is read once
        st.bind(1, catalogue);
        st.bind(2, parent);
        st.bind(3, topKey);
        while (st.executeStep()) {
            if (st.getColumn(3).isNull()) {
                ++out.withoutPath; // it stands for no entry; it is left as it is
                continue;
            }
            auto number = [&](int column) {
                const SQLite::Column c = st.getColumn(column);
                return c.isNull() ? std::nullopt : std::optional<std::int64_t>(c.getInt64());
            };
            if (st.getColumn(3).getString().ends_with('/'))
                folders.push_back(st.getColumn(1).getString());
            // Entries are known by the bytes of their path.
            const SQLite::Column raw = st.getColumn(9);
            std::string path = raw.isNull()
                ? st.getColumn(3).getString()
                : std::string(static_cast<const char*>(raw.getBlob()), static_cast<size_t>(raw.getBytes()));
            // Of two records of one path the first one stays; the other goes.
            Stored record {st.getColumn(0).getInt64(), st.getColumn(1).getString(), parent,
                st.getColumn(4).getString(), st.getColumn(5).getString(), number(6), number(7), number(8)};
            auto [it, added] = stored.try_emplace(std::move(path), record);
            if (!added && record.srNo < it->second.srNo)
                std::swap(it->second, record);
            if (!added)
                duplicates.push_back(record.srNo);
        }
        st.reset();
    }
    return out;
}

std::optional<TopFolder> findTopFolder(SQLite::Database& db, const QString& catalogue, const QString& keyOrPath)
{
    static const QRegularExpression keyPattern(QStringLiteral("^([0-9]+)>?$"));
    if (const auto m = keyPattern.match(keyOrPath); m.hasMatch()) {
        SQLite::Statement st(db, Queries::kTopFolderByKey);
        st.bind(1, utf8(catalogue));
        st.bind(2, utf8(m.captured(1) + u'>'));
        if (auto top = topFolderRow(st))
            return top;
    }
    // A path the way "Add Folder" takes it: absolute, without a closing "/".
    const StartFolder start = startFolderOf(QDir::cleanPath(QFileInfo(keyOrPath).absoluteFilePath()));
    SQLite::Statement st(db, Queries::kTopFolderByPath);
    st.bind(1, utf8(catalogue));
    st.bind(2, utf8(start.fileName));
    st.bind(3, utf8(start.path));
    return topFolderRow(st);
}

QString otherDiskWarning(SQLite::Database& db, const QString& catalogue, const TopFolder& top)
{
    const auto scan = scanInfo(db, catalogue, top.key);
    if (!scan || scan->disk.uuid.isEmpty())
        return {};
    ScanInfo now = *scan;
    now.disk = diskOf(top.path);
    now.scanned = 0;
    if (now.disk.uuid.isEmpty() || now.disk.uuid == scan->disk.uuid)
        return {};
    return QStringLiteral("The disk at %1 is not the one %2 was scanned from.\nScanned from: %3\nThere now: %4")
        .arg(now.disk.mountPoint, top.fileName, describeScan(*scan), describeScan(now));
}

QString updateSummary(const UpdateCounts& c)
{
    const QLocale locale = figureLocale();
    QString text = QStringLiteral("%1 added, %2 removed, %3 changed, %4 unchanged")
                       .arg(locale.toString(c.added), locale.toString(c.removed), locale.toString(c.changed),
                           locale.toString(c.unchanged));
    if (c.unread > 0)
        text += QStringLiteral(", %1 kept as they were (could not be read)").arg(locale.toString(c.unread));
    return text;
}

ScanUpdate::ScanUpdate(SQLite::Database& db, const QString& catalogue, const TopFolder& top,
    ScanListener* listener, FileSystem& fs)
    : db_(db)
    , catalogue_(catalogue)
    , top_(top)
    , listener_(listener)
    , fs_(fs)
{
}

bool ScanUpdate::run()
{
    lastProgress_ = std::chrono::steady_clock::now();
    // The store's health is checked beside the walk, on a connection of its
    // own; nothing is written to a damaged store.
    const std::string file = db_.getFilename();
    auto health = std::async(std::launch::async, [file] {
        SQLite::Database reader(file, SQLite::OPEN_READONLY);
        reader.setBusyTimeout(5000);
        return Store::damageSinceChecked(reader);
    });
    // The disk the folder is on now, and the scan's stored records, are read beside the walk too.
    disk_ = std::async(std::launch::async, [path = top_.path] { return diskOf(path); });
    const std::string catalogue = utf8(catalogue_);
    const std::string topKey = utf8(top_.key);
    loaded_ = std::async(std::launch::async, [file, catalogue, topKey] {
        SQLite::Database reader(file, SQLite::OPEN_READONLY);
        reader.setBusyTimeout(5000);
        SQLite::Transaction snapshot(reader); // the records and their mark of one state
        return loadScan(reader, catalogue, topKey);
    });
    try {
        if (!walk())
            return false;
        QString damage;
        try {
            damage = health.get();
        } catch (const std::exception&) {
            // A check that cannot run leaves it to the store's own errors.
        }
        if (!damage.isEmpty()) {
            failure_ = damage;
            return false;
        }
        store();
        Store::markChecked(QString::fromStdString(file));
        return true;
    } catch (const Stop&) {
        cancelled_ = true;
    } catch (const SQLite::Exception& e) {
        failure_ = Store::isDamageError(e.getErrorCode())
            ? Store::damagedMessage(QString::fromStdString(file), QString::fromUtf8(e.what()))
            : QString::fromUtf8(e.what());
    } catch (const std::exception& e) {
        failure_ = QString::fromUtf8(e.what());
    }
    counts_ = {};
    return false;
}

bool ScanUpdate::walk()
{
    std::string path = utf8(top_.path);
    if (path.empty() || path.back() != '/')
        path.push_back('/');
    int error = 0;
    std::unique_ptr<Folder> start = fs_.open(path, error);
    EntryInfo info;
    if (start)
        error = fs_.stat(*start, info);
    if (!start || error != 0) {
        failure_ = QStringLiteral("The folder %1 cannot be read: %2. Nothing was changed in the catalogue.")
                       .arg(top_.fileName, errorText(error));
        return false;
    }
    device_ = info.device;
    entries_.push_back(Entry {path, 0, -1, true, info});
    std::uint64_t total = 0;
    list(*start, path, 0, true, total);
    entries_.front().info.size = total;
    return true;
}

void ScanUpdate::list(Folder& folder, std::string& path, int parent, bool recorded, std::uint64_t& total)
{
    // The rules of the scan: hidden entries, links and other kinds and other
    // file systems get no record; hidden files count in their folder's size.
    const size_t length = path.size();
    int error = 0;
    while (const char* name = fs_.next(folder, error)) {
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
            continue;
        if ((++seen_ & 15) == 0)
            checkProgress(seen_, path);
        EntryInfo info;
        if (const int e = fs_.stat(folder, name, info)) {
            if (recorded || e != ENOENT)
                skip(path + name, errorText(e), path + name);
            continue;
        }
        if (info.kind == EntryKind::Other || info.device != device_)
            continue;
        const bool record = recorded && name[0] != '.';
        if (info.kind == EntryKind::File) {
            total += info.size;
            if (record)
                entries_.push_back(Entry {path + name, length, parent, false, info});
            continue;
        }
        int openError = 0;
        std::unique_ptr<Folder> sub = fs_.open(folder, name, openError);
        if (!sub) {
            if (recorded || openError != ENOENT)
                skip(path + name, errorText(openError), path + name + '/');
            continue;
        }
        path.append(name);
        path.push_back('/');
        int index = -1;
        if (record) {
            index = static_cast<int>(entries_.size());
            entries_.push_back(Entry {path, length, parent, true, info});
        }
        std::uint64_t below = 0;
        list(*sub, path, index, record, below);
        total += below;
        if (index >= 0)
            entries_[static_cast<size_t>(index)].info.size = below;
        path.resize(length);
    }
    if (error != 0)
        skip(path, errorText(error), path);
}

void ScanUpdate::store()
{
    const std::string catalogue = utf8(catalogue_);
    const std::string topKey = utf8(top_.key);
    WriteTransaction transaction(db_);

    // Read beside the walk on a connection of its own; read again here when
    // the table changed since.
    StoredScan scan;
    bool current = false;
    try {
        scan = loaded_.get();
        current = scan.mark == changeMark(db_);
    } catch (const std::exception&) {
        // Read here instead.
    }
    if (!current)
        scan = loadScan(db_, catalogue, topKey);
    auto& stored = scan.records;
    auto& duplicates = scan.duplicates;
    const auto topRecord = stored.find(entries_.front().path);
    if (topRecord == stored.end() || topRecord->second.key != topKey)
        throw DbError(QStringLiteral("The catalogue \"%1\" no longer holds the folder %2; another window or "
                                     "program deleted it. Nothing was changed.")
                          .arg(catalogue_, top_.fileName)
                          .toStdString());

    SQLite::Statement update(db_, Queries::kUpdateScannedRecord);
    SQLite::Statement reparent(db_, Queries::kReparentScannedRecord);
    SQLite::Statement insert(db_, Queries::kInsertRecordWithRawPath);
    KeyReservation keys(db_, catalogue, 1);
    std::vector<std::string> keyOf(entries_.size());
    std::string size;
    char date[20];
    DateFormatter dates;
    for (size_t i = 0; i < entries_.size(); ++i) {
        const Entry& e = entries_[i];
        if ((i & 1023) == 0)
            checkProgress(seen_ + static_cast<std::int64_t>(i), entries_.front().path);
        const std::string& parent = e.parent < 0 ? "0>" : keyOf[static_cast<size_t>(e.parent)];
        size.clear();
        appendSizeText(e.info.size, size);
        dates.format(e.info.created, date);
        const auto bytes = static_cast<std::int64_t>(e.info.size);

        const auto found = stored.find(e.path);
        if (found != stored.end() && !found->second.matched) {
            Stored& s = found->second;
            s.matched = true;
            keyOf[i] = s.key;
            const bool changed = s.size != size || s.date != date || s.parent != parent
                || (s.bytes && *s.bytes != bytes) || (s.modified && *s.modified != e.info.modified);
            // Numbers an older store could not give are filled in quietly.
            const bool numbersMissing = !s.bytes || !s.created || !s.modified;
            if (changed || numbersMissing || *s.created != e.info.created) {
                update.bind(1, size);
                update.bind(2, date);
                update.bind(3, static_cast<int64_t>(bytes));
                update.bind(4, static_cast<int64_t>(e.info.created));
                update.bind(5, static_cast<int64_t>(e.info.modified));
                update.bind(6, static_cast<int64_t>(s.srNo));
                update.exec();
                update.reset();
            }
            // Parent is indexed: written only when it differs.
            if (s.parent != parent) {
                reparent.bind(1, parent);
                reparent.bind(2, static_cast<int64_t>(s.srNo));
                reparent.exec();
                reparent.reset();
            }
            ++(changed ? counts_.changed : counts_.unchanged);
            continue;
        }
        keyOf[i] = utf8(qm::keyOf(keys.next()));
        std::string_view name(e.path);
        name = name.substr(e.nameStart, name.size() - e.nameStart - (e.folder ? 1 : 0));
        const bool readable = QByteArrayView(e.path.data(), static_cast<qsizetype>(e.path.size())).isValidUtf8();
        insert.bind(1, keyOf[i]);
        insert.bind(2, parent);
        insert.bind(3, catalogue);
        insert.bind(4, readable ? std::string(name) : utf8(displayPath(name)));
        insert.bind(5, readable ? e.path : utf8(displayPath(e.path)));
        if (readable)
            insert.bind(12);
        else
            insert.bind(12, e.path.data(), static_cast<int>(e.path.size()));
        insert.bind(6, size);
        insert.bind(7, date);
        insert.bind(8, topKey);
        insert.bind(9, static_cast<int64_t>(bytes));
        insert.bind(10, static_cast<int64_t>(e.info.created));
        insert.bind(11, static_cast<int64_t>(e.info.modified));
        insert.exec();
        insert.reset();
        ++counts_.added;
    }

    SQLite::Statement remove(db_, Queries::kDeleteRecord);
    for (const std::int64_t srNo : duplicates) {
        remove.bind(1, static_cast<int64_t>(srNo));
        remove.exec();
        remove.reset();
        ++counts_.removed;
    }
    for (const auto& [path, s] : stored) {
        if (s.matched)
            continue;
        if (unread(path)) {
            ++counts_.unread;
            continue;
        }
        remove.bind(1, static_cast<int64_t>(s.srNo));
        remove.exec();
        remove.reset();
        ++counts_.removed;
    }
    keys.release();
    recordScanStart(db_, catalogue_, top_.key, disk_.get(), QDateTime::currentSecsSinceEpoch());
    // What the scan holds now, from what was read and written in this transaction.
    const auto held = static_cast<std::int64_t>(stored.size() + scan.duplicates.size()) + scan.withoutPath
        - counts_.removed + counts_.added;
    recordScanEnd(db_, catalogue_, top_.key, held);
    checkProgress(seen_ + static_cast<std::int64_t>(entries_.size()), entries_.front().path);
    transaction.commit();
}

bool ScanUpdate::unread(const std::string& path) const
{
    // An entry the walk could not read may still be there: its records stay.
    for (const std::string& u : unread_)
        if (u.back() == '/' ? path.starts_with(u) : path == u || path == u + '/')
            return true;
    return false;
}

void ScanUpdate::skip(const std::string& path, const QString& reason, std::string unread)
{
    if (!unread.empty())
        unread_.push_back(std::move(unread));
    ++skippedCount_;
    if (static_cast<int>(skipped_.size()) < FolderScan::kSkippedKept)
        skipped_.push_back({displayPath(path), reason});
}

void ScanUpdate::checkProgress(std::int64_t done, const std::string& where)
{
    const auto now = std::chrono::steady_clock::now();
    if (!listener_ || now - lastProgress_ < interval_)
        return;
    lastProgress_ = now;
    if (!listener_->progress(done, displayPath(where)))
        throw Stop {};
}

} // namespace qm
