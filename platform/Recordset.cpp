// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Recordset.h"

#include "platform/Csv.h"
#include "platform/PlainFile.h"
#include "platform/StoreMark.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <cstring>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>
#include <sqlite3.h>

namespace qm {
namespace {

const char* const kNoCurrentRecord =
    "Either BOF or EOF is True, or the current record has been deleted. "
    "Requested operation requires a current record.";
const char* const kClosed = "Operation is not allowed when the object is closed.";
const char* const kNoSuchField =
    "Item cannot be found in the collection corresponding to the requested name or ordinal.";
const char* const kRowGone = "Row handle referred to a deleted row or a row marked for deletion.";

// One write of a record, in a transaction of its own unless the caller's is
// open; a store found sound stays marked so over it.
void writeRecord(SQLite::Database& db, const std::function<void()>& write)
{
    if (sqlite3_get_autocommit(db.getHandle()))
        Store::writeKeepingMark(db, write);
    else
        write();
}

QString quoted(const QString& identifier)
{
    QString s = identifier;
    s.replace(u'"', QStringLiteral("\"\""));
    return u'"' + s + u'"';
}

QVariant columnValue(const SQLite::Column& c)
{
    if (c.isNull())
        return {};
    if (c.isInteger())
        return QVariant::fromValue<qlonglong>(c.getInt64());
    if (c.isFloat())
        return c.getDouble();
    if (c.isBlob())
        return QByteArray(static_cast<const char*>(c.getBlob()), c.getBytes());
    return QString::fromUtf8(c.getText(), c.getBytes());
}

void bindValue(SQLite::Statement& st, int index, const QVariant& v)
{
    if (v.isNull()) {
        st.bind(index);
        return;
    }
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong: st.bind(index, static_cast<int64_t>(v.toLongLong())); return;
    case QMetaType::Double: st.bind(index, v.toDouble()); return;
    case QMetaType::QByteArray: {
        const QByteArray b = v.toByteArray();
        st.bind(index, b.constData(), static_cast<int>(b.size()));
        return;
    }
    default: st.bind(index, v.toString().toStdString()); return;
    }
}

// Whether the file starts as an SQLite 3 file does, read through the
// connection's own handle: a descriptor of ours on the file, once closed,
// would drop every lock this process holds on it (POSIX record locks belong
// to the process), under another connection's feet.
bool hasSqliteHeader(sqlite3* handle)
{
    sqlite3_file* file = nullptr;
    if (sqlite3_file_control(handle, "main", SQLITE_FCNTL_FILE_POINTER, &file) != SQLITE_OK || file == nullptr
        || file->pMethods == nullptr)
        return false;
    char header[16];
    return file->pMethods->xRead(file, header, sizeof header, 0) == SQLITE_OK
        && std::memcmp(header, "SQLite format 3", 16) == 0;
}

} // namespace

std::shared_ptr<SQLite::Database> openConnection(const QString& path)
{
    if (!QFileInfo::exists(path))
        throw DbError(QStringLiteral("Could not find file '%1'.").arg(path).toStdString());
    // Looked at before it is opened: opening a FIFO would wait for a writer.
    if (const QString kind = notAPlainFile(path); !kind.isEmpty())
        throw DbError(
            (QStringLiteral("'") + path + QStringLiteral("' cannot be a catalogue database: ") + kind + u'.')
                .toStdString());
    std::shared_ptr<SQLite::Database> db;
    try {
        // A connection is used by one thread at a time (work beside the
        // window opens its own), so SQLite need not lock it on every call.
        db = std::make_shared<SQLite::Database>(path.toStdString(), SQLite::OPEN_READWRITE | SQLite::OPEN_NOMUTEX);
        db->setBusyTimeout(5000);
    } catch (const std::exception& e) {
        throw DbError(e.what());
    }
    if (!hasSqliteHeader(db->getHandle()))
        throw DbError(QStringLiteral("'%1' is not a catalogue database (not an SQLite 3 file).")
                          .arg(path)
                          .toStdString());
    return db;
}

Recordset::Recordset(std::shared_ptr<SQLite::Database> db, RecordSource source)
    : db_(std::move(db)), source_(std::move(source))
{
    try {
        SQLite::Statement info(*db_, "SELECT name FROM pragma_table_info(?) ORDER BY cid");
        info.bind(1, source_.table.toStdString());
        while (info.executeStep())
            fields_ << QString::fromStdString(info.getColumn(0).getString());
    } catch (const std::exception& e) {
        throw DbError(e.what());
    }
    if (fields_.isEmpty())
        throw DbError(QStringLiteral("The table '%1' does not exist in the database.")
                          .arg(source_.table)
                          .toStdString());
    open_ = true;
    load();
}

Recordset::~Recordset() = default;

void Recordset::load()
{
    ids_.clear();
    restUpTo_ = 0;
    const bool wholeTable = source_.where.isEmpty()
        && (source_.orderBy.isEmpty()
            || (source_.orderBy.compare(QStringLiteral("SrNO"), Qt::CaseInsensitive) == 0
                && source_.table.compare(QStringLiteral("main"), Qt::CaseInsensitive) == 0));
    try {
        if (wholeTable) {
            // Through the order the source names, so a table without that
            // column is refused at opening as the whole read would be.
            const QString key = source_.orderBy.isEmpty() ? QStringLiteral("rowid") : source_.orderBy;
            const QString table = quoted(source_.table);
            SQLite::Statement ends(*db_,
                QStringLiteral("SELECT (SELECT %1 FROM %2 ORDER BY %1 LIMIT 1), (SELECT %1 FROM %2 ORDER BY %1 "
                               "DESC LIMIT 1)")
                    .arg(key, table)
                    .toStdString());
            ends.executeStep();
            if (!ends.getColumn(0).isNull()) {
                ids_.push_back(ends.getColumn(0).getInt64());
                restUpTo_ = ends.getColumn(1).getInt64();
            }
        } else {
            QString sql = QStringLiteral("SELECT rowid FROM ") + quoted(source_.table);
            if (!source_.where.isEmpty())
                sql += QStringLiteral(" WHERE ") + source_.where;
            sql += QStringLiteral(" ORDER BY ")
                + (source_.orderBy.isEmpty() ? QStringLiteral("rowid") : source_.orderBy);
            SQLite::Statement st(*db_, sql.toStdString());
            for (int i = 0; i < source_.params.size(); ++i)
                bindValue(st, i + 1, source_.params[i]);
            while (st.executeStep())
                ids_.push_back(st.getColumn(0).getInt64());
        }
    } catch (const std::exception& e) {
        throw DbError(e.what());
    }
    pos_ = ids_.empty() ? -1 : 0;
    onDeleted_ = false;
    mode_ = EditMode::None;
    cache_.reset();
}

void Recordset::loadRest() const
{
    if (restUpTo_ == 0)
        return;
    const std::int64_t first = ids_.front();
    try {
        SQLite::Statement st(*db_, ("SELECT rowid FROM " + quoted(source_.table)
                                       + " WHERE rowid > ? AND rowid <= ? ORDER BY rowid")
                                       .toStdString());
        st.bind(1, first);
        st.bind(2, restUpTo_);
        while (st.executeStep())
            ids_.push_back(st.getColumn(0).getInt64());
    } catch (const std::exception& e) {
        throw DbError(e.what());
    }
    restUpTo_ = 0;
}

int Recordset::fieldIndex(const QString& name) const
{
    for (int i = 0; i < fields_.size(); ++i)
        if (fields_[i].compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

int Recordset::checkedIndex(const QString& name) const
{
    const int i = fieldIndex(name);
    if (i < 0)
        throw DbError(kNoSuchField);
    return i;
}

bool Recordset::BOF() const { return mode_ != EditMode::Add && (ids_.empty() || pos_ < 0); }

bool Recordset::isEOF() const
{
    return mode_ != EditMode::Add
        && (ids_.empty() || pos_ >= static_cast<std::int64_t>(ids_.size()));
}

bool Recordset::hasCurrentRecord() const
{
    return open_ && (mode_ == EditMode::Add || (!BOF() && !isEOF() && !onDeleted_));
}

void Recordset::requireOpen() const
{
    if (!open_)
        throw DbError(kClosed);
}

void Recordset::requireCurrent() const
{
    requireOpen();
    if (!hasCurrentRecord())
        throw DbError(kNoCurrentRecord);
}

const QVariantList& Recordset::row() const
{
    if (mode_ != EditMode::None)
        return buffer_;
    if (!cache_) {
        if (!fetch_) {
            QStringList cols;
            for (const QString& f : fields_)
                cols << quoted(f);
            const QString sql = QStringLiteral("SELECT ") + cols.join(u',') + QStringLiteral(" FROM ")
                + quoted(source_.table) + QStringLiteral(" WHERE rowid = ?");
            try {
                fetch_ = std::make_unique<SQLite::Statement>(*db_, sql.toStdString());
            } catch (const std::exception& e) {
                throw DbError(e.what());
            }
        }
        fetch_->reset();
        fetch_->bind(1, static_cast<int64_t>(ids_[static_cast<size_t>(pos_)]));
        if (!fetch_->executeStep())
            throw DbError(kRowGone);
        QVariantList values;
        values.reserve(fields_.size());
        for (int i = 0; i < fields_.size(); ++i)
            values << columnValue(fetch_->getColumn(i));
        // A statement left open holds a read lock that would stall the
        // other windows' writes.
        fetch_->reset();
        cache_ = std::move(values);
    }
    return *cache_;
}

QVariant Recordset::field(int position) const
{
    requireCurrent();
    if (position < 0 || position >= fields_.size())
        throw DbError(kNoSuchField);
    return row().at(position);
}

QVariant Recordset::field(const QString& name) const
{
    requireCurrent();
    return row().at(checkedIndex(name));
}

void Recordset::setField(int position, const QVariant& value)
{
    requireCurrent();
    if (position < 0 || position >= fields_.size())
        throw DbError(kNoSuchField);
    if (mode_ == EditMode::None) {
        buffer_ = row();
        changed_.assign(static_cast<size_t>(fields_.size()), false);
        mode_ = EditMode::InProgress;
    }
    buffer_[position] = value;
    changed_[static_cast<size_t>(position)] = true;
}

void Recordset::setField(const QString& name, const QVariant& value)
{
    setField(checkedIndex(name), value);
}

void Recordset::leave()
{
    requireOpen();
    if (observer_ && hasCurrentRecord())
        observer_->beforeLeave();
    if (mode_ != EditMode::None)
        Update();
}

void Recordset::arrived()
{
    cache_.reset();
    onDeleted_ = false;
    if (observer_)
        observer_->afterMove();
}

std::int64_t Recordset::rowId() const
{
    if (!hasCurrentRecord() || mode_ == EditMode::Add)
        return 0;
    return ids_[static_cast<size_t>(pos_)];
}

bool Recordset::moveToRowId(std::int64_t id)
{
    loadRest();
    const auto it = std::find(ids_.begin(), ids_.end(), id);
    if (it == ids_.end())
        return false;
    leave();
    // Storing a pending record may have appended to the result; look again.
    const auto at = std::find(ids_.begin(), ids_.end(), id);
    pos_ = at - ids_.begin();
    arrived();
    return true;
}

void Recordset::MoveFirst()
{
    leave();
    if (ids_.empty())
        throw DbError(kNoCurrentRecord);
    pos_ = 0;
    arrived();
}

void Recordset::MoveLast()
{
    loadRest();
    leave();
    if (ids_.empty())
        throw DbError(kNoCurrentRecord);
    pos_ = static_cast<std::int64_t>(ids_.size()) - 1;
    arrived();
}

void Recordset::MoveNext()
{
    loadRest();
    leave();
    // From the gap a Delete left, the next record is the one that slid into
    // it, or the end when the last record went.
    if (isEOF() && !onDeleted_)
        throw DbError(kNoCurrentRecord);
    if (!onDeleted_)
        ++pos_;
    arrived();
}

void Recordset::MovePrevious()
{
    leave();
    if (BOF())
        throw DbError(kNoCurrentRecord);
    --pos_;
    arrived();
}

void Recordset::AddNew()
{
    loadRest();
    requireOpen();
    if (hasCurrentRecord()) {
        if (observer_)
            observer_->beforeLeave();
        if (mode_ != EditMode::None)
            Update();
    }
    buffer_.clear();
    for (int i = 0; i < fields_.size(); ++i)
        buffer_ << QVariant();
    changed_.assign(static_cast<size_t>(fields_.size()), false);
    mode_ = EditMode::Add;
    cache_.reset();
    onDeleted_ = false;
    if (observer_)
        observer_->afterMove();
}

void Recordset::Update()
{
    loadRest();
    requireCurrent();
    if (observer_)
        observer_->beforeLeave();
    if (mode_ == EditMode::None)
        return;
    QStringList cols;
    QVariantList values;
    for (int i = 0; i < fields_.size(); ++i) {
        if (changed_[static_cast<size_t>(i)]) {
            cols << quoted(fields_[i]);
            values << buffer_[i];
        }
    }
    try {
        if (mode_ == EditMode::Add) {
            QString sql = QStringLiteral("INSERT INTO ") + quoted(source_.table);
            if (cols.isEmpty()) {
                sql += QStringLiteral(" DEFAULT VALUES");
            } else {
                QStringList marks;
                for (int i = 0; i < cols.size(); ++i)
                    marks << QStringLiteral("?");
                sql += u'(' + cols.join(u',') + QStringLiteral(") VALUES (") + marks.join(u',') + u')';
            }
            SQLite::Statement st(*db_, sql.toStdString());
            for (int i = 0; i < values.size(); ++i)
                bindValue(st, i + 1, values[i]);
            writeRecord(*db_, [&] { st.exec(); });
            ids_.push_back(db_->getLastInsertRowid());
            pos_ = static_cast<std::int64_t>(ids_.size()) - 1;
        } else if (!cols.isEmpty()) {
            QStringList sets;
            for (const QString& c : cols)
                sets << c + QStringLiteral(" = ?");
            const QString sql = QStringLiteral("UPDATE ") + quoted(source_.table) + QStringLiteral(" SET ")
                + sets.join(u',') + QStringLiteral(" WHERE rowid = ?");
            SQLite::Statement st(*db_, sql.toStdString());
            for (int i = 0; i < values.size(); ++i)
                bindValue(st, i + 1, values[i]);
            bindValue(st, static_cast<int>(values.size()) + 1,
                      QVariant::fromValue<qlonglong>(ids_[static_cast<size_t>(pos_)]));
            // A record removed by another connection takes no change; saying
            // nothing would lose the edit.
            int changed = 0;
            writeRecord(*db_, [&] { changed = st.exec(); });
            if (changed == 0) {
                // Reported once; the cursor must not stay stuck on the edit.
                mode_ = EditMode::None;
                buffer_.clear();
                cache_.reset();
                throw DbError(kRowGone);
            }
        }
    } catch (const std::exception& e) {
        throw DbError(e.what());
    }
    mode_ = EditMode::None;
    buffer_.clear();
    cache_.reset();
    // The stored record now carries what the store gave it (its serial number).
    if (observer_)
        observer_->afterMove();
}

void Recordset::CancelUpdate()
{
    mode_ = EditMode::None;
    buffer_.clear();
    cache_.reset();
    if (observer_)
        observer_->afterMove();
}

void Recordset::Delete()
{
    loadRest();
    requireCurrent();
    if (mode_ == EditMode::Add) {
        CancelUpdate();
        return;
    }
    mode_ = EditMode::None;
    buffer_.clear();
    try {
        SQLite::Statement st(*db_, "DELETE FROM " + quoted(source_.table).toStdString()
                                       + " WHERE rowid = ?");
        st.bind(1, static_cast<int64_t>(ids_[static_cast<size_t>(pos_)]));
        writeRecord(*db_, [&] { st.exec(); });
    } catch (const std::exception& e) {
        throw DbError(e.what());
    }
    ids_.erase(ids_.begin() + pos_);
    onDeleted_ = true;
    cache_.reset();
}

void Recordset::Requery()
{
    requireOpen();
    load();
    if (observer_)
        observer_->afterMove();
}

void Recordset::Close()
{
    open_ = false;
    ids_.clear();
    restUpTo_ = 0;
    cache_.reset();
    fetch_.reset();
    mode_ = EditMode::None;
}

void Recordset::SaveCsv(const QString& filePath)
{
    requireOpen();
    QStringList cols;
    for (const QString& f : fields_)
        cols << quoted(f);
    QString sql = QStringLiteral("SELECT ") + cols.join(u',') + QStringLiteral(" FROM ")
        + quoted(source_.table);
    if (!source_.where.isEmpty())
        sql += QStringLiteral(" WHERE ") + source_.where;
    sql += QStringLiteral(" ORDER BY ")
        + (source_.orderBy.isEmpty() ? QStringLiteral("rowid") : source_.orderBy);

    QSaveFile out(filePath);
    if (!out.open(QIODevice::WriteOnly))
        throw DbError(QStringLiteral("Cannot write '%1': %2").arg(filePath, out.errorString()).toStdString());
    auto writeRow = [&out](const QStringList& values) { out.write(csvLine(values).toUtf8()); };
    writeRow(fields_);
    try {
        SQLite::Statement st(*db_, sql.toStdString());
        for (int i = 0; i < source_.params.size(); ++i)
            bindValue(st, i + 1, source_.params[i]);
        while (st.executeStep()) {
            QStringList values;
            for (int i = 0; i < fields_.size(); ++i)
                values << columnValue(st.getColumn(i)).toString();
            writeRow(values);
        }
    } catch (const std::exception& e) {
        out.cancelWriting();
        throw DbError(e.what());
    }
    if (!out.commit())
        throw DbError(QStringLiteral("Cannot write '%1': %2").arg(filePath, out.errorString()).toStdString());
}

} // namespace qm
