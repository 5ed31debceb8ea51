#include "main_window/XpandFolder.h"

#include "catalog/NodeKeys.h"
#include "catalog/Numbers.h"
#include "catalog/Queries.h"
#include "main_window/Form1.h"
#include "platform/Clipboard.h"
#include "platform/DataControl.h"
#include "platform/TreeView.h"

#include <QTreeWidget>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

namespace qm::XpandFolder {
namespace {
QString columnText(const SQLite::Statement& st, int i)
{
    const SQLite::Column c = st.getColumn(i);
    return QString::fromUtf8(c.getText(), c.getBytes());
}
} // namespace

std::int64_t X()
{
    return rowCounterNext(clipboard());
}

void FillFileList(Form1& form, const QString& key)
{
    auto db = form.Adodc1->connection();
    if (!db)
        throw DbError("The catalogue database is not open.");
    const std::string name = form.shownDatabaseName().toStdString();

    // A node's own record hangs where the node hangs; the root has none.
    const Node* node = form.TreeView1->Nodes().find(key);
    SQLite::Statement own(*db, Queries::kOwnRecord);
    own.bind(1, name);
    own.bind(2, node && node->Parent ? node->Parent->Key.toStdString() : std::string());
    own.bind(3, key.toStdString());
    if (node && node->Parent && own.executeStep()) {
        auto* item = new QTreeWidgetItem(
            QStringList {columnText(own, 0), columnText(own, 1), columnText(own, 2), columnText(own, 3)});
        item->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
        form.ListView2->addTopLevelItem(item);
    }

    // The counter lives on the clipboard between clicks; during the fill it is
    // counted here and the clipboard is given each row's number in the end.
    QList<QTreeWidgetItem*> rows;
    std::int64_t n = 0;
    bool counting = false;
    auto publish = [&] {
        if (counting)
            clipboard().SetText(numberText(n));
        if (!rows.isEmpty())
            form.ListView1->addTopLevelItems(rows);
    };
    try {
        SQLite::Statement children(*db, Queries::kChildRecords);
        children.bind(1, name);
        children.bind(2, key.toStdString());
        while (children.executeStep()) {
            if (!counting) {
                n = X();
                counting = true;
            } else {
                ++n;
            }
            auto* item = new QTreeWidgetItem(QStringList {numberText(n), columnText(children, 0),
                columnText(children, 1), columnText(children, 2), columnText(children, 3)});
            item->setTextAlignment(3, Qt::AlignRight | Qt::AlignVCenter);
            // The record's serial number, for actions on the listed rows.
            item->setData(0, Qt::UserRole, QVariant::fromValue<qlonglong>(children.getColumn(4).getInt64()));
            rows << item;
        }
    } catch (...) {
        publish();
        throw;
    }
    publish();
}

} // namespace qm::XpandFolder
