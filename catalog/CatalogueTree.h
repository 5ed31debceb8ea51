#pragma once
// Reading one catalogue's records into a tree, shared by the main window and
// the tree editor.
#include <QString>
#include <cstdint>
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

// Adds the root "0>" captioned `name` and one node per record of that
// catalogue, in SrNO order, each under the node its Parent names. With images,
// top-level records and folders get images 1 and 3, files image 2. Records
// that cannot be placed (parent missing or stored later, key taken, a field
// without a value) are passed over; returns how many. Throws DbError.
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
