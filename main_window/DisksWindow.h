// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// File > Disks: one row per scan with the disk it was read from, whether
// that disk is connected now, and where the user keeps it. Location and note
// are edited in place and kept in the store; a double click on any other
// cell shows the scan's node in the main window.
#include "catalog/Disks.h"

#include <QPointer>
#include <QWidget>

#include <vector>

class QLabel;
class QPushButton;
class QTableWidget;
class QTableWidgetItem;

namespace qm {

class Form1;

class DisksWindow : public QWidget {
    Q_OBJECT
public:
    explicit DisksWindow(Form1* form, QWidget* parent = nullptr);
    // The one Disks window, made or brought to the front.
    static DisksWindow* showWindow(Form1* form);

    QTableWidget* diskTable = nullptr;
    QPushButton* refreshButton = nullptr;
    QPushButton* treemapButton = nullptr;
    QLabel* statusLabel = nullptr;

    // Reads the rows again from the store and the mount table.
    void Refresh_Click();
    // The treemap of the selected row's scan, in a window of its own.
    void Treemap_Click();
    void diskTable_DblClick(QTableWidgetItem* item);
    // The scan a row stands for (rows sort, so the row's own record).
    const DiskRow* rowOf(const QTableWidgetItem* item) const;

private:
    void cellEdited(QTableWidgetItem* item);
    QPointer<Form1> form_;
    std::vector<DiskRow> rows_;
    bool filling_ = false;
};

} // namespace qm
