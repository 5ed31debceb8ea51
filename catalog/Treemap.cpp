// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/Treemap.h"


#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Exception.h>
#include <SQLiteCpp/Statement.h>

#include <sqlite3.h>

#include <algorithm>
#include <limits>
#include <memory>
#include <numeric>
#include <string>
#include <string_view>
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
    // In a scan's own order every folder comes before what it holds: the
    // sizes add up in one pass from the last entry back.
    bool parentsFirst = true;
    for (size_t i = 1; i < entries.size() && parentsFirst; ++i)
        parentsFirst = entries[i].parent < static_cast<int>(i);
    if (parentsFirst) {
        for (Entry& e : entries)
            if (e.folder)
                e.bytes = 0;
        for (size_t i = entries.size(); i-- > 1;)
            if (entries[i].parent >= 0)
                entries[static_cast<size_t>(entries[i].parent)].bytes += entries[i].bytes;
        sortChildren();
        return;
    }
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
    sortChildren();
}

void TreemapTree::sortChildren()
{
    for (Entry& e : entries)
        std::stable_sort(e.children.begin(), e.children.end(), [&](int a, int b) {
            return entries[static_cast<size_t>(a)].bytes > entries[static_cast<size_t>(b)].bytes;
        });
}

namespace {

constexpr std::uint32_t kOddKey = std::numeric_limits<std::uint32_t>::max();

// The number of a key as the scans write it ("123>"), or kOddKey.
std::uint32_t keyNumber(const char* key, int bytes)
{
    if (bytes < 2 || bytes > 10 || key[bytes - 1] != '>' || (key[0] == '0' && bytes > 2))
        return kOddKey;
    std::uint64_t n = 0;
    for (int i = 0; i + 1 < bytes; ++i) {
        if (key[i] < '0' || key[i] > '9')
            return kOddKey;
        n = n * 10 + static_cast<std::uint64_t>(key[i] - '0');
    }
    return n < kOddKey ? static_cast<std::uint32_t>(n) : kOddKey;
}

std::string_view textOf(sqlite3_stmt* st, int column)
{
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(st, column));
    return text ? std::string_view(text, static_cast<size_t>(sqlite3_column_bytes(st, column))) : std::string_view();
}

// Keys as the scans write them are numbers, looked up as such; any other
// (a hand-edited store) by its text.
class KeyIndex {
public:
    explicit KeyIndex(size_t expected) { byNumber_.reserve(expected); }
    void add(std::string_view key, int entry)
    {
        const std::uint32_t n = keyNumber(key.data(), static_cast<int>(key.size()));
        if (n != kOddKey)
            byNumber_.try_emplace(n, entry);
        else
            byText_.try_emplace(std::string(key), entry);
    }
    // The entry of the key of number `n`, or -1.
    int find(std::uint32_t n) const
    {
        const auto it = byNumber_.find(n);
        return it == byNumber_.end() ? -1 : it->second;
    }
    // The entry of a key that is no number, or -1.
    int find(const std::string& odd) const
    {
        const auto it = byText_.find(odd);
        return it == byText_.end() ? -1 : it->second;
    }

private:
    std::unordered_map<std::uint32_t, int> byNumber_;
    std::unordered_map<std::string, int> byText_;
};

} // namespace

TreemapTree readScanTree(SQLite::Database& db, const QString& catalogue, const QString& topKey)
{
    TreemapTree tree;
    const std::string name = catalogue.toStdString();
    const std::string top = topKey.toStdString();
    // Serial numbers only grow: no record of the scan lies before its
    // top-level folder's. From there one ordered pass over the table reads
    // the scan, with no index to follow and nothing to sort.
    std::int64_t from = 0;
    {
        SQLite::Statement first(db, "SELECT min(SrNO) FROM main WHERE dbaseName = ? AND Parent = '0>' AND ID = ?");
        first.bind(1, name);
        first.bind(2, top);
        if (first.executeStep() && !first.getColumn(0).isNull())
            from = first.getColumn(0).getInt64();
    }
    // Read through SQLite itself: the texts are looked at in place, never copied.
    sqlite3_stmt* prepared = nullptr;
    if (const int rc = sqlite3_prepare_v2(db.getHandle(),
            "SELECT ID, Parent, file_name, path, bytes FROM main NOT INDEXED "
            "WHERE SrNO >= ? AND dbaseName = ? AND delKey = ? ORDER BY SrNO",
            -1, &prepared, nullptr);
        rc != SQLITE_OK)
        throw SQLite::Exception(db.getHandle(), rc);
    const std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> statement(prepared, sqlite3_finalize);
    sqlite3_stmt* row = prepared;
    sqlite3_bind_int64(row, 1, from);
    sqlite3_bind_text(row, 2, name.data(), static_cast<int>(name.size()), SQLITE_STATIC);
    sqlite3_bind_text(row, 3, top.data(), static_cast<int>(top.size()), SQLITE_STATIC);
    // Room for the records from there on (up to a bound): the entries are
    // not moved as they come.
    const std::int64_t last = db.execAndGet("SELECT coalesce(max(SrNO), 0) FROM main").getInt64();
    const auto room = static_cast<size_t>(std::clamp<std::int64_t>(last - from + 1, 1, 1 << 21));
    tree.entries.reserve(room);
    KeyIndex byKey(room);
    // Each entry's parent key: its number, or kOddKey with the text kept aside.
    std::vector<std::uint32_t> parents(1, kOddKey);
    std::unordered_map<int, std::string> oddParents;
    // The top-level folder first, whatever its serial number.
    tree.entries.emplace_back();
    tree.entries[0].folder = true;
    bool topSeen = false;
    int rc;
    while ((rc = sqlite3_step(row)) == SQLITE_ROW) {
        const std::string_view key = textOf(row, 0);
        const std::string_view path = textOf(row, 3);
        const bool folder = !path.empty() && (path.back() == '/' || path.back() == '\\');
        if (!topSeen && key == top) {
            topSeen = true;
            const std::string_view topName = textOf(row, 2);
            tree.entries[0].name = QString::fromUtf8(topName.data(), static_cast<qsizetype>(topName.size()));
            tree.topPath = QString::fromUtf8(path.data(), static_cast<qsizetype>(path.size()));
            byKey.add(key, 0);
            continue;
        }
        const int index = static_cast<int>(tree.entries.size());
        TreemapTree::Entry& e = tree.entries.emplace_back();
        const std::string_view entryName = textOf(row, 2);
        e.name = QString::fromUtf8(entryName.data(), static_cast<qsizetype>(entryName.size()));
        e.folder = folder;
        e.bytes = sqlite3_column_type(row, 4) == SQLITE_NULL ? 0 : std::max<std::int64_t>(sqlite3_column_int64(row, 4), 0);
        const std::string_view parent = textOf(row, 1);
        const std::uint32_t parentNumber = keyNumber(parent.data(), static_cast<int>(parent.size()));
        parents.push_back(parentNumber);
        if (parentNumber == kOddKey)
            oddParents.emplace(index, parent);
        byKey.add(key, index);
    }
    if (rc != SQLITE_DONE)
        throw SQLite::Exception(db.getHandle(), rc);
    if (!topSeen && tree.entries.size() == 1)
        return {};
    for (size_t i = 1; i < tree.entries.size(); ++i) {
        const int found
            = parents[i] != kOddKey ? byKey.find(parents[i]) : byKey.find(oddParents[static_cast<int>(i)]);
        // A parent outside the scan, a file as a parent, or the entry itself:
        // the entry hangs below the top-level folder.
        int parent = 0;
        if (found >= 0 && found != static_cast<int>(i) && tree.entries[static_cast<size_t>(found)].folder)
            parent = found;
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
