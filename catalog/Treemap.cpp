// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/Treemap.h"

#include "catalog/Catalogues.h"
#include "catalog/store/Queries.h"

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

#include <algorithm>
#include <numeric>
#include <string>
#include <unordered_map>

namespace qm {

QString TreemapTree::pathOf(int i) const
{
    std::vector<int> chain;
    for (int at = i; at > 0; at = entries[static_cast<size_t>(at)].parent)
        chain.push_back(at);
    QString path = topPath;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        const Entry& e = entries[static_cast<size_t>(*it)];
        if (!path.isEmpty() && !path.endsWith(u'/'))
            path += u'/';
        path += e.name;
        if (e.folder)
            path += u'/';
    }
    return path;
}

void TreemapTree::finish()
{
    // Children are stored after their parents only in a scan's own order;
    // sizes are summed deepest first whatever the order.
    std::vector<int> depth(entries.size(), 0);
    std::vector<int> order(entries.size());
    std::iota(order.begin(), order.end(), 0);
    for (size_t i = 1; i < entries.size(); ++i) {
        int d = 0;
        for (int at = entries[i].parent; at > 0 && d <= static_cast<int>(entries.size()); at = entries[static_cast<size_t>(at)].parent)
            ++d;
        depth[i] = d + 1;
    }
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return depth[static_cast<size_t>(a)] > depth[static_cast<size_t>(b)]; });
    for (Entry& e : entries)
        if (e.folder)
            e.bytes = 0;
    for (const int i : order) {
        const Entry& e = entries[static_cast<size_t>(i)];
        if (e.parent >= 0)
            entries[static_cast<size_t>(e.parent)].bytes += e.bytes;
    }
    for (Entry& e : entries)
        std::stable_sort(e.children.begin(), e.children.end(), [&](int a, int b) {
            return entries[static_cast<size_t>(a)].bytes > entries[static_cast<size_t>(b)].bytes;
        });
}

TreemapTree readScanTree(SQLite::Database& db, const QString& catalogue, const QString& topKey)
{
    TreemapTree tree;
    const std::string name = catalogue.toStdString();
    SQLite::Statement st(db, "SELECT ID, Parent, file_name, path, bytes FROM main "
            + Queries::catalogueReadOrder(catalogueHoldsMost(db, name)) + " WHERE dbaseName = ? AND delKey = ? ORDER BY SrNO");
    st.bind(1, name);
    st.bind(2, topKey.toStdString());
    std::unordered_map<std::string, int> byKey;
    std::vector<std::string> parents(1);
    // The top-level folder first, whatever its serial number.
    tree.entries.emplace_back();
    tree.entries[0].folder = true;
    bool topSeen = false;
    const std::string top = topKey.toStdString();
    while (st.executeStep()) {
        const SQLite::Column keyColumn = st.getColumn(0);
        std::string key(keyColumn.getText(), static_cast<size_t>(keyColumn.getBytes()));
        const SQLite::Column pathColumn = st.getColumn(3);
        const char* path = pathColumn.getText();
        const int pathBytes = pathColumn.getBytes();
        const bool folder = pathBytes > 0 && (path[pathBytes - 1] == '/' || path[pathBytes - 1] == '\\');
        if (key == top && !topSeen) {
            topSeen = true;
            tree.entries[0].name = QString::fromUtf8(st.getColumn(2).getText());
            tree.topPath = QString::fromUtf8(path, pathBytes);
            byKey.emplace(std::move(key), 0);
            continue;
        }
        TreemapTree::Entry e;
        const SQLite::Column nameColumn = st.getColumn(2);
        e.name = QString::fromUtf8(nameColumn.getText(), nameColumn.getBytes());
        e.folder = folder;
        e.bytes = st.getColumn(4).isNull() ? 0 : std::max<std::int64_t>(st.getColumn(4).getInt64(), 0);
        const int index = static_cast<int>(tree.entries.size());
        tree.entries.push_back(std::move(e));
        const SQLite::Column parentColumn = st.getColumn(1);
        parents.emplace_back(parentColumn.getText(), static_cast<size_t>(parentColumn.getBytes()));
        byKey.emplace(std::move(key), index);
    }
    if (!topSeen && tree.entries.size() == 1)
        return {};
    for (size_t i = 1; i < tree.entries.size(); ++i) {
        const auto it = byKey.find(parents[i]);
        // A parent outside the scan, a file as a parent, or the entry itself:
        // the entry hangs below the top-level folder.
        int parent = 0;
        if (it != byKey.end() && it->second != static_cast<int>(i) && tree.entries[static_cast<size_t>(it->second)].folder)
            parent = it->second;
        tree.entries[i].parent = parent;
    }
    // A cycle of folders (a hand-edited store) would never reach the top:
    // such entries hang below it too.
    for (size_t i = 1; i < tree.entries.size(); ++i) {
        size_t steps = 0;
        int at = tree.entries[i].parent;
        while (at > 0 && steps++ <= tree.entries.size())
            at = tree.entries[static_cast<size_t>(at)].parent;
        if (at != 0)
            tree.entries[i].parent = 0;
    }
    for (size_t i = 1; i < tree.entries.size(); ++i)
        tree.entries[static_cast<size_t>(tree.entries[i].parent)].children.push_back(static_cast<int>(i));
    tree.finish();
    return tree;
}

namespace {

// The worst aspect ratio of a row of areas summing to `sum` laid along a
// side of length `side`.
double worst(double sum, double largest, double smallest, double side)
{
    const double s2 = sum * sum;
    const double w2 = side * side;
    return std::max(w2 * largest / s2, s2 / (w2 * smallest));
}

} // namespace

std::vector<QRectF> squarify(std::span<const double> sizes, const QRectF& bounds)
{
    std::vector<QRectF> out(sizes.size());
    double total = 0;
    for (const double s : sizes)
        if (s > 0)
            total += s;
    if (total <= 0 || bounds.width() <= 0 || bounds.height() <= 0)
        return out;
    const double scale = bounds.width() * bounds.height() / total;
    std::vector<size_t> items;
    for (size_t i = 0; i < sizes.size(); ++i)
        if (sizes[i] > 0)
            items.push_back(i);
    double x = bounds.left(), y = bounds.top(), w = bounds.width(), h = bounds.height();
    size_t at = 0;
    while (at < items.size()) {
        const double side = std::min(w, h);
        double sum = sizes[items[at]] * scale;
        double largest = sum, smallest = sum;
        size_t end = at + 1;
        while (end < items.size()) {
            const double a = sizes[items[end]] * scale;
            if (worst(sum + a, std::max(largest, a), std::min(smallest, a), side) > worst(sum, largest, smallest, side))
                break;
            sum += a;
            largest = std::max(largest, a);
            smallest = std::min(smallest, a);
            ++end;
        }
        const bool last = end == items.size();
        if (w >= h) {
            // A column on the left, as wide as the row's area needs.
            const double width = last ? w : sum / h;
            double top = y;
            for (size_t k = at; k < end; ++k) {
                const double height = k + 1 == end ? y + h - top : sizes[items[k]] * scale / width;
                out[items[k]] = QRectF(x, top, width, height);
                top += height;
            }
            x += width;
            w -= width;
        } else {
            const double height = last ? h : sum / w;
            double left = x;
            for (size_t k = at; k < end; ++k) {
                const double width = k + 1 == end ? x + w - left : sizes[items[k]] * scale / height;
                out[items[k]] = QRectF(left, y, width, height);
                left += width;
            }
            y += height;
            h -= height;
        }
        at = end;
    }
    return out;
}

std::vector<TreemapTile> layoutTreemap(
    const TreemapTree& tree, int root, const QRectF& bounds, double inset, double minSide)
{
    std::vector<TreemapTile> tiles;
    if (root < 0 || static_cast<size_t>(root) >= tree.entries.size())
        return tiles;
    struct Pending {
        int folder;
        QRectF rect;
        int depth;
    };
    std::vector<Pending> pending {{root, bounds, 0}};
    std::vector<double> sizes;
    while (!pending.empty()) {
        const Pending p = pending.back();
        pending.pop_back();
        const auto& children = tree.entries[static_cast<size_t>(p.folder)].children;
        sizes.clear();
        for (const int c : children)
            sizes.push_back(static_cast<double>(tree.entries[static_cast<size_t>(c)].bytes));
        const std::vector<QRectF> rects = squarify(sizes, p.rect);
        for (size_t k = 0; k < children.size(); ++k) {
            const QRectF& r = rects[k];
            if (r.isEmpty())
                continue;
            const int child = children[k];
            // Below a pixel an entry cannot be told from its folder, which
            // is drawn under it.
            if (minSide > 0 && r.width() * r.height() < 1.0)
                continue;
            tiles.push_back({child, r, p.depth});
            const TreemapTree::Entry& e = tree.entries[static_cast<size_t>(child)];
            const QRectF inner = r.adjusted(inset, inset, -inset, -inset);
            const bool roomy = inner.width() >= minSide && inner.height() >= minSide
                && inner.width() * inner.height() >= minSide * minSide * static_cast<double>(e.children.size());
            if (e.folder && !e.children.empty() && roomy)
                pending.push_back({child, inner, p.depth + 1});
        }
    }
    return tiles;
}

std::vector<int> biggestEntries(const TreemapTree& tree, int count)
{
    std::vector<int> all(tree.entries.size() > 0 ? tree.entries.size() - 1 : 0);
    std::iota(all.begin(), all.end(), 1);
    const size_t n = std::min(all.size(), static_cast<size_t>(std::max(count, 0)));
    std::partial_sort(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(n), all.end(), [&](int a, int b) {
        const auto sa = tree.entries[static_cast<size_t>(a)].bytes, sb = tree.entries[static_cast<size_t>(b)].bytes;
        return sa != sb ? sa > sb : a < b;
    });
    all.resize(n);
    return all;
}

} // namespace qm
