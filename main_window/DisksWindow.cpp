// SPDX-License-Identifier: GPL-3.0-or-later
#include "main_window/DisksWindow.h"

#include "main_window/Form1.h"
#include "main_window/TreemapView.h"
#include "platform/AppPaths.h"
#include "platform/MessageBox.h"
#include "platform/Recordset.h"
#include "platform/StoreMark.h"
#include "platform/WindowFront.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <SQLiteCpp/Database.h>

namespace qm {
namespace {

QPointer<DisksWindow> openWindow;

// Sizes, counts and dates sort by their values, not their texts.
class Cell : public QTableWidgetItem {
public:
    using QTableWidgetItem::QTableWidgetItem;
    bool operator<(const QTableWidgetItem& other) const override
    {
        const QVariant mine = data(Qt::UserRole + 1), theirs = other.data(Qt::UserRole + 1);
        if (mine.isValid() && theirs.isValid())
            return mine.toLongLong() < theirs.toLongLong();
        return text() < other.text();
    }
};

} // namespace

DisksWindow::DisksWindow(Form1* form, QWidget* parent) : QWidget(parent, Qt::Window), form_(form)
{
    setObjectName(QStringLiteral("DisksWindow"));
    setWindowTitle(QStringLiteral("Disks"));
    diskTable = new QTableWidget(0, kDiskColumnCount, this);
    diskTable->setObjectName(QStringLiteral("diskTable"));
    diskTable->setHorizontalHeaderLabels(diskColumns());
    diskTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    diskTable->setSelectionMode(QAbstractItemView::SingleSelection);
    diskTable->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);
    diskTable->verticalHeader()->hide();
    diskTable->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    // The store's order (catalogue, then scan) until a header is clicked;
    // after that a refresh keeps the user's order.
    diskTable->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    refreshButton = new QPushButton(QStringLiteral("&Refresh"), this);
    refreshButton->setObjectName(QStringLiteral("refreshButton"));
    treemapButton = new QPushButton(QStringLiteral("&Where the space went..."), this);
    treemapButton->setObjectName(QStringLiteral("treemapButton"));
    statusLabel = new QLabel(this);
    statusLabel->setObjectName(QStringLiteral("statusLabel"));

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(refreshButton);
    buttons->addWidget(treemapButton);
    buttons->addWidget(statusLabel, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(diskTable, 1);
    layout->addLayout(buttons);
    resize(1100, 420);

    connect(refreshButton, &QPushButton::clicked, this, &DisksWindow::Refresh_Click);
    connect(treemapButton, &QPushButton::clicked, this, &DisksWindow::Treemap_Click);
    connect(diskTable, &QTableWidget::itemDoubleClicked, this, &DisksWindow::diskTable_DblClick);
    connect(diskTable, &QTableWidget::itemChanged, this, &DisksWindow::cellEdited);
    Refresh_Click();
}

DisksWindow* DisksWindow::showWindow(Form1* form)
{
    if (openWindow) {
        openWindow->Refresh_Click();
        bringToFront(openWindow);
        return openWindow;
    }
    auto* window = new DisksWindow(form);
    window->setAttribute(Qt::WA_DeleteOnClose);
    openWindow = window;
    window->show();
    return window;
}

void DisksWindow::Refresh_Click()
{
    guarded(this, [&] {
        auto db = openConnection(databasePath());
        rows_ = diskRows(*db, mountedDisks());
    });
    filling_ = true;
    diskTable->setSortingEnabled(false);
    diskTable->setRowCount(0);
    diskTable->setRowCount(static_cast<int>(rows_.size()));
    for (size_t r = 0; r < rows_.size(); ++r) {
        const DiskRow& row = rows_[r];
        const QStringList cells = diskCells(row, false);
        const DiskIdentity& d = row.scan.disk;
        const std::int64_t used = d.totalBytes >= 0 && d.freeBytes >= 0 ? d.totalBytes - d.freeBytes : -1;
        const std::int64_t values[kDiskColumnCount] = {-1, -1, -1, -1, -1, d.totalBytes, used, d.freeBytes,
            row.scan.records, row.scan.bytes, row.scan.scanned, -1, -1, -1};
        for (int c = 0; c < kDiskColumnCount; ++c) {
            auto* item = new Cell(cells[c]);
            if (c >= kCapacityColumn && c <= kScannedColumn)
                item->setData(Qt::UserRole + 1, static_cast<qlonglong>(values[c]));
            if (c >= kCapacityColumn && c <= kBytesColumn)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            item->setData(Qt::UserRole, static_cast<qulonglong>(r));
            if (c != kLocationColumn && c != kNoteColumn)
                item->setFlags(item->flags() & ~Qt::ItemIsEditable);
            diskTable->setItem(static_cast<int>(r), c, item);
        }
    }
    diskTable->setSortingEnabled(true);
    diskTable->resizeColumnsToContents();
    filling_ = false;
    statusLabel->setText(QStringLiteral("%1 scan(s). Double-click Location or Note to write where a disk is kept.")
            .arg(rows_.size()));
}

const DiskRow* DisksWindow::rowOf(const QTableWidgetItem* item) const
{
    if (!item)
        return nullptr;
    const auto r = item->data(Qt::UserRole).toULongLong();
    return r < rows_.size() ? &rows_[r] : nullptr;
}

void DisksWindow::cellEdited(QTableWidgetItem* item)
{
    if (filling_ || (item->column() != kLocationColumn && item->column() != kNoteColumn))
        return;
    const DiskRow* row = rowOf(item);
    if (!row)
        return;
    const bool location = item->column() == kLocationColumn;
    const QString text = item->text().trimmed();
    const QString uuid = row->scan.disk.uuid;
    if (uuid.isEmpty()) {
        MsgBox(QStringLiteral("The disk of ") + row->scan.folder
                + QStringLiteral(" was not recorded when it was scanned, so nothing was written; "
                                 "Update Folder records it."),
            this);
    } else {
        guarded(this, [&] {
            auto db = openConnection(databasePath());
            Store::writeKeepingMark(*db, [&] { setDiskPlace(*db, uuid, location ? PlaceField::Location : PlaceField::Note, text); });
        });
    }
    // Every row of the disk shows what the store now holds; read once the
    // edit is over, as the cell being edited goes with the rows.
    QMetaObject::invokeMethod(this, &DisksWindow::Refresh_Click, Qt::QueuedConnection);
}

void DisksWindow::diskTable_DblClick(QTableWidgetItem* item)
{
    if (!item || item->column() == kLocationColumn || item->column() == kNoteColumn)
        return;
    const DiskRow* row = rowOf(item);
    if (!row)
        return;
    if (!form_) {
        MsgBox(QStringLiteral("The main window is closed, so ") + row->scan.folder
                + QStringLiteral(" cannot be shown in the tree."),
            this);
        return;
    }
    if (!form_->showRecord(row->scan.catalogue, row->scan.topKey))
        MsgBox(row->scan.folder + QStringLiteral(" is no longer in the catalogue \"") + row->scan.catalogue
                + QStringLiteral("\"."),
            this);
}

void DisksWindow::Treemap_Click()
{
    const QList<QTableWidgetItem*> chosen = diskTable->selectedItems();
    const DiskRow* row = chosen.isEmpty() ? nullptr : rowOf(chosen.first());
    if (!row) {
        MsgBox(QStringLiteral("Choose a scan in the list first."), this);
        return;
    }
    guarded(this, [&] {
        auto* window = new TreemapWindow(databasePath(), row->scan.catalogue, row->scan.topKey);
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->show();
    });
}

} // namespace qm
