// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The file list's tooltip of a picture: the thumbnail the catalogue keeps of
// its record, from the store alone, so it shows with the disk unplugged.
#include <functional>
#include <memory>

class QTreeWidget;

namespace SQLite {
class Database;
}

namespace qm {

// From now on, a row of `list` whose record (its SrNO under Qt::UserRole in
// column 0) has a thumbnail shows it, with the row's name, as its tooltip;
// other rows keep the tooltips they had. `connection` gives the store's
// connection of the list's window, or null when none is open.
void showThumbnailTips(QTreeWidget* list, std::function<std::shared_ptr<SQLite::Database>()> connection);

} // namespace qm
