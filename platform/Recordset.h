// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A static, client-side cursor over one table of the store. It keeps only the
// row ids of its result and fetches a row when the cursor stands on it, so a
// table of a million records opens quickly and the record count is exact. A
// whole table opens on its first row alone and reads the other ids when the
// cursor first moves on or the count is asked for.
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantList>

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <vector>

namespace SQLite {
class Database;
class Statement;
} // namespace SQLite

namespace qm {

// Any refusal of the store or the cursor; what() is the text shown to the user.
class DbError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class CommandType { Text = 1, Table = 2 };

// What a cursor selects: one table, an optional condition whose values travel
// as bound parameters ("?" in the condition, one value each), an optional
// order. `text` is the record source as a user would read it.
struct RecordSource {
    QString table;
    QString where;
    QVariantList params;
    QString orderBy;
    QString text;
};

// Told before the cursor leaves its record (to store what bound boxes hold)
// and after it stands somewhere new (to repaint them).
class RecordsetObserver {
public:
    virtual ~RecordsetObserver() = default;
    virtual void beforeLeave() = 0;
    virtual void afterMove() = 0;
};

class Recordset {
public:
    enum class EditMode { None, InProgress, Add };

    Recordset(std::shared_ptr<SQLite::Database> db, RecordSource source);
    ~Recordset();
    Recordset(const Recordset&) = delete;
    Recordset& operator=(const Recordset&) = delete;

    const RecordSource& source() const { return source_; }
    const QStringList& fieldNames() const { return fields_; }
    int fieldIndex(const QString& name) const; // -1 when the table has no such field (case-insensitive)
    int fieldCount() const { return static_cast<int>(fields_.size()); }

    std::int64_t RecordCount() const
    {
        loadRest();
        return static_cast<std::int64_t>(ids_.size());
    }
    bool BOF() const;
    bool isEOF() const; // EOF is a C macro
    bool hasCurrentRecord() const;
    EditMode editMode() const { return mode_; }
    std::int64_t absolutePosition() const { return pos_; } // 0-based; -1 before the first record

    // The store's row id of the current record; 0 without one.
    std::int64_t rowId() const;
    // Stands on the record with row id `id`; false (and no move) when the
    // result does not hold it.
    bool moveToRowId(std::int64_t id);

    void MoveFirst();
    void MoveLast();
    void MoveNext();
    void MovePrevious();

    // Field of the current record (or of the record being added). Throws
    // DbError with no current record or an unknown field.
    QVariant field(int position) const;
    QVariant field(const QString& name) const;
    QString text(int position) const { return field(position).toString(); }
    QString text(const QString& name) const { return field(name).toString(); }
    void setField(int position, const QVariant& value);
    void setField(const QString& name, const QVariant& value);

    // Begins a new empty record and makes it current; a pending record is
    // stored first.
    void AddNew();
    // Stores the record being added or edited.
    void Update();
    // Drops pending changes.
    void CancelUpdate();
    // Removes the current record; the cursor stays on the gap until it moves.
    void Delete();
    // Runs the record source again and stands on the first record.
    void Requery();
    void Close();
    bool isOpen() const { return open_; }

    // Writes the whole result, a header row first, as RFC 4180 CSV in UTF-8.
    void SaveCsv(const QString& filePath);

    void setObserver(RecordsetObserver* observer) { observer_ = observer; }

private:
    void load();
    // A whole table in its own order opens on its first row id alone; the
    // others, up to the last the table held at opening, are read when the
    // cursor leaves it or the count is asked for.
    void loadRest() const;
    void requireOpen() const;
    void requireCurrent() const;
    void leave();
    void arrived();
    const QVariantList& row() const;
    int checkedIndex(const QString& name) const;

    std::shared_ptr<SQLite::Database> db_;
    RecordSource source_;
    QStringList fields_;
    mutable std::vector<std::int64_t> ids_;
    mutable std::int64_t restUpTo_ = 0; // the last row id to read; 0 when all are read
    std::int64_t pos_ = -1;
    bool open_ = false;
    bool onDeleted_ = false;
    EditMode mode_ = EditMode::None;
    QVariantList buffer_;
    std::vector<bool> changed_;
    mutable std::optional<QVariantList> cache_;
    mutable std::unique_ptr<SQLite::Statement> fetch_;
    RecordsetObserver* observer_ = nullptr;
};

// Opens the store at `path` as a connection of its own. Throws DbError when
// the file is missing or is not an SQLite database.
std::shared_ptr<SQLite::Database> openConnection(const QString& path);

} // namespace qm
