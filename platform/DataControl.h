// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The data control of a window: its own connection to database.mdb, one
// recordset over its record source, and the boxes bound to that recordset's
// fields. A value set into a bound box reaches its field on Update, on the
// next AddNew, or when the cursor moves off the record.
#include "platform/Recordset.h"

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <memory>
#include <span>
#include <vector>

class QLabel;
class QLineEdit;
class QToolButton;

namespace qm {

class DataControl : public QWidget, private RecordsetObserver {
    Q_OBJECT
public:
    explicit DataControl(QWidget* parent = nullptr);
    ~DataControl() override;

    // Where the connection goes; database.mdb in the current folder by default.
    void setDatabasePath(const QString& path) { databasePath_ = path; }
    QString databasePath() const { return databasePath_; }

    void setCommandType(CommandType type) { commandType_ = type; }
    CommandType commandType() const { return commandType_; }
    void setRecordSource(const RecordSource& source) { recordSource_ = source; }
    const RecordSource& recordSource() const { return recordSource_; }

    // Opens the connection when needed and runs the record source again; the
    // new recordset stands on its first record. Throws DbError.
    void Refresh();

    // The open recordset. Throws DbError when none is open.
    Recordset& recordset();
    bool isOpen() const { return rs_ && rs_->isOpen(); }
    void Close();

    // The connection this control opened (for statements of its own window).
    std::shared_ptr<SQLite::Database> connection() const { return db_; }

    void bind(QLineEdit* box, const QString& field);
    void bind(QLabel* label, const QString& field);

    // While repaint is suspended, moves do not touch the bound boxes; boxes
    // left untouched since their last repaint are not stored either.
    void suspendRepaint(bool suspended);

    // The caption shown on the visible control.
    void setCaption(const QString& caption);
    QString caption() const;

    // Repaints every bound box from the current record.
    void repaint();

    // Without a current record `boxes` show nothing and take no typing, so no
    // one reads or edits a record that is not there.
    void lockWithoutRecord(std::span<QLineEdit* const> boxes) const;

signals:
    void moved();

private:
    void beforeLeave() override;
    void afterMove() override;
    void navigate(void (Recordset::*move)());
    void showError(const std::exception& e);

    struct Binding {
        QPointer<QWidget> widget;
        QString field;
        QString painted;
    };

    QString databasePath_;
    CommandType commandType_ = CommandType::Text;
    RecordSource recordSource_;
    std::shared_ptr<SQLite::Database> db_;
    std::unique_ptr<Recordset> rs_;
    std::vector<Binding> bindings_;
    bool suspended_ = false;
    QLabel* captionLabel_ = nullptr;
};

// Suspends repainting for the lifetime of the guard.
class RepaintSuspender {
public:
    explicit RepaintSuspender(DataControl& dc) : dc_(dc) { dc_.suspendRepaint(true); }
    ~RepaintSuspender() { dc_.suspendRepaint(false); }
    RepaintSuspender(const RepaintSuspender&) = delete;
    RepaintSuspender& operator=(const RepaintSuspender&) = delete;

private:
    DataControl& dc_;
};

} // namespace qm
