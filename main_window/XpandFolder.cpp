// SPDX-License-Identifier: GPL-3.0-or-later
#include "main_window/XpandFolder.h"

#include "catalog/NodeKeys.h"
#include "platform/Numbers.h"
#include "catalog/store/Queries.h"
#include "catalog/Scans.h"
#include "main_window/Form1.h"
#include "main_window/ReadableLists.h"
#include "platform/Clipboard.h"
#include "platform/DataControl.h"
#include "platform/TreeView.h"

#include <QSet>
#include <QTreeWidget>

#include <algorithm>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

namespace qm::XpandFolder {
namespace {
QString columnText(const SQLite::Statement& st, int i)
{
    const SQLite::Column c = st.getColumn(i);
    return QString::fromUtf8(c.getText(), c.getBytes());
}

// A column whose rows mostly repeat the row before (the folder's path, a
// day's date) converts once and shares the text.
class SharedText {
public:
    QString operator()(const SQLite::Statement& st, int i)
    {
        const SQLite::Column c = st.getColumn(i);
        const std::string_view bytes(static_cast<const char*>(c.getBlob()), static_cast<std::size_t>(c.getBytes()));
        if (!valid_ || bytes != last_) {
            last_.assign(bytes);
            text_ = QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
            valid_ = true;
        }
        return text_;
    }

private:
    bool valid_ = false;
    std::string last_;
    QString text_;
};
// A folder's children in SrNO order, read in the cheaper of two ways: their
// span of the table when they fill a third of it or more, one lookup each
// otherwise.
// Either way one statement reads them, so the listing is of one state of the
// store even while another writer works.
std::unique_ptr<SQLite::Statement> childRecords(
    SQLite::Database& db, const std::string& catalogue, const std::string& key)
{
    SQLite::Statement span(db, Queries::kChildSpan);
    span.bind(1, catalogue);
    span.bind(2, key);
    // Reading a row in passing costs about a third of looking one up.
    const bool close = span.executeStep() && !span.getColumn(0).isNull()
        && span.getColumn(1).getInt64() - span.getColumn(0).getInt64() < 3 * span.getColumn(2).getInt64();
    auto st = std::make_unique<SQLite::Statement>(
        db, close ? Queries::kChildRecordsInSpan : Queries::kChildRecords);
    st->bind(1, catalogue);
    st->bind(2, key);
    return st;
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
    // A node lists the records of the catalogue it stands for, which is not
    // the tree's own for a folder a scan added under another name.
    const NodeModel& nodes = form.TreeView1->Nodes();
    const Node* node = nodes.find(key);
    const std::string catalogue = nodes.catalogueOf(node).toStdString();

    // A node's own record hangs where the node hangs; the root has none.
    SQLite::Statement own(*db, Queries::kOwnRecord);
    own.bind(1, catalogue);
    own.bind(2, node && node->Parent ? node->Parent->Key.toStdString() : std::string());
    own.bind(3, key.toStdString());
    if (node && node->Parent && own.executeStep()) {
        auto* item = new ListRow(
            QStringList {columnText(own, 0), columnText(own, 1), columnText(own, 2), columnText(own, 3)}, 2);
        // A top-level folder tells the disk it was scanned from.
        if (node->Parent->Key == kRootKey)
            if (const auto scan = scanInfo(*db, nodes.catalogueOf(node), key))
                item->setToolTip(0, describeScan(*scan));
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
    SharedText path;
    SharedText date;
    auto addRow = [&](const SQLite::Statement& child) {
        if (!counting) {
            n = X();
            counting = true;
        } else {
            ++n;
        }
        rows << new ListRow(QStringList {numberText(n), columnText(child, 0), path(child, 1), columnText(child, 2),
                                date(child, 3)},
            3, 0, static_cast<double>(n), child.getColumn(4).getInt64());
    };
    try {
        const std::unique_ptr<SQLite::Statement> ownChildren = childRecords(*db, catalogue, key.toStdString());
        SQLite::Statement& children = *ownChildren;
        // Below the root stand, besides the tree's own top-level folders,
        // those scanned under other catalogues' names: their records join the
        // list in SrNO order.
        std::vector<std::unique_ptr<SQLite::Statement>> others;
        if (node && !node->Parent) {
            QSet<QString> names;
            for (const QString& other : nodes.otherBranches())
                names.insert(other);
            for (const QString& other : names) {
                others.push_back(childRecords(*db, other.toStdString(), key.toStdString()));
            }
        }
        auto shownHere = [&](const SQLite::Statement& st) {
            const Node* child = nodes.find(QString::fromStdString(st.getColumn(5).getString()));
            return child && child->Parent == node
                && nodes.catalogueOf(child).toStdString() == st.getColumn(6).getString();
        };
        auto advance = [&](SQLite::Statement& st) {
            while (st.executeStep())
                if (shownHere(st))
                    return true;
            return false;
        };
        std::vector<SQLite::Statement*> open;
        if (children.executeStep())
            open.push_back(&children);
        for (auto& st : others)
            if (advance(*st))
                open.push_back(st.get());
        while (!open.empty()) {
            auto next = std::min_element(open.begin(), open.end(), [](auto* a, auto* b) {
                return a->getColumn(4).getInt64() < b->getColumn(4).getInt64();
            });
            SQLite::Statement* st = *next;
            addRow(*st);
            if (!(st == &children ? st->executeStep() : advance(*st)))
                open.erase(next);
        }
    } catch (...) {
        publish();
        throw;
    }
    publish();
}

} // namespace qm::XpandFolder
