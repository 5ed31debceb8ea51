// SPDX-License-Identifier: GPL-3.0-or-later
#include "main_window/CompareWindow.h"

#include "catalog/Scans.h"
#include "catalog/store/ReadOnlyStore.h"
#include "main_window/Form1.h"
#include "platform/AppPaths.h"
#include "platform/MessageBox.h"
#include "platform/Numbers.h"
#include "platform/WindowFront.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <SQLiteCpp/Database.h>

namespace qm {
namespace {

QPointer<CompareWindow> openWindow;

constexpr int kCatalogueRole = Qt::UserRole;
constexpr int kKeyRole = Qt::UserRole + 1;
constexpr int kRowRole = Qt::UserRole;

QString sizeOf(const DiffEntry& e)
{
    return e.present() && !e.folder() ? readableSize(e.bytes) : QString();
}

} // namespace

bool fillScanChoices(QComboBox* box, SQLite::Database& db)
{
    const QString kept = box->currentText();
    box->clear();
    try {
        for (const ScanInfo& scan : listScans(db)) {
            box->addItem(scan.catalogue + QStringLiteral(": ") + scan.folder + QStringLiteral(" (") + scan.topKey + u')');
            box->setItemData(box->count() - 1, scan.catalogue, kCatalogueRole);
            box->setItemData(box->count() - 1, scan.topKey, kKeyRole);
        }
    } catch (const std::exception& e) {
        MsgBox(QStringLiteral("The scans cannot be read from the catalogue: ") + QString::fromUtf8(e.what()), box);
        return false;
    }
    if (const int at = box->findText(kept); at >= 0)
        box->setCurrentIndex(at);
    return true;
}

std::optional<ScanRef> chosenScan(const QComboBox* box, SQLite::Database& db)
{
    const int at = box->currentIndex();
    if (at < 0)
        return std::nullopt;
    const QString catalogue = box->itemData(at, kCatalogueRole).toString();
    const auto top = findTopFolder(db, catalogue, box->itemData(at, kKeyRole).toString());
    if (!top)
        return std::nullopt;
    return ScanRef {catalogue, *top};
}

CompareWindow::CompareWindow(Form1* form, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , form_(form)
{
    setObjectName(QStringLiteral("CompareWindow"));
    setWindowTitle(QStringLiteral("Compare Scans - Quillmark"));
    resize(960, 560);

    auto* labelA = new QLabel(QStringLiteral("Scan &A:"), this);
    scanA = new QComboBox(this);
    scanA->setObjectName(QStringLiteral("scanA"));
    labelA->setBuddy(scanA);
    auto* labelB = new QLabel(QStringLiteral("Scan &B:"), this);
    scanB = new QComboBox(this);
    scanB->setObjectName(QStringLiteral("scanB"));
    labelB->setBuddy(scanB);
    for (QComboBox* box : {scanA, scanB})
        box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    compareButton = new QPushButton(QStringLiteral("&Compare"), this);
    compareButton->setObjectName(QStringLiteral("compareButton"));
    rowView = new QTreeWidget(this);
    rowView->setObjectName(QStringLiteral("rowView"));
    rowView->setRootIsDecorated(false);
    rowView->setUniformRowHeights(true);
    rowView->setHeaderLabels({QStringLiteral("Change"), QStringLiteral("Path in A"), QStringLiteral("Path in B"),
        QStringLiteral("Size in A"), QStringLiteral("Size in B"), QStringLiteral("Compared by")});
    rowView->header()->setSectionResizeMode(1, QHeaderView::Stretch);
    rowView->header()->setSectionResizeMode(2, QHeaderView::Stretch);
    rowView->header()->setStretchLastSection(false);
    statusLabel = new QLabel(this);
    statusLabel->setObjectName(QStringLiteral("statusLabel"));
    statusLabel->setWordWrap(true);

    auto* choose = new QGridLayout;
    choose->addWidget(labelA, 0, 0);
    choose->addWidget(scanA, 0, 1);
    choose->addWidget(labelB, 1, 0);
    choose->addWidget(scanB, 1, 1);
    choose->addWidget(compareButton, 0, 2, 2, 1);
    choose->setColumnStretch(1, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(choose);
    layout->addWidget(rowView, 1);
    layout->addWidget(statusLabel);

    connect(compareButton, &QPushButton::clicked, this, &CompareWindow::compare);
    connect(rowView, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) { showEntry(item); });
}

CompareWindow::~CompareWindow() = default;

CompareWindow* CompareWindow::current()
{
    return openWindow;
}

CompareWindow* CompareWindow::showWindow(Form1* form)
{
    if (openWindow) {
        bringToFront(openWindow);
        return openWindow;
    }
    auto* window = new CompareWindow(form);
    window->setAttribute(Qt::WA_DeleteOnClose);
    openWindow = window;
    window->show();
    window->refreshChoices();
    return window;
}

void CompareWindow::refreshChoices()
{
    QString problem;
    const auto db = Store::openReadOnly(databasePath(), problem);
    if (!db) {
        MsgBox(problem, this);
        return;
    }
    if (fillScanChoices(scanA, *db) && fillScanChoices(scanB, *db) && scanB->currentIndex() == 0 && scanB->count() > 1)
        scanB->setCurrentIndex(1);
    statusLabel->setText(scanA->count() < 2 ? QStringLiteral("Two scans are needed to compare.")
                                            : QStringLiteral("Choose two scans and press Compare."));
}

void CompareWindow::compare()
{
    QString problem;
    const auto db = Store::openReadOnly(databasePath(), problem);
    if (!db) {
        MsgBox(problem, this);
        return;
    }
    rowView->clear();
    result_ = {};
    setCursor(Qt::WaitCursor);
    try {
        const auto a = chosenScan(scanA, *db);
        const auto b = chosenScan(scanB, *db);
        if (!a || !b) {
            unsetCursor();
            MsgBox(QStringLiteral("Choose two scans that the catalogue holds; the list is read again."), this);
            refreshChoices();
            return;
        }
        a_ = *a;
        b_ = *b;
        result_ = diffScans(*db, a_, b_);
    } catch (const std::exception& e) {
        unsetCursor();
        statusLabel->setText(QStringLiteral("The scans cannot be compared."));
        MsgBox(QStringLiteral("The scans cannot be read from the catalogue: ") + QString::fromUtf8(e.what()), this);
        return;
    }
    QList<QTreeWidgetItem*> items;
    for (size_t i = 0; i < result_.rows.size(); ++i) {
        const DiffRow& r = result_.rows[i];
        const bool compared = r.kind == DiffKind::Differs || r.kind == DiffKind::Moved;
        auto* item = new QTreeWidgetItem({diffKindText(r.kind), r.a.path, r.b.path, sizeOf(r.a), sizeOf(r.b),
            compared ? (r.byContent ? QStringLiteral("fingerprint") : QStringLiteral("size")) : QString()});
        item->setData(0, kRowRole, static_cast<qulonglong>(i));
        items << item;
    }
    rowView->addTopLevelItems(items);
    unsetCursor();
    statusLabel->setText((result_.same() ? QStringLiteral("The scans are the same: ") : QString())
        + diffSummary(result_.counts) + u'.');
}

bool CompareWindow::showEntry(QTreeWidgetItem* item)
{
    if (!item)
        return false;
    const auto i = item->data(0, kRowRole).toULongLong();
    if (i >= result_.rows.size())
        return false;
    const DiffRow& r = result_.rows[i];
    const bool inA = r.a.present();
    const DiffEntry& e = inA ? r.a : r.b;
    const QString& catalogue = inA ? a_.catalogue : b_.catalogue;
    if (!form_) {
        MsgBox(QStringLiteral("The main window is closed."), this);
        return false;
    }
    if (form_->showRecord(catalogue, e.key, e.srNo))
        return true;
    MsgBox(QStringLiteral("The catalogue \"") + catalogue + QStringLiteral("\" no longer holds ") + e.path
            + QStringLiteral("."),
        this);
    return false;
}

} // namespace qm
