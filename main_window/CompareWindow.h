// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Catalogue > Compare Scans: two scans chosen from every catalogue compared
// by relative path (catalog/ScanDiff.h) from the catalogue alone. One row a
// difference; a row, double-clicked or entered, opens its entry's node in
// the main window (A's, or B's when only B has it).
#include "catalog/ScanDiff.h"

#include <QPointer>
#include <QWidget>

#include <optional>

class QComboBox;
class QLabel;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace SQLite {
class Database;
}

namespace qm {

class Form1;

// Fills `box` with every scan of every catalogue ("Catalogue: folder (key)"),
// each item keeping its catalogue and key; false with a message shown when
// the store cannot be read.
bool fillScanChoices(QComboBox* box, SQLite::Database& db);
// The scan chosen in a box filled so; empty when none.
std::optional<ScanRef> chosenScan(const QComboBox* box, SQLite::Database& db);

class CompareWindow : public QWidget {
    Q_OBJECT
public:
    explicit CompareWindow(Form1* form, QWidget* parent = nullptr);
    ~CompareWindow() override;

    static CompareWindow* current();
    // Brings the open window forward, or creates and shows a new one.
    static CompareWindow* showWindow(Form1* form);

    QComboBox* scanA = nullptr;
    QComboBox* scanB = nullptr;
    QPushButton* compareButton = nullptr;
    QTreeWidget* rowView = nullptr;
    QLabel* statusLabel = nullptr;

    // Reads the scans to choose from again.
    void refreshChoices();
    // Compares the chosen scans and shows the differences.
    void compare();
    // Opens the node of the entry of `item`; false when it cannot.
    bool showEntry(QTreeWidgetItem* item);
    const ScanDiffResult& result() const { return result_; }

private:
    QPointer<Form1> form_;
    ScanDiffResult result_;
    ScanRef a_, b_;
};

} // namespace qm
