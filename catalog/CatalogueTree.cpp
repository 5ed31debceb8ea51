#include "catalog/CatalogueTree.h"

#include "catalog/NodeKeys.h"
#include "catalog/Queries.h"
#include "platform/TreeView.h"

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

namespace qm {

namespace {
// Here a file may be named "tail\", so a path written here (it starts with
// "/") is a folder only by its closing "/".
bool folderBy(char16_t first, char16_t last)
{
    return first == u'/' ? last == u'/' : last == u'\\';
}
} // namespace

bool isFolderPath(const QString& path)
{
    return !path.isEmpty() && folderBy(path.front().unicode(), path.back().unicode());
}

bool isFolderPath(std::string_view utf8Path)
{
    return !utf8Path.empty() && folderBy(static_cast<unsigned char>(utf8Path.front()),
                                    static_cast<unsigned char>(utf8Path.back()));
}

std::int64_t fillCatalogueTree(SQLite::Database& db, const QString& name, NodeModel& nodes, bool withImages)
{
    std::int64_t unplaced = 0;
    nodes.beginBatch();
    try {
        nodes.Add({}, kRootKey, name, withImages ? 1 : 0, 0);
        nodes.setCatalogue(name);
        SQLite::Statement st(db, Queries::kTreeRecords);
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
            const bool folder = parent == kRootKey || isFolderPath(field[4]);
            try {
                if (!withImages)
                    nodes.Add(parent, id, fileName);
                else if (folder)
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
    return unplaced;
}

std::optional<QString> nameToSave(const QString& boxText, const QString& prompt, const NodeModel& nodes)
{
    if (boxText != prompt)
        return boxText;
    if (const Node* root = nodes.Item(1))
        return root->Text;
    return std::nullopt;
}

QString unreadableNameMessage(const QString& problem)
{
    return problem + QStringLiteral("\nThe tree shows the catalogue with the empty name.");
}

QString unplacedRecordsMessage(std::int64_t count, const QString& name)
{
    return QStringLiteral("%1 record(s) of the catalogue \"%2\" could not be placed in the tree (a parent "
                          "missing or stored after them, a key used twice, or an empty field) and are "
                          "not shown.")
        .arg(count)
        .arg(name);
}

} // namespace qm
