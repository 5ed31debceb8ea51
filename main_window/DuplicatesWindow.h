// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Duplicates window: the groups of files with the same size and
// contents across every catalogue and disk (catalog/Duplicates.h), most
// wasted bytes first, each copy with its catalogue, disk and path. A copy's
// row, double-clicked or entered, opens its node in the main window.
#include "catalog/Duplicates.h"

#include <QPointer>
#include <QWidget>

#include <vector>

class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace qm {

class Form1;

class DuplicatesWindow : public QWidget {
    Q_OBJECT
public:
    explicit DuplicatesWindow(Form1* form, QWidget* parent = nullptr);
    ~DuplicatesWindow() override;

    // The open window, or nullptr.
    static DuplicatesWindow* current();
    // Brings the open window forward, or creates, fills and shows a new one.
    static DuplicatesWindow* showWindow(Form1* form);

    QLineEdit* minSizeBox = nullptr;
    QPushButton* refreshButton = nullptr;
    QTreeWidget* groupView = nullptr; // a group a top-level row, its copies below it
    QLabel* statusLabel = nullptr;

    // Reads the groups from the store again.
    void refresh();
    // Opens the copy of `item` in the main window; false when it cannot.
    bool showCopy(QTreeWidgetItem* item);
    const std::vector<DuplicateGroup>& groups() const { return groups_; }

private:
    QPointer<Form1> form_;
    std::vector<DuplicateGroup> groups_;
};

} // namespace qm
