// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/tree/TreeCheck.h"

#include "catalog/Catalogues.h"
#include "catalog/NodeKeys.h"
#include "catalog/store/Queries.h"
#include "catalog/store/Store.h"
#include "platform/Recordset.h"
#include "platform/NodeKey.h"

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <string>
#include <unordered_set>

namespace qm {

namespace {

// The state of main a kept check belongs to: serial numbers only grow, and
// every change or deletion of a record leaves a row in the change log.
constexpr const char* kMainStamp
    = "SELECT coalesce((SELECT seq FROM sqlite_sequence WHERE name = 'main'), 0) || ':' || "
      "coalesce((SELECT seq FROM change_log WHERE SrNO IS NOT NULL ORDER BY seq DESC LIMIT 1), 0)";
// The table in its own order: through the catalogue's index the records would
// have to be sorted by SrNO, which costs several times the reading.
constexpr const char* kCheckRecords
    = "SELECT ID, Parent, file_name, path, SrNO FROM main NOT INDEXED WHERE dbaseName = ? ORDER BY SrNO";

// The number of a key as the scan writes it ("123>"), -1 for any other.
std::int64_t scanKeyNumber(const char* text, int bytes)
{
    if (bytes < 2 || bytes > 18 || text[bytes - 1] != '>' || (text[0] == '0' && bytes > 2))
        return -1;
    std::int64_t v = 0;
    for (int i = 0; i < bytes - 1; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return -1;
        v = v * 10 + (text[i] - '0');
    }
    return v;
}

// The keys a tree being built holds: scan keys as bits, others by text.
class PlacedKeys {
public:
    bool contains(const char* text, int bytes) const
    {
        const std::int64_t n = scanKeyNumber(text, bytes);
        if (n >= 0 && n < kBitLimit)
            return static_cast<size_t>(n) < bits_.size() && bits_[static_cast<size_t>(n)];
        return others_.count(std::string(text, static_cast<size_t>(bytes))) > 0;
    }
    void insert(const char* text, int bytes)
    {
        const std::int64_t n = scanKeyNumber(text, bytes);
        if (n >= 0 && n < kBitLimit) {
            if (static_cast<size_t>(n) >= bits_.size())
                bits_.resize(std::max(static_cast<size_t>(n) + 1, bits_.size() * 2), false);
            bits_[static_cast<size_t>(n)] = true;
        } else {
            others_.emplace(text, static_cast<size_t>(bytes));
        }
    }

private:
    static constexpr std::int64_t kBitLimit = std::int64_t {1} << 34;
    std::vector<bool> bits_;
    std::unordered_set<std::string> others_;
};

// A placed node's key in the highest key value, or in whether all keys are numbers.
void countKey(TreeCheck& check, const char* key, int bytes)
{
    const std::int64_t number = scanKeyNumber(key, bytes);
    const auto value = number >= 0 ? std::optional<std::int64_t>(number) : nodeKeyValue(QString::fromUtf8(key, bytes));
    if (!value)
        check.keysFit = false;
    else
        check.highestKey = std::max(check.highestKey, *value);
}

// Places every record as a whole fill would, keeping only what it found.
TreeCheck workOutCheck(SQLite::Database& db, const QString& name)
{
    TreeCheck check;
    PlacedKeys placed;
    const QByteArray root = kRootKey.toUtf8();
    placed.insert(root.constData(), static_cast<int>(root.size()));
    SQLite::Statement st(db, kCheckRecords);
    st.bind(1, name.toStdString());
    while (st.executeStep()) {
        const SQLite::Column id = st.getColumn(0);
        const SQLite::Column parent = st.getColumn(1);
        bool fits = !id.isNull() && !parent.isNull() && !st.getColumn(2).isNull() && !st.getColumn(3).isNull();
        const char* key = fits ? id.getText() : nullptr;
        const int keyBytes = fits ? id.getBytes() : 0;
        if (fits) {
            const int parentBytes = parent.getBytes();
            // An empty Parent stands beside the root; an empty key is never taken.
            fits = (parentBytes == 0 || placed.contains(parent.getText(), parentBytes))
                && (keyBytes == 0 || !placed.contains(key, keyBytes));
        }
        if (!fits) {
            ++check.unplaced;
            check.unplacedRecords.push_back(st.getColumn(4).getInt64());
            continue;
        }
        if (keyBytes > 0)
            placed.insert(key, keyBytes);
        countKey(check, key, keyBytes);
    }
    return check;
}

// The check kept for the catalogue, and in `stamp` the state it was made for.
std::optional<TreeCheck> keptCheck(SQLite::Database& db, const std::string& catalogue, std::string& stamp)
{
    SQLite::Statement kept(
        db, "SELECT unplaced, highestKey, keysFit, stamp FROM tree_checks WHERE dbaseName = ?");
    kept.bind(1, catalogue);
    if (!kept.executeStep())
        return std::nullopt;
    stamp = kept.getColumn(3).getString();
    TreeCheck check;
    check.unplaced = kept.getColumn(0).getInt64();
    check.highestKey = kept.getColumn(1).getInt64();
    check.keysFit = kept.getColumn(2).getInt() != 0;
    SQLite::Statement records(db, "SELECT SrNO FROM tree_unplaced WHERE dbaseName = ? ORDER BY SrNO");
    records.bind(1, catalogue);
    while (records.executeStep())
        check.unplacedRecords.push_back(records.getColumn(0).getInt64());
    if (static_cast<std::int64_t>(check.unplacedRecords.size()) != check.unplaced)
        return std::nullopt;
    return check;
}

// A stamp's two parts: the serial counter and the newest change of a record.
std::pair<std::int64_t, std::string> stampParts(const std::string& stamp)
{
    const size_t colon = stamp.find(':');
    if (colon == std::string::npos)
        return {-1, stamp};
    return {std::stoll(stamp.substr(0, colon)), stamp.substr(colon + 1)};
}

// Whether every record changed or deleted since the change `since` was
// stored after serial `serial`: a scan fills in its folders' sizes after
// their content, and those changes leave the older records' placing as it
// was. A log pruned past `since` no longer tells.
bool onlyNewerChanged(SQLite::Database& db, const std::string& since, std::int64_t serial)
{
    std::int64_t change = 0;
    const auto [end, error] = std::from_chars(since.data(), since.data() + since.size(), change);
    if (error != std::errc() || end != since.data() + since.size())
        return false;
    SQLite::Statement st(db, "SELECT (SELECT min(seq) FROM change_log) <= ?1 + 1 AND NOT EXISTS "
                             "(SELECT 1 FROM change_log WHERE seq > ?1 AND SrNO <= ?2)");
    st.bind(1, static_cast<int64_t>(change));
    st.bind(2, static_cast<int64_t>(serial));
    return st.executeStep() && st.getColumn(0).getInt() == 1;
}

// A check carried over records stored since it was made, when nothing older
// changed: a scan's records hang below the root or below records stored with
// them, under keys above every key the catalogue held, so each is placed or
// not by what the pass sees. `placed` may hold keys of older records known to
// be placed. A record that hangs below another older one, or whose key the
// older records might hold, leaves the answer to a whole pass.
bool extendCheck(
    SQLite::Database& db, const QString& name, std::int64_t after, TreeCheck& check, PlacedKeys placed = {})
{
    if (!check.keysFit)
        return false;
    const std::int64_t floor = check.highestKey;
    // The records stored since lie at the table's end: read there, not
    // through the catalogue's index, which would walk all of its records.
    SQLite::Statement st(db, "SELECT ID, Parent, file_name, path, SrNO FROM main NOT INDEXED "
                             "WHERE SrNO > ? AND dbaseName = ? ORDER BY SrNO");
    st.bind(1, after);
    st.bind(2, name.toStdString());
    const QByteArray root = kRootKey.toUtf8();
    while (st.executeStep()) {
        const SQLite::Column id = st.getColumn(0);
        const SQLite::Column parent = st.getColumn(1);
        if (id.isNull() || parent.isNull() || st.getColumn(2).isNull() || st.getColumn(3).isNull()) {
            ++check.unplaced;
            check.unplacedRecords.push_back(st.getColumn(4).getInt64());
            continue;
        }
        const int keyBytes = id.getBytes();
        const int parentBytes = parent.getBytes();
        const std::int64_t number = scanKeyNumber(id.getText(), keyBytes);
        const bool parentKnown = parentBytes == 0
            || (parentBytes == root.size() && std::memcmp(parent.getText(), root.constData(), root.size()) == 0)
            || placed.contains(parent.getText(), parentBytes);
        if (!parentKnown || keyBytes == 0 || number <= floor)
            return false;
        if (placed.contains(id.getText(), keyBytes)) {
            ++check.unplaced;
            check.unplacedRecords.push_back(st.getColumn(4).getInt64());
            continue;
        }
        placed.insert(id.getText(), keyBytes);
        check.highestKey = std::max(check.highestKey, number);
    }
    return true;
}

// Writes the check within the caller's transaction.
void writeCheck(SQLite::Database& db, const std::string& catalogue, const std::string& stamp, const TreeCheck& check)
{
    SQLite::Statement clear(db, "DELETE FROM tree_unplaced WHERE dbaseName = ?");
    clear.bind(1, catalogue);
    clear.exec();
    SQLite::Statement add(db, "INSERT INTO tree_unplaced (dbaseName, SrNO) VALUES (?, ?)");
    for (const std::int64_t srNo : check.unplacedRecords) {
        add.bind(1, catalogue);
        add.bind(2, srNo);
        add.exec();
        add.reset();
    }
    SQLite::Statement keep(db, "INSERT OR REPLACE INTO tree_checks (dbaseName, stamp, unplaced, highestKey, "
                               "keysFit) VALUES (?, ?, ?, ?, ?)");
    keep.bind(1, catalogue);
    keep.bind(2, stamp);
    keep.bind(3, check.unplaced);
    keep.bind(4, check.highestKey);
    keep.bind(5, check.keysFit ? 1 : 0);
    keep.exec();
}

void keepCheck(SQLite::Database& db, const std::string& catalogue, const std::string& stamp, const TreeCheck& check)
{
    Store::writeKeepingMark(db, [&] { writeCheck(db, catalogue, stamp, check); });
}

// Whether no record of `catalogue` hangs below any of `keys` (sorted).
bool nothingBelow(SQLite::Database& db, const std::string& catalogue, const std::vector<std::string>& keys)
{
    // The keys and the parents left are walked in step, each side skipping
    // to where the other stands, so the lookups are as many as the shorter
    // list's runs between the other's.
    SQLite::Statement nextParent(
        db, "SELECT Parent FROM main WHERE dbaseName = ? AND Parent >= ? ORDER BY Parent LIMIT 1");
    nextParent.bind(1, catalogue);
    for (auto key = keys.begin(); key != keys.end();) {
        nextParent.bindNoCopy(2, *key);
        if (!nextParent.executeStep())
            break;
        const std::string parent = nextParent.getColumn(0).getString();
        nextParent.reset();
        if (parent == *key)
            return false;
        key = std::lower_bound(key + 1, keys.end(), parent);
    }
    return true;
}

// The highest key among the placed records of `catalogue` up to serial `upTo`.
void countOlderKeys(SQLite::Database& db, const std::string& catalogue, std::int64_t upTo,
    const std::unordered_set<std::int64_t>& unplaced, TreeCheck& check)
{
    check.highestKey = 0; // the root's
    check.keysFit = true;
    SQLite::Statement left(
        db, "SELECT ID, SrNO FROM main INDEXED BY main_dbase_parent_id WHERE dbaseName = ? AND SrNO <= ?");
    left.bind(1, catalogue);
    left.bind(2, upTo);
    while (left.executeStep()) {
        if (unplaced.count(left.getColumn(1).getInt64()))
            continue;
        const SQLite::Column id = left.getColumn(0);
        countKey(check, id.getText(), id.getBytes());
    }
}

// A write that changed records of `catalogue` alone: the other catalogues'
// checks that held before it hold after it.
void restampOthers(
    SQLite::Database& db, const std::string& catalogue, const std::string& before, const std::string& after)
{
    SQLite::Statement others(db, "UPDATE tree_checks SET stamp = ? WHERE stamp = ? AND dbaseName <> ?");
    others.bind(1, after);
    others.bind(2, before);
    others.bind(3, catalogue);
    others.exec();
}

} // namespace

std::string mainStamp(SQLite::Database& db)
{
    return db.execAndGet(kMainStamp).getString();
}

TreeCheck checkCatalogueTree(SQLite::Database& db, const QString& name)
{
    try {
        const std::string catalogue = name.toStdString();
        const std::string stamp = mainStamp(db);
        std::string keptStamp;
        std::optional<TreeCheck> kept = keptCheck(db, catalogue, keptStamp);
        if (kept && keptStamp == stamp)
            return std::move(*kept);
        const auto [keptSerial, keptChange] = stampParts(keptStamp);
        const auto [serial, change] = stampParts(stamp);
        TreeCheck check;
        if (!(kept && keptSerial >= 0 && serial > keptSerial
                && (keptChange == change || onlyNewerChanged(db, keptChange, keptSerial))
                && extendCheck(db, name, keptSerial, *kept)))
            check = workOutCheck(db, name);
        else
            check = std::move(*kept);
        // Kept only when no writer came between: the next reader of this
        // state of main skips the pass. A store that cannot take it now (a
        // writer holds it, a read-only file) just goes without.
        if (mainStamp(db) == stamp) {
            try {
                keepCheck(db, catalogue, stamp, check);
            } catch (const std::exception&) {
            }
        }
        return check;
    } catch (const DbError&) {
        throw;
    } catch (const std::exception& e) {
        throw DbError(e.what());
    }
}

CheckCarry::CheckCarry(SQLite::Database& db, const QString& catalogue)
    : db_(db)
    , catalogue_(catalogue.toStdString())
    , before_(mainStamp(db))
{
    std::string keptStamp;
    kept_ = keptCheck(db, catalogue_, keptStamp);
    if (kept_ && keptStamp != before_)
        kept_.reset();
}

void CheckCarry::gone(std::string_view key, std::int64_t srNo)
{
    if (wanted())
        gone_.emplace_back(key, srNo);
}

void CheckCarry::below(std::string_view key, std::int64_t srNo)
{
    if (wanted())
        below_.try_emplace(srNo, key);
}

void CheckCarry::finish()
{
    const std::string after = mainStamp(db_);
    if (after == before_)
        return;
    restampOthers(db_, catalogue_, before_, after);
    if (wanted())
        if (const std::optional<TreeCheck> check = carried(after))
            writeCheck(db_, catalogue_, after, *check);
}

// The records stored before the write are placed as before when none left
// hangs below a gone node's key and none left unplaced has such a key (it
// stood unplaced because the gone node held it): a record placed before still
// finds its parent and its key free, one unplaced before still does not. The
// records appended after them are then placed as a pass over them places them.
std::optional<TreeCheck> CheckCarry::carried(const std::string& after)
{
    TreeCheck check = std::move(*kept_);
    kept_.reset();
    const std::int64_t serialBefore = stampParts(before_).first;
    std::unordered_set<std::int64_t> unplaced(check.unplacedRecords.begin(), check.unplacedRecords.end());
    std::unordered_set<std::int64_t> goneRecords;
    goneRecords.reserve(gone_.size());
    // Keys that placed nodes held, in index order.
    std::vector<std::string> keys;
    TreeCheck goneKeys;
    for (auto& [key, srNo] : gone_) {
        goneRecords.insert(srNo);
        if (!key.empty() && !unplaced.count(srNo)) {
            countKey(goneKeys, key.data(), static_cast<int>(key.size()));
            keys.push_back(std::move(key));
        }
    }
    gone_.clear();
    std::sort(keys.begin(), keys.end());
    std::vector<std::int64_t> left;
    for (const std::int64_t srNo : check.unplacedRecords)
        if (!goneRecords.count(srNo))
            left.push_back(srNo);
    if (!keys.empty() && !left.empty()) {
        SQLite::Statement idOf(db_, "SELECT ID FROM main WHERE SrNO = ?");
        for (const std::int64_t srNo : left) {
            idOf.bind(1, srNo);
            if (idOf.executeStep() && std::binary_search(keys.begin(), keys.end(), idOf.getColumn(0).getString()))
                return std::nullopt;
            idOf.reset();
        }
    }
    if (!nothingBelow(db_, catalogue_, keys))
        return std::nullopt;
    unplaced = std::unordered_set<std::int64_t>(left.begin(), left.end());
    check.unplaced = static_cast<std::int64_t>(left.size());
    check.unplacedRecords = std::move(left);

    // The highest key stays unless a gone node held it. While every key left
    // is a number, the old highest bounds them, and a key appended above it
    // is the new highest; otherwise the keys left are read from the
    // catalogue's index.
    bool exact = keys.empty() || (check.keysFit && goneKeys.keysFit && goneKeys.highestKey < check.highestKey);
    if (!exact && !(check.keysFit && goneKeys.keysFit)) {
        countOlderKeys(db_, catalogue_, serialBefore, unplaced, check);
        exact = true;
    }
    if (stampParts(after).first > serialBefore) {
        PlacedKeys older;
        for (const auto& [srNo, key] : below_)
            if (srNo <= serialBefore && !unplaced.count(srNo) && !goneRecords.count(srNo))
                older.insert(key.data(), static_cast<int>(key.size()));
        const std::int64_t bound = check.highestKey;
        if (!extendCheck(db_, QString::fromStdString(catalogue_), serialBefore, check, std::move(older)))
            return std::nullopt;
        exact = exact || check.highestKey > bound;
    }
    if (!exact)
        countOlderKeys(db_, catalogue_, serialBefore, unplaced, check);
    return check;
}

// The scan's records are the ones stored since `before`: its top-level
// folder first, each record after the folder it hangs below, keys counting
// up. A pass over them (extendCheck) would place each one under the same
// conditions checked here: keys all numbers, the first above every key the
// check places.
void carryCheckOverScan(SQLite::Database& db, const QString& catalogue, const std::string& before)
{
    const std::string name = catalogue.toStdString();
    const std::string after = mainStamp(db);
    if (after == before)
        return;
    restampOthers(db, name, before, after);

    std::string keptStamp;
    std::optional<TreeCheck> kept = keptCheck(db, name, keptStamp);
    if (!kept || keptStamp != before || !kept->keysFit)
        return;
    SQLite::Statement ends(db, "SELECT ID, dbaseName FROM main WHERE SrNO IN ((SELECT min(SrNO) FROM main "
                               "WHERE SrNO > ?), (SELECT max(SrNO) FROM main)) ORDER BY SrNO");
    ends.bind(1, static_cast<int64_t>(stampParts(before).first));
    std::int64_t first = -1, last = -1;
    while (ends.executeStep()) {
        const SQLite::Column id = ends.getColumn(0);
        if (id.isNull() || ends.getColumn(1).getString() != name)
            return;
        last = scanKeyNumber(id.getText(), id.getBytes());
        if (first < 0)
            first = last;
    }
    if (first <= kept->highestKey || last < first)
        return;
    kept->highestKey = last;
    writeCheck(db, name, after, *kept);
}

std::int64_t deleteScanRecords(SQLite::Database& db, const QString& catalogue, const QString& deleteKey)
{
    const std::string name = catalogue.toStdString();
    CheckCarry carry(db, catalogue);
    std::int64_t removed = 0;
    SQLite::Statement remove(db, Queries::deleteScan(catalogueHoldsMost(db, name), carry.wanted()));
    remove.bind(1, name);
    remove.bind(2, deleteKey.toStdString());
    if (carry.wanted()) {
        while (remove.executeStep()) {
            const SQLite::Column id = remove.getColumn(0);
            carry.gone(std::string_view(id.getText(), static_cast<size_t>(id.getBytes())),
                remove.getColumn(1).getInt64());
            ++removed;
        }
    } else {
        removed = remove.exec();
    }
    carry.finish();
    return removed;
}

} // namespace qm
