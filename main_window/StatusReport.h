// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The main window's status bar: what the last scan or delete did, and, when
// the tree finds no records, which catalogues the database holds, with a
// button that opens one of them.
#include <QObject>
#include <QString>

#include <chrono>
#include <cstdint>

class QLabel;
class QMenu;
class QPushButton;

namespace qm {

class Form1;
class FolderScan;
class UndoOffer;

class StatusReport : public QObject {
    Q_OBJECT
public:
    explicit StatusReport(Form1& form);

    QString text() const;
    // The button offering the catalogues; shown only with the hint.
    QPushButton* openButton() const { return open_; }
    // The offer to undo the last big delete.
    UndoOffer& undo() { return *undo_; }

    // The tree was built for the shown catalogue: says where the records
    // are when it found none.
    void treeLoaded();
    // A run of "Add Folder" ended.
    void scanEnded(const FolderScan& scan, std::chrono::steady_clock::duration elapsed);
    // "Delete Folder" is deleting the scan of `folder` from `catalogue`.
    void folderDeleting(const QString& folder, const QString& catalogue);
    // "Delete Folder" removed `records` records of the scan of `folder` from `catalogue`.
    void folderDeleted(const QString& folder, const QString& catalogue, std::int64_t records);
    // "Delete Folder" failed and changed nothing.
    void folderNotDeleted(const QString& folder);
    // "Update Folder" brought the scan of `folder` up to date; `summary` tells what changed.
    void folderUpdated(const QString& folder, const QString& catalogue, const QString& summary);
    // "Delete Catalogue" removed `records` records of `catalogue`.
    void catalogueDeleted(const QString& catalogue, std::int64_t records);
    void catalogueRenamed(const QString& from, const QString& to, std::int64_t records);
    // An undo put `records` records back; `what` says of what.
    void undone(const QString& what, std::int64_t records);

private:
    void tell(const QString& text);
    void show(const QString& text);
    void offer(const QStringList& names);

    Form1& form_;
    QLabel* label_;
    QPushButton* open_;
    QMenu* menu_;
    UndoOffer* undo_;
};

} // namespace qm
