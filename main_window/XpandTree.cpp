#include "main_window/XpandTree.h"

#include "catalog/NameFile.h"
#include "catalog/NodeKeys.h"
#include "catalog/Queries.h"
#include "main_window/Form1.h"
#include "platform/Clipboard.h"
#include "platform/DataControl.h"
#include "platform/MessageBox.h"
#include "platform/TreeView.h"

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

namespace qm::XpandTree {
namespace {
bool isFolderPath(const QString& path)
{
    // Catalogues written on either kind of system read alike.
    return path.endsWith(u'\\') || path.endsWith(u'/');
}
} // namespace

void LoadTree(Form1& form)
{
    clipboard().Clear();
    const QString name = NameFile::read();
    form.setShownDatabaseName(name);

    TreeView& tree = *form.TreeView1;
    NodeModel& nodes = tree.Nodes();
    auto db = form.Adodc1->connection();
    if (!db)
        throw DbError("The catalogue database is not open.");

    std::int64_t unplaced = 0;
    nodes.beginBatch();
    try {
        tree.Expand(nodes.Add({}, kRootKey, name, 1, 0));
        SQLite::Statement st(*db, Queries::kTreeRecords);
        st.bind(1, name.toStdString());
        while (st.executeStep()) {
            bool missingValue = false;
            QString field[5];
            for (int i = 0; i < 5; ++i) {
                const SQLite::Column c = st.getColumn(i);
                if (c.isNull())
                    missingValue = true;
                else
                    field[i] = QString::fromUtf8(c.getText(), c.getBytes());
            }
            if (missingValue) {
                ++unplaced;
                continue;
            }
            const QString& id = field[0];
            const QString& parent = field[1];
            const QString& fileName = field[3];
            try {
                if (parent == kRootKey || isFolderPath(field[4]))
                    nodes.Add(parent, id, fileName, 1, 3);
                else
                    nodes.Add(parent, id, fileName, 2, 0);
            } catch (const TreeError&) {
                ++unplaced;
            }
        }
    } catch (const std::exception& e) {
        nodes.endBatch();
        throw DbError(e.what());
    }
    nodes.endBatch();

    if (unplaced > 0)
        MsgBox(QStringLiteral("%1 record(s) of the catalogue \"%2\" could not be placed in the tree "
                              "(a parent missing or stored after them, a key used twice, or an "
                              "empty field) and are not shown.")
                   .arg(unplaced)
                   .arg(name),
               &form);
}

} // namespace qm::XpandTree
