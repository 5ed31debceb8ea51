// SPDX-License-Identifier: GPL-3.0-or-later
// The file lists' ways of reading and moving on: sorting, copying, tooltips,
// and a double click that opens a listed folder.
#include "main_window/Form1.h"

#include "catalog/tree/CatalogueTree.h"
#include "catalog/store/Queries.h"
#include "main_window/ReadableLists.h"
#include "main_window/ThumbnailTips.h"
#include "platform/DataControl.h"
#include "platform/TreeView.h"

#include <QTreeWidget>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

namespace qm {

void Form1::setupLists()
{
    makeReadable(ListView1);
    makeReadable(ListView2);
    showThumbnailTips(ListView1, [this] { return Adodc1->connection(); });
    // A double click, or Enter on the current row.
    connect(ListView1, &QTreeWidget::itemActivated, this,
        [this](QTreeWidgetItem* item) { ListView1_DblClick(item); });
}

void Form1::ListView1_DblClick(QTreeWidgetItem* item)
{
    Node* listed = TreeView1->SelectedItem();
    // Columns: No., Filename, Path, Size, Date; each row carries its record's SrNO.
    if (!item || !listed || !isFolderPath(item->text(2)))
        return;
    guarded(this, [&] {
        auto db = Adodc1->connection();
        if (!db)
            throw DbError("The catalogue database is not open.");
        SQLite::Statement st(*db, Queries::kRecordKey);
        st.bind(1, static_cast<std::int64_t>(item->data(0, Qt::UserRole).toLongLong()));
        if (!st.executeStep())
            return;
        const QString key = QString::fromStdString(st.getColumn(0).getString());
        TreeView1->Nodes().fetchChildren(listed);
        for (Node* child : listed->Children)
            if (child->Key == key) {
                TreeView1->Expand(listed);
                TreeView1->setSelectedItem(child);
                TreeView1->scrollTo(TreeView1->Nodes().indexOf(child));
                TreeView1_NodeClick(child);
                return;
            }
    });
}

} // namespace qm
