// SPDX-License-Identifier: GPL-3.0-or-later
// The menu items that open the secondary windows, and the file list's way of
// filling the report.
#include "main_window/Form1.h"

#include "about/frmAbout.h"
#include "platform/AppPaths.h"
#include "reports/DataEnvironment1.h"
#include "reports/DataReport1.h"
#include "tree_editor/frmTree.h"

#include <QAction>
#include <QTreeWidget>

#include <vector>

namespace qm {

void Form1::Tree_Click()
{
    frmTree::showWindow();
}

void Form1::Report_Click()
{
    DataReport1::showReport(this);
}

void Form1::About_Click()
{
    frmAbout::showWindow();
}

void Form1::setupSecondaryWindows()
{
    // "Copy to report" makes the listed rows the content of the report.
    auto* copy = new QAction(QStringLiteral("&Copy to report"), ListView1);
    copy->setObjectName(QStringLiteral("CopyToReport"));
    copy->setEnabled(false);
    ListView1->addAction(copy);
    ListView1->setContextMenuPolicy(Qt::ActionsContextMenu);

    // The model, not the window: it also speaks while the window is torn down.
    QAbstractItemModel* model = ListView1->model();
    auto follow = [model, copy] { copy->setEnabled(model->rowCount() > 0); };
    connect(model, &QAbstractItemModel::rowsInserted, copy, follow);
    connect(model, &QAbstractItemModel::rowsRemoved, copy, follow);
    connect(model, &QAbstractItemModel::modelReset, copy, follow);

    connect(copy, &QAction::triggered, this, [this] {
        // Columns: No., Filename, Path, Size, Date; each row carries its record's SrNO.
        std::vector<ReportRow> rows;
        rows.reserve(static_cast<std::size_t>(ListView1->topLevelItemCount()));
        for (int i = 0; i < ListView1->topLevelItemCount(); ++i) {
            const QTreeWidgetItem* item = ListView1->topLevelItem(i);
            rows.push_back({item->data(0, Qt::UserRole).toString(), item->text(1), item->text(2),
                item->text(4), item->text(3)});
        }
        bool copied = false;
        guarded(this, [&rows, &copied] {
            DataEnvironment1::replaceTemp(databasePath(), rows);
            copied = true;
        });
        if (DataReport1* report = DataReport1::current(); copied && report)
            report->reload();
    });
}

} // namespace qm
