// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Reading one catalogue's records into a tree, shared by the main window and
// the tree editor.
#include <QString>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

namespace SQLite {
class Database;
}

namespace qm {

class NodeModel;

// A folder's path ends with the separator of the system that wrote it: "/"
// for a path that starts with "/", "\" for drive-letter and UNC paths. So
// catalogues written on either kind of system read alike.
bool isFolderPath(const QString& path);
bool isFolderPath(std::string_view utf8Path);

// The tree of one catalogue as the user sees it: the root "0>" captioned
// `name` and below it, in SrNO order, one node per record under the node its
// Parent names, records that cannot be placed passed over. Only the root's
// level is read now; every other node's children come from the store when it
// is opened or reached (NodeModel::fetchChildren, NodeModel::reveal), and are
// the ones the whole tree would hold. With images, top-level records and
// folders get images 1 and 3, files image 2. Returns how many records cannot
// be placed. Throws DbError.
std::int64_t fillCatalogueTree(
    std::shared_ptr<SQLite::Database> db, const QString& name, NodeModel& nodes, bool withImages);
// The same over a connection the caller keeps open as long as the tree.
std::int64_t fillCatalogueTree(SQLite::Database& db, const QString& name, NodeModel& nodes, bool withImages);

// The name a tree window saves: what its name box holds, or while the box
// still shows its prompt, the text of the tree's root. None for a tree
// without a root: it names no catalogue.
std::optional<QString> nameToSave(const QString& boxText, const QString& prompt, const NodeModel& nodes);

// The one message about a dbase.name a tree window could not read;
// `problem` is what NameFile::read told.
QString unreadableNameMessage(const QString& problem);

// The one message about records a tree could not place.
QString unplacedRecordsMessage(std::int64_t count, const QString& name);

} // namespace qm
