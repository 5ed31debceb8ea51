// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/tree/CatalogueTree.h"

#include "catalog/NodeKeys.h"
#include "catalog/store/Store.h"
#include "catalog/tree/TreeCheck.h"
#include "platform/Recordset.h"
#include "platform/TreeView.h"

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

#include <string>
#include <unordered_set>

namespace qm {

namespace {

QString textOf(const SQLite::Column& c)
{
    return QString::fromUtf8(c.getText(), c.getBytes());
}

// The children of a node straight from the store, without the records the
// catalogue's check found unplaceable.
class StoreTree : public ChildSource {
public:
    StoreTree(std::shared_ptr<SQLite::Database> db, const QString& catalogue, const TreeCheck& check, bool images)
        : db_(std::move(db))
        , catalogue_(catalogue)
        , unplaced_(check.unplacedRecords.begin(), check.unplacedRecords.end())
        , images_(images)
    {
    }

    void fetchChildren(NodeModel& nodes, Node* parent) override
    {
        // A node without a key holds no children: records with an empty
        // Parent stand beside the root.
        if (parent && parent->Key.isEmpty())
            return;
        const QString& catalogue = nodes.catalogueOf(parent);
        const QString parentKey = parent ? parent->Key : QString();
        std::vector<NodeSpec> children;
        eachChild(catalogue, parentKey, [&](SQLite::Statement& st) {
            NodeSpec child {textOf(st.getColumn(0)), textOf(st.getColumn(1)), 0, 0, st.getColumn(4).getInt() != 0};
            if (images_) {
                const SQLite::Column path = st.getColumn(2);
                const bool folder = parentKey == kRootKey
                    || isFolderPath(std::string_view(path.getText(), static_cast<size_t>(path.getBytes())));
                child.image = folder ? 1 : 2;
                child.selectedImage = folder ? 3 : 0;
            }
            children.push_back(std::move(child));
            return true;
        });
        nodes.appendChildren(parent, children, true);
    }

    bool hasChildren(const NodeModel& nodes, const Node* parent) override
    {
        if (parent && parent->Key.isEmpty())
            return false;
        bool any = false;
        eachChild(nodes.catalogueOf(parent), parent ? parent->Key : QString(), [&](SQLite::Statement&) {
            any = true;
            return false;
        });
        return any;
    }

    std::vector<QString> keysDownTo(const QString& catalogue, const QString& key, std::int64_t srNo) override
    {
        if (srNo > 0) {
            std::vector<QString> down = downByPath(catalogue, key, srNo);
            if (!down.empty())
                return down;
        }
        return upByKeys(catalogue, key);
    }

private:
    // A scan's records hold the full path: each folder's path begins the
    // paths below it, so the way down is read a level at a time through the
    // catalogue's index, the children of each folder on the way.
    std::vector<QString> downByPath(const QString& catalogue, const QString& key, std::int64_t srNo)
    {
        SQLite::Statement target(*db_, "SELECT path FROM main WHERE SrNO = ? AND dbaseName = ? AND ID = ?");
        target.bind(1, srNo);
        target.bind(2, catalogue.toStdString());
        target.bind(3, key.toStdString());
        if (!target.executeStep() || target.getColumn(0).isNull() || !placeable(catalogue, srNo))
            return {};
        const std::string path = target.getColumn(0).getString();
        SQLite::Statement children(*db_, "SELECT ID, path, SrNO FROM main WHERE dbaseName = ? AND Parent = ? "
                                         "AND ID IS NOT NULL AND file_name IS NOT NULL AND path IS NOT NULL "
                                         "ORDER BY SrNO");
        std::vector<QString> down;
        // Folders of the same path (one folder scanned twice) are tried in turn.
        auto search = [&](auto& self, const std::string& parentKey, int depth) -> bool {
            if (depth > 256)
                return false;
            std::vector<std::pair<std::string, bool>> next; // key, whether it is the target
            children.reset();
            children.bind(1, catalogue.toStdString());
            children.bind(2, parentKey);
            while (children.executeStep()) {
                const std::int64_t childSrNo = children.getColumn(2).getInt64();
                if (!placeable(catalogue, childSrNo))
                    continue;
                const std::string childPath = children.getColumn(1).getString();
                if (childSrNo == srNo)
                    next.emplace_back(children.getColumn(0).getString(), true);
                // An archive holds its members as a folder does: "a.zip/b".
                else if (!childPath.empty() && childPath.size() < path.size()
                    && path.compare(0, childPath.size(), childPath) == 0
                    && (isFolderPath(childPath) || path[childPath.size()] == '/'))
                    next.emplace_back(children.getColumn(0).getString(), false);
            }
            for (const auto& [childKey, isTarget] : next) {
                down.push_back(QString::fromStdString(childKey));
                if (isTarget || self(self, childKey, depth + 1))
                    return true;
                down.pop_back();
            }
            return false;
        };
        const std::string root = kRootKey.toStdString();
        if (search(search, root, 0) || search(search, std::string(), 0))
            return down;
        return {};
    }

    // Any record: from its key upwards, one record a level.
    std::vector<QString> upByKeys(const QString& catalogue, const QString& key)
    {
        std::vector<QString> up {key};
        SQLite::Statement st(*db_, "SELECT Parent, SrNO FROM main WHERE dbaseName = ? AND ID = ? AND Parent IS "
                                   "NOT NULL AND file_name IS NOT NULL AND path IS NOT NULL ORDER BY SrNO");
        const std::string name = catalogue.toStdString();
        QString at = key;
        // A chain of keys longer than the records could form is a loop.
        for (int depth = 0; depth < 100000; ++depth) {
            st.reset();
            st.bind(1, name);
            st.bind(2, at.toStdString());
            std::optional<QString> parent;
            while (st.executeStep())
                if (placeable(catalogue, st.getColumn(1).getInt64())) {
                    parent = textOf(st.getColumn(0));
                    break;
                }
            if (!parent)
                return {};
            if (*parent == kRootKey || parent->isEmpty())
                return {up.rbegin(), up.rend()};
            up.push_back(*parent);
            at = *parent;
        }
        return {};
    }

    bool placeable(const QString& catalogue, std::int64_t srNo) const
    {
        // Branches a scan added under another name hold only that scan's
        // records, all placed.
        return catalogue != catalogue_ || unplaced_.count(srNo) == 0;
    }

    // Calls `use` for each child record in SrNO order while it returns true.
    template <typename Use> void eachChild(const QString& catalogue, const QString& parentKey, Use use)
    {
        // The last column tells whether a child has records below it, so
        // that a file is not asked again whether it can be opened.
        SQLite::Statement st(*db_,
            "SELECT ID, file_name, path, SrNO, EXISTS (SELECT 1 FROM main c WHERE c.dbaseName = m.dbaseName AND "
            "c.Parent = m.ID) FROM main m WHERE dbaseName = ? AND Parent = ? AND ID IS NOT NULL AND file_name IS "
            "NOT NULL AND path IS NOT NULL ORDER BY SrNO");
        st.bind(1, catalogue.toStdString());
        st.bind(2, parentKey.toStdString());
        while (st.executeStep())
            if (placeable(catalogue, st.getColumn(3).getInt64()) && !use(st))
                return;
    }

    std::shared_ptr<SQLite::Database> db_;
    QString catalogue_;
    std::unordered_set<std::int64_t> unplaced_;
    bool images_;
};

} // namespace

std::int64_t fillCatalogueTree(
    std::shared_ptr<SQLite::Database> db, const QString& name, NodeModel& nodes, bool withImages)
{
    const TreeCheck check = checkCatalogueTree(*db, name);
    nodes.beginBatch();
    try {
        Node* root = nodes.Add({}, kRootKey, name, withImages ? 1 : 0, 0);
        nodes.setCatalogue(name);
        nodes.noteKey(check.highestKey, check.keysFit);
        auto source = std::make_unique<StoreTree>(std::move(db), name, check, withImages);
        StoreTree& store = *source;
        nodes.setSource(std::move(source));
        root->unfetched = true;
        nodes.fetchChildren(root);
        // Records with an empty Parent stand beside the root.
        store.fetchChildren(nodes, nullptr);
    } catch (const std::exception& e) {
        nodes.endBatch();
        throw DbError(e.what());
    }
    nodes.endBatch();
    return check.unplaced;
}

std::int64_t fillCatalogueTree(SQLite::Database& db, const QString& name, NodeModel& nodes, bool withImages)
{
    return fillCatalogueTree(std::shared_ptr<SQLite::Database>(std::shared_ptr<void>(), &db), name, nodes, withImages);
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
        .arg(QString::number(count), name);
}

} // namespace qm
