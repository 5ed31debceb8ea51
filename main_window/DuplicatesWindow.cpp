// SPDX-License-Identifier: GPL-3.0-or-later
#include "main_window/DuplicatesWindow.h"

#include "main_window/Form1.h"
#include "platform/AppPaths.h"
#include "platform/MessageBox.h"
#include "platform/Numbers.h"
#include "platform/Recordset.h"
#include "platform/WindowFront.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <SQLiteCpp/Database.h>

namespace qm {
namespace {

QPointer<DuplicatesWindow> openWindow;

// Where a copy's row keeps its group and copy.
constexpr int kGroupRole = Qt::UserRole;
constexpr int kCopyRole = Qt::UserRole + 1;

} // namespace

DuplicatesWindow::DuplicatesWindow(Form1* form, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , form_(form)
{
    setObjectName(QStringLiteral("DuplicatesWindow"));
    setWindowTitle(QStringLiteral("Duplicates - Quillmark"));
    resize(900, 520);

    auto* minLabel = new QLabel(QStringLiteral("&Smallest file:"), this);
    minSizeBox = new QLineEdit(QStringLiteral("1"), this);
    minSizeBox->setObjectName(QStringLiteral("minSizeBox"));
    minSizeBox->setToolTip(QStringLiteral("Bytes, or a number with K, M, G or T: 500K, 10M"));
    minLabel->setBuddy(minSizeBox);
    refreshButton = new QPushButton(QStringLiteral("&Refresh"), this);
    refreshButton->setObjectName(QStringLiteral("refreshButton"));
    groupView = new QTreeWidget(this);
    groupView->setObjectName(QStringLiteral("groupView"));
    groupView->setHeaderLabels({QStringLiteral("Path"), QStringLiteral("Catalogue"), QStringLiteral("Disk"),
        QStringLiteral("Size"), QStringLiteral("Wasted")});
    groupView->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    groupView->header()->setStretchLastSection(false);
    groupView->setUniformRowHeights(true);
    statusLabel = new QLabel(this);
    statusLabel->setObjectName(QStringLiteral("statusLabel"));

    auto* top = new QHBoxLayout;
    top->addWidget(minLabel);
    top->addWidget(minSizeBox);
    top->addWidget(refreshButton);
    top->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(groupView, 1);
    layout->addWidget(statusLabel);

    connect(refreshButton, &QPushButton::clicked, this, &DuplicatesWindow::refresh);
    connect(minSizeBox, &QLineEdit::returnPressed, this, &DuplicatesWindow::refresh);
    connect(groupView, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) { showCopy(item); });
}

DuplicatesWindow::~DuplicatesWindow() = default;

DuplicatesWindow* DuplicatesWindow::current()
{
    return openWindow;
}

DuplicatesWindow* DuplicatesWindow::showWindow(Form1* form)
{
    if (openWindow) {
        bringToFront(openWindow);
        return openWindow;
    }
    auto* window = new DuplicatesWindow(form);
    window->setAttribute(Qt::WA_DeleteOnClose);
    openWindow = window;
    window->show();
    window->refresh();
    return window;
}

void DuplicatesWindow::refresh()
{
    DuplicateQuery query;
    const auto minSize = parseSizeArgument(minSizeBox->text());
    if (!minSize) {
        MsgBox(QStringLiteral("The smallest file size must be a number of bytes, or a number with K, M, G or T "
                              "(such as 500K or 10M), not \"")
                + minSizeBox->text() + QStringLiteral("\"."),
            this);
        return;
    }
    query.minSize = *minSize;
    groupView->clear();
    groups_.clear();
    setCursor(Qt::WaitCursor);
    try {
        auto db = openConnection(databasePath());
        groups_ = findDuplicates(*db, query);
    } catch (const std::exception& e) {
        unsetCursor();
        statusLabel->setText(QStringLiteral("The duplicates cannot be read."));
        MsgBox(QStringLiteral("The duplicates cannot be read from the catalogue: ") + QString::fromUtf8(e.what()),
            this);
        return;
    }
    std::uint64_t wasted = 0;
    QList<QTreeWidgetItem*> items;
    for (size_t g = 0; g < groups_.size(); ++g) {
        const DuplicateGroup& group = groups_[g];
        wasted += group.wasted();
        auto* head = new QTreeWidgetItem({QString::number(group.copies.size())
                + (group.likely ? QStringLiteral(" likely copies (same name and size, contents not read)")
                                : QStringLiteral(" identical copies, fingerprint ") + hashHex(group.hash)),
            {}, {}, readableSize(group.bytes), readableSize(group.wasted())});
        for (size_t c = 0; c < group.copies.size(); ++c) {
            const DuplicateCopy& copy = group.copies[c];
            auto* row = new QTreeWidgetItem(head, {copy.path, copy.catalogue, copy.disk, readableSize(group.bytes), {}});
            row->setData(0, kGroupRole, static_cast<qulonglong>(g));
            row->setData(0, kCopyRole, static_cast<qulonglong>(c));
        }
        items << head;
    }
    groupView->addTopLevelItems(items);
    groupView->expandAll();
    unsetCursor();
    statusLabel->setText(groups_.empty()
            ? QStringLiteral("No duplicates.")
            : QStringLiteral("%1 group(s) of copies, %2 wasted.").arg(QString::number(groups_.size()), readableSize(wasted)));
}

bool DuplicatesWindow::showCopy(QTreeWidgetItem* item)
{
    if (!item || !item->parent())
        return false;
    const auto g = item->data(0, kGroupRole).toULongLong();
    const auto c = item->data(0, kCopyRole).toULongLong();
    if (g >= groups_.size() || c >= groups_[g].copies.size())
        return false;
    const DuplicateCopy& copy = groups_[g].copies[c];
    if (!form_) {
        MsgBox(QStringLiteral("The main window is closed."), this);
        return false;
    }
    if (form_->showRecord(copy.catalogue, copy.key, copy.srNo))
        return true;
    MsgBox(QStringLiteral("The catalogue \"") + copy.catalogue + QStringLiteral("\" no longer holds ") + copy.path
            + QStringLiteral("."),
        this);
    return false;
}

} // namespace qm
