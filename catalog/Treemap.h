// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where a scan's space went, from the catalogue alone (the disk may be on a
// shelf): the scan's tree with each folder's size worked out from the files
// below it, the squarified layout of that tree, and its biggest entries.
#include <QRectF>
#include <QString>

#include <cstdint>
#include <span>
#include <vector>

namespace SQLite {
class Database;
}

namespace qm {

struct TreemapTree {
    struct Entry {
        QString name; // the record's file_name
        std::int64_t bytes = 0; // a file's size; a folder's: the sum of the files below it
        int parent = -1; // index of the folder holding it; -1 for the top-level folder
        bool folder = false;
        std::vector<int> children; // largest first
    };
    std::vector<Entry> entries; // entries[0] is the top-level folder when there is one
    QString topPath; // the top-level folder's path

    bool empty() const { return entries.empty(); }
    // The path of entry `i`, built from its folders' names.
    QString pathOf(int i) const;
    // Sorts every folder's children largest first and works out the folders'
    // sizes; called once the entries and their parents are in.
    void finish();

private:
    void sortChildren();
};

// The records of scan `topKey` of `catalogue` (those whose delKey is
// `topKey`) as a tree. Records whose folder is not among them hang below the
// top-level folder. Empty when the scan has no records. Throws
// SQLite::Exception.
TreemapTree readScanTree(SQLite::Database& db, const QString& catalogue, const QString& topKey);

// Squarified layout (Bruls, Huizing, van Wijk): rectangles for `sizes`, in
// their order, tiling `bounds` with areas in proportion to the sizes and
// sides as near square as the order allows; best when the sizes come
// largest first. A size of 0 or less gets an empty rectangle. Pure: a test
// checks the areas and that no two overlap.
std::vector<QRectF> squarify(std::span<const double> sizes, const QRectF& bounds);

struct TreemapTile {
    int entry;
    QRectF rect;
    int depth; // 0 for the children of the folder laid out
};

// The nested layout of the folder `root`'s contents in `bounds`: each entry
// a tile, each folder's children laid out inside its tile inset by `inset`
// on every side, down to folders too small for `minSide` on a side or for
// `minSide` squared for each of their entries (their contents are not laid
// out); with a `minSide` above 0, entries under a pixel get no tile. With 0,
// every entry of some size has its tile. Parents come before their children.
std::vector<TreemapTile> layoutTreemap(
    const TreemapTree& tree, int root, const QRectF& bounds, double inset = 1.0, double minSide = 2.0);

// The `count` largest entries below the top-level folder, files and
// folders, largest first (ties in tree order).
std::vector<int> biggestEntries(const TreemapTree& tree, int count);

} // namespace qm
