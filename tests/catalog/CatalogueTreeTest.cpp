// SPDX-License-Identifier: GPL-3.0-or-later
// A tree that reads a folder's children when it is opened holds, once every
// branch is open, exactly what a tree filled with every record at once holds;
// the records it cannot place are counted right whoever wrote last.
#include "catalog/tree/CatalogueTree.h"
#include "catalog/tree/TreeCheck.h"
#include "catalog/FolderScan.h"
#include "catalog/NodeKeys.h"
#include "catalog/update/ScanUpdate.h"
#include "platform/TreeView.h"
#include "support/TestSupport.h"

#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>

#include <QDir>
#include <QFile>

using namespace qm;

namespace {

class CatalogueTreeTest : public qmtest::StoreTest {
protected:
    struct Whole {
        QStringList lines;
        std::int64_t unplaced = 0;
        QString nextKey;
    };

    // Every record placed in one pass, as the tree was filled before it read
    // branches on demand: the reference the lazy tree must equal.
    Whole wholeTree(const QString& name)
    {
        NodeModel nodes;
        Whole whole;
        nodes.Add({}, kRootKey, name, 1, 0);
        SQLite::Statement st(db(), "SELECT ID, Parent, file_name, path FROM main WHERE dbaseName = ? ORDER BY SrNO");
        st.bind(1, name.toStdString());
        while (st.executeStep()) {
            if (st.getColumn(0).isNull() || st.getColumn(1).isNull() || st.getColumn(2).isNull()
                || st.getColumn(3).isNull()) {
                ++whole.unplaced;
                continue;
            }
            const QString parent = QString::fromStdString(st.getColumn(1).getString());
            const bool folder = parent == kRootKey || isFolderPath(QString::fromStdString(st.getColumn(3).getString()));
            try {
                nodes.Add(parent, QString::fromStdString(st.getColumn(0).getString()),
                    QString::fromStdString(st.getColumn(2).getString()), folder ? 1 : 2, folder ? 3 : 0);
            } catch (const TreeError&) {
                ++whole.unplaced;
            }
        }
        whole.lines = lines(nodes);
        whole.nextKey = nextNodeKey(nodes);
        return whole;
    }

    // The tree as "depth|key|text|image|selected" lines, every branch opened
    // as a user opens it.
    static QStringList lines(NodeModel& nodes)
    {
        QStringList out;
        auto walk = [&](auto& self, const std::vector<Node*>& level, int depth) -> void {
            for (Node* n : level) {
                nodes.fetchChildren(n);
                out << QStringLiteral("%1|%2|%3|%4|%5").arg(depth).arg(n->Key, n->Text).arg(n->Image).arg(n->SelectedImage);
                self(self, n->Children, depth + 1);
            }
        };
        std::vector<Node*> top;
        for (int row = 0; row < nodes.rowCount(); ++row)
            top.push_back(nodes.nodeAt(nodes.index(row, 0)));
        walk(walk, top, 0);
        return out;
    }

    void expectSameAsWhole(const QString& name)
    {
        const Whole whole = wholeTree(name);
        NodeModel nodes;
        EXPECT_EQ(fillCatalogueTree(db(), name, nodes, true), whole.unplaced) << qPrintable(name);
        // Before anything is opened, the next key already counts every record.
        EXPECT_EQ(nextNodeKey(nodes), whole.nextKey) << qPrintable(name);
        EXPECT_EQ(lines(nodes), whole.lines) << qPrintable(name);
    }

    // Whether the check kept for the catalogue is the one for the store as
    // it is: the next tree needs no pass over its records.
    bool checkIsCurrent(const char* catalogue)
    {
        return texts(QStringLiteral("SELECT stamp = coalesce((SELECT seq FROM sqlite_sequence WHERE name = 'main'), "
                                    "0) || ':' || coalesce((SELECT seq FROM change_log WHERE SrNO IS NOT NULL "
                                    "ORDER BY seq DESC LIMIT 1), 0) FROM tree_checks WHERE dbaseName = '%1'")
                         .arg(QLatin1String(catalogue)))
            == QStringList {QStringLiteral("1")};
    }

    // Records a tree cannot place, of every kind, among placed ones.
    void addOddRecords()
    {
        addRecord("1>", "0>", "Disks", "/a", "/a/", "0", "", "1>");
        addRecord("3>", "2>", "Disks", "early.txt", "/a/b/early.txt"); // stored before its parent
        addRecord("2>", "1>", "Disks", "b", "/a/b/");
        addRecord("4>", "2>", "Disks", "c.txt", "/a/b/c.txt");
        addRecord("2>", "1>", "Disks", "twin", "/a/twin/"); // key taken
        addRecord("5>", "2>", "Disks", "d.txt", "/a/b/d.txt"); // below the first 2>
        addRecord("6>", "99>", "Disks", "lost.txt", "/x/lost.txt"); // no such parent
        addRecord("7>", "6>", "Disks", "lost2.txt", "/x/lost2.txt"); // below an unplaced one
        addRecord("0>", "1>", "Disks", "root twin", "/a/r"); // the root's key
        addRecord("", "1>", "Disks", "no key 1", "/a/k1");
        addRecord("", "1>", "Disks", "no key 2", "/a/k2/");
        addRecord("8>", "", "Disks", "beside the root", "/s/"); // an empty parent
        addRecord("9>", "8>", "Disks", "under it", "/s/u");
        addRecord("abc", "1>", "Disks", "word key", "/a/w");
        addRecord("10>", "abc", "Disks", "under word", "/a/w/u");
        const long long nullName = addRecord("11>", "1>", "Disks", "x", "/a/x");
        db().exec("UPDATE main SET file_name = NULL WHERE SrNO = " + std::to_string(nullName));
        addRecord("12>", "11>", "Disks", "under null", "/a/x/y");
        // Another catalogue with the same keys.
        addRecord("1>", "0>", "Other", "/o", "/o/", "0", "", "1>");
        addRecord("2>", "1>", "Other", "o.txt", "/o/o.txt");
        addRecord("13>", "1>", "Disks", "late.txt", "/a/late.txt");
    }
};

} // namespace

TEST_F(CatalogueTreeTest, OpeningEveryBranchGivesTheWholeTreeWithItsOrderImagesAndUnplacedCount)
{
    addOddRecords();
    expectSameAsWhole(QStringLiteral("Disks"));
    expectSameAsWhole(QStringLiteral("Other"));
    expectSameAsWhole(QStringLiteral("None"));
    EXPECT_EQ(wholeTree(QStringLiteral("Disks")).unplaced, 7);

    // A second tree takes the check kept in the store and reads the same.
    EXPECT_EQ(count(QStringLiteral("dbaseName = 'Disks'"), QStringLiteral("tree_checks")), 1);
    expectSameAsWhole(QStringLiteral("Disks"));

    // A node reached from its key brings its branch: the deep one under the
    // empty parent, and a record the tree does not place is not reached.
    NodeModel nodes;
    fillCatalogueTree(db(), QStringLiteral("Disks"), nodes, true);
    EXPECT_EQ(nodes.find(QStringLiteral("5>")), nullptr);
    const auto reached = [&nodes](const char* key) {
        const Node* n = nodes.reveal(QStringLiteral("Disks"), QString::fromLatin1(key));
        return n ? n->Parent->Key + u'/' + n->Text : QStringLiteral("-");
    };
    for (const auto& [key, where] :
        std::initializer_list<std::pair<const char*, const char*>> {{"5>", "2>/d.txt"}, {"9>", "8>/under it"},
            {"10>", "abc/under word"}, {"7>", "-"}, {"12>", "-"}, {"404>", "-"}})
        EXPECT_EQ(reached(key), QString::fromLatin1(where)) << key;
    const Node* deep = nodes.find(QStringLiteral("5>"));
    // A node offers to open only where the whole tree has children below it:
    // not a file, not a record without a key (the empty Parent is the top).
    const auto opens = [&nodes](const Node* n) { return nodes.hasChildren(nodes.indexOf(n)); };
    EXPECT_TRUE(opens(deep->Parent));
    EXPECT_FALSE(opens(deep));
    for (const Node* n : nodes.find(QStringLiteral("1>"))->Children) {
        if (n->Key.isEmpty()) {
            EXPECT_FALSE(opens(n)) << n->Text.toStdString();
        }
    }

    // With the record's SrNO, as a search hit gives it, its path leads the way
    // down; where the paths do not (a parent whose path is no folder's), the
    // keys do; a record below one that is not placed is not reached.
    auto srNoOf = [this](const char* key, const char* name) {
        return texts(QStringLiteral("SELECT SrNO FROM main WHERE dbaseName = 'Disks' AND ID = '%1' AND file_name = '%2'")
                .arg(QLatin1String(key), QLatin1String(name)))
            .value(0)
            .toLongLong();
    };
    for (const auto& [key, name] : std::vector<std::pair<const char*, const char*>> {
             {"5>", "d.txt"}, {"9>", "under it"}, {"10>", "under word"}, {"4>", "c.txt"}}) {
        NodeModel fresh;
        fillCatalogueTree(db(), QStringLiteral("Disks"), fresh, true);
        const Node* hit = fresh.reveal(QStringLiteral("Disks"), QString::fromLatin1(key), srNoOf(key, name));
        ASSERT_NE(hit, nullptr) << key;
        EXPECT_EQ(hit->Text, QString::fromLatin1(name));
    }
    NodeModel fresh;
    fillCatalogueTree(db(), QStringLiteral("Disks"), fresh, true);
    // A record whose key another holds lands where that key stands.
    EXPECT_EQ(fresh.reveal(QStringLiteral("Disks"), QStringLiteral("2>"), srNoOf("2>", "twin"))->Text,
        QStringLiteral("b"));
    EXPECT_EQ(fresh.reveal(QStringLiteral("Disks"), QStringLiteral("7>"), srNoOf("7>", "lost2.txt")), nullptr);
}

TEST_F(CatalogueTreeTest, TheUnplacedCountFollowsWritesOfAnotherConnection)
{
    addOddRecords();
    expectSameAsWhole(QStringLiteral("Disks"));
    SQLite::Database other(storePath().toStdString(), SQLite::OPEN_READWRITE);

    for (const char* write : {
             // What a scan stores: a folder below the root and records below
             // it under new keys, one of them twice, one without a name.
             "INSERT INTO main (ID, Parent, dbaseName, file_name, path) VALUES ('30>', '0>', 'Disks', '/n', '/n/'), "
             "('31>', '30>', 'Disks', 'n1', '/n/n1/'), ('32>', '31>', 'Disks', 'n2', '/n/n1/n2'), "
             "('31>', '30>', 'Disks', 'again', '/n/again'), ('33>', '30>', 'Disks', NULL, '/n/x')",
             "INSERT INTO main (ID, Parent, dbaseName, file_name, path) VALUES ('34>', '31>', 'Disks', 'n3', '/n/n1/n3')",
             // A record whose parent is missing, then its parent stored after it.
             "INSERT INTO main (ID, Parent, dbaseName, file_name, path) VALUES ('21>', '20>', 'Disks', 'f', '/z/f')",
             "INSERT INTO main (ID, Parent, dbaseName, file_name, path) VALUES ('20>', '1>', 'Disks', 'z', '/z/')",
             // The first of two twins deleted: the second takes its place.
             "DELETE FROM main WHERE dbaseName = 'Disks' AND ID = '2>' AND file_name = 'b'",
             // A record moved by hand, and a field emptied.
             "UPDATE main SET Parent = '1>' WHERE dbaseName = 'Disks' AND ID = '6>'",
             "UPDATE main SET path = NULL WHERE dbaseName = 'Disks' AND ID = '13>'",
             // Everything of the catalogue deleted.
             "DELETE FROM main WHERE dbaseName = 'Disks'"}) {
        other.exec(write);
        SCOPED_TRACE(write);
        expectSameAsWhole(QStringLiteral("Disks"));
    }
    EXPECT_EQ(wholeTree(QStringLiteral("Disks")).lines.size(), 1);
}

TEST_F(CatalogueTreeTest, DeletingAScanKeepsTheCheckOnlyWhereTheRecordsLeftStayPlaced)
{
    // Three scans of one catalogue and one of another, as scans store them.
    auto scan = [this](const char* catalogue, int top, const char* name) {
        const QString t = keyOf(top);
        const QString dir = QStringLiteral("/%1/").arg(QLatin1String(name));
        addRecord(t, QStringLiteral("0>"), QLatin1String(catalogue), dir, dir, QStringLiteral("0"), {}, t);
        addRecord(keyOf(top + 1), t, QLatin1String(catalogue), QStringLiteral("sub"), dir + QStringLiteral("sub/"),
            {}, {}, t);
        addRecord(keyOf(top + 2), keyOf(top + 1), QLatin1String(catalogue), QStringLiteral("f"),
            dir + QStringLiteral("sub/f"), {}, {}, t);
    };
    scan("Disks", 1, "a");
    scan("Disks", 4, "b");
    scan("Disks", 7, "c");
    scan("Other", 1, "o");
    auto deleteScan = [this](const char* key, const char* catalogue = "Disks") {
        SQLite::Transaction transaction(db());
        const std::int64_t removed = deleteScanRecords(db(), QLatin1String(catalogue), QLatin1String(key));
        transaction.commit();
        return removed;
    };
    expectSameAsWhole(QStringLiteral("Disks"));
    expectSameAsWhole(QStringLiteral("Other"));

    // An older scan goes: both kept checks still hold for the store as it is.
    EXPECT_EQ(deleteScan("1>"), 3);
    EXPECT_TRUE(checkIsCurrent("Disks"));
    EXPECT_TRUE(checkIsCurrent("Other"));
    expectSameAsWhole(QStringLiteral("Disks"));
    expectSameAsWhole(QStringLiteral("Other"));

    // The scan holding the highest key goes: the next key comes down with it.
    EXPECT_EQ(deleteScan("7>"), 3);
    EXPECT_TRUE(checkIsCurrent("Disks"));
    expectSameAsWhole(QStringLiteral("Disks"));
    EXPECT_EQ(wholeTree(QStringLiteral("Disks")).nextKey, QStringLiteral("7>"));

    // A record another hand hung below the scan loses its place with it: the
    // check is worked out again rather than carried.
    scan("Disks", 10, "d");
    addRecord(QStringLiteral("20>"), QStringLiteral("5>"), QStringLiteral("Disks"), QStringLiteral("stray"),
        QStringLiteral("/b/sub/stray"), {}, {}, QStringLiteral("10>"));
    expectSameAsWhole(QStringLiteral("Disks"));
    EXPECT_EQ(deleteScan("4>"), 3);
    EXPECT_FALSE(checkIsCurrent("Disks"));
    expectSameAsWhole(QStringLiteral("Disks"));
    EXPECT_EQ(wholeTree(QStringLiteral("Disks")).unplaced, 1);

    // Records the check could not place stay unplaced when the scan goes.
    EXPECT_EQ(deleteScan("10>"), 4); // the stray record carries its delete key
    expectSameAsWhole(QStringLiteral("Disks"));
    addOddRecords();
    scan("Disks", 40, "e");
    expectSameAsWhole(QStringLiteral("Disks"));
    deleteScan("40>");
    EXPECT_TRUE(checkIsCurrent("Disks"));
    expectSameAsWhole(QStringLiteral("Disks"));
    deleteScan("1>"); // records of others hang below its folder
    EXPECT_FALSE(checkIsCurrent("Disks"));
    expectSameAsWhole(QStringLiteral("Disks"));

    // A catalogue that holds a small part of the table: found through its index.
    EXPECT_EQ(deleteScan("1>", "Other"), 4); // both top-level folders keyed 1>
    expectSameAsWhole(QStringLiteral("Other"));
}

TEST_F(CatalogueTreeTest, UpdatingAScanKeepsTheCheckOnlyWhereTheTreeStaysAsAWholeTreeHasIt)
{
    for (const char* file : {"disk/a.txt", "disk/b.txt", "disk/sub/c.txt", "disk/sub/deep/d.txt", "disk/old/e.txt",
             "disk/old/in/f.txt", "more/m.txt", "else/x.txt"})
        makeFile(QString::fromLatin1(file), 10);
    auto scanInto = [this](const char* catalogue, const char* folder) {
        FolderScan scan(db(), QLatin1String(catalogue), 1);
        const QString key = scan.run(startFolderOf(pathOf(QLatin1String(folder))));
        return *findTopFolder(db(), QLatin1String(catalogue), key);
    };
    const TopFolder disk = scanInto("Disks", "disk");
    scanInto("Disks", "more");
    scanInto("Other", "else");
    expectSameAsWhole(QStringLiteral("Disks"));
    expectSameAsWhole(QStringLiteral("Other"));
    auto update = [&] {
        ScanUpdate update(db(), QStringLiteral("Disks"), disk);
        EXPECT_TRUE(update.run()) << update.failure().toStdString();
        return update.counts();
    };
    auto keyOfPath = [this](const char* relative) {
        return texts(QStringLiteral("SELECT ID FROM main WHERE path = '%1'").arg(pathOf(QLatin1String(relative))))
            .value(0);
    };
    auto carried = [&](bool expected) {
        EXPECT_EQ(checkIsCurrent("Disks"), expected);
        EXPECT_TRUE(checkIsCurrent("Other"));
        expectSameAsWhole(QStringLiteral("Disks"));
        expectSameAsWhole(QStringLiteral("Other"));
    };

    // Files grown, renamed and added, a folder with folders and files below
    // it gone, new folders in a kept one and below the top.
    makeFile(QStringLiteral("disk/a.txt"), 5000);
    ASSERT_TRUE(QDir(pathOf(QStringLiteral("disk/old"))).removeRecursively());
    ASSERT_TRUE(QFile::rename(pathOf(QStringLiteral("disk/b.txt")), pathOf(QStringLiteral("disk/b2.txt"))));
    makeFile(QStringLiteral("disk/sub/new/n.txt"), 7);
    makeFile(QStringLiteral("disk/newdir/deeper/n.txt"), 3);
    const UpdateCounts counts = update();
    EXPECT_EQ(counts.removed, 5);
    EXPECT_EQ(counts.added, 6);
    carried(true);

    // The file stored last, with the highest key, goes: the next key comes
    // down with it.
    const QStringList newest = texts(QStringLiteral(
        "SELECT ID || '|' || path FROM main WHERE dbaseName = 'Disks' ORDER BY CAST(ID AS INTEGER) DESC LIMIT 1"))
                                   .front()
                                   .split(u'|');
    ASSERT_TRUE(QFile::remove(newest[1]));
    update();
    carried(true);
    EXPECT_EQ(wholeTree(QStringLiteral("Disks")).nextKey, newest[0]);

    // A record of another scan hangs below a folder that goes: it loses its
    // place, which only a pass tells.
    addRecord(QStringLiteral("900>"), keyOfPath("disk/sub/deep/"), QStringLiteral("Disks"), QStringLiteral("stray"),
        QStringLiteral("/more/stray"));
    expectSameAsWhole(QStringLiteral("Disks"));
    expectSameAsWhole(QStringLiteral("Other")); // its check made again after the write
    ASSERT_TRUE(QDir(pathOf(QStringLiteral("disk/sub/deep"))).removeRecursively());
    update();
    carried(false);
    EXPECT_EQ(wholeTree(QStringLiteral("Disks")).unplaced, 1);

    // Records no tree places stay unplaced through an update that leaves
    // their keys and parents as they were: one whose key a file of the scan
    // holds, and the stray one.
    addRecord(keyOfPath("disk/sub/c.txt"), keyOfPath("disk/sub/"), QStringLiteral("Disks"), QStringLiteral("twin"),
        QStringLiteral("/more/twin"));
    expectSameAsWhole(QStringLiteral("Disks"));
    expectSameAsWhole(QStringLiteral("Other")); // its check made again after the write
    makeFile(QStringLiteral("disk/sub/late.txt"), 1);
    ASSERT_TRUE(QFile::remove(pathOf(QStringLiteral("disk/a.txt"))));
    update();
    carried(true);
    EXPECT_EQ(wholeTree(QStringLiteral("Disks")).unplaced, 2);
    // The file whose key the twin took goes: the twin takes its place.
    ASSERT_TRUE(QFile::remove(pathOf(QStringLiteral("disk/sub/c.txt"))));
    update();
    carried(false);
    EXPECT_EQ(wholeTree(QStringLiteral("Disks")).unplaced, 1);

    // Nothing changed on the disk: the check stays as it is.
    update();
    carried(true);
}

TEST_F(CatalogueTreeTest, AKeptCheckIsCarriedOverScansThatFillInTheirFolderSizesButNotOverOlderChanges)
{
    for (const char* file : {"one/a.txt", "one/sub/b.txt", "two/c.txt", "two/deep/er/d.txt", "three/e.txt"})
        makeFile(QString::fromLatin1(file), 10);
    auto scanFolder = [this](const char* folder) {
        FolderScan scan(db(), QStringLiteral("Disks"), 1);
        scan.run(startFolderOf(pathOf(QLatin1String(folder))));
        ASSERT_TRUE(scan.failure().isEmpty()) << scan.failure().toStdString();
    };
    scanFolder("one");
    expectSameAsWhole(QStringLiteral("Disks"));
    // A record the kept check counts as unplaced though a whole tree places
    // it: it stays counted for as long as the check is carried, not worked
    // out again.
    auto markOneMore = [this] {
        db().exec("INSERT INTO tree_unplaced (dbaseName, SrNO) SELECT 'Disks', min(SrNO) FROM main "
                  "WHERE dbaseName = 'Disks'");
        db().exec("UPDATE tree_checks SET unplaced = unplaced + 1 WHERE dbaseName = 'Disks'");
    };
    auto unplaced = [this] { return checkCatalogueTree(db(), QStringLiteral("Disks")).unplaced; };
    markOneMore();
    const long long changes = count(QStringLiteral("SrNO IS NOT NULL"), QStringLiteral("change_log"));
    scanFolder("two");
    ASSERT_GT(count(QStringLiteral("SrNO IS NOT NULL"), QStringLiteral("change_log")), changes); // sizes filled in
    EXPECT_EQ(unplaced(), 1);
    EXPECT_TRUE(checkIsCurrent("Disks"));

    // A change to a record stored before the check was kept: a whole pass.
    db().exec("UPDATE main SET size = 'x' WHERE SrNO = (SELECT min(SrNO) FROM main)");
    scanFolder("three");
    EXPECT_EQ(unplaced(), 0);
    expectSameAsWhole(QStringLiteral("Disks"));

    // A change log pruned past the check's change no longer tells: a pass.
    markOneMore();
    makeFile(QStringLiteral("four/f.txt"), 1);
    scanFolder("four");
    for (int i = 0; i < 2; ++i) // changes of the newest record alone, then pruned
        db().exec("UPDATE main SET size = 'y' WHERE SrNO = (SELECT max(SrNO) FROM main)");
    db().exec("DELETE FROM change_log WHERE seq < (SELECT max(seq) FROM change_log)");
    EXPECT_EQ(unplaced(), 0);
    expectSameAsWhole(QStringLiteral("Disks"));
}

TEST_F(CatalogueTreeTest, AScanCarriesTheKeptCheckItselfUnlessAnotherWriterCameBetween)
{
    for (const char* file : {"one/a.txt", "two/sub/b.txt", "two/c.txt", "three/deep/er/d.txt", "three/e.txt",
             "four/f.txt", "five/g.txt"})
        makeFile(QString::fromLatin1(file), 10);
    addRecord("1>", "0>", "Other", "x", "/x/", "0", "", "1>");
    struct Stopper : ScanListener {
        bool stop = false;
        void entryStored(const ScannedEntry&) override { }
        bool progress(std::int64_t, const QString&) override { return !stop; }
    } listener;
    qmtest::WritingFileSystem disk;
    auto scanFolder = [&](const char* folder) {
        FolderScan scan(db(), QStringLiteral("Disks"), 1, &listener, disk);
        scan.setProgressInterval(std::chrono::milliseconds(0));
        EXPECT_FALSE(scan.run(startFolderOf(pathOf(QLatin1String(folder)))).isEmpty());
        EXPECT_TRUE(scan.failure().isEmpty()) << scan.failure().toStdString();
    };
    // A record the kept check counts as unplaced though a whole tree places
    // it: it stays counted only while the check is carried.
    const QString marker = QStringLiteral("dbaseName = 'Disks' AND SrNO = (SELECT min(SrNO) FROM main WHERE "
                                          "dbaseName = 'Disks')");
    auto markOneMore = [&] {
        db().exec(("INSERT INTO tree_unplaced (dbaseName, SrNO) SELECT 'Disks', SrNO FROM main WHERE " + marker)
                      .toStdString());
        db().exec("UPDATE tree_checks SET unplaced = unplaced + 1 WHERE dbaseName = 'Disks'");
    };
    auto unmark = [&] {
        db().exec("DELETE FROM tree_unplaced WHERE dbaseName = 'Disks'");
        db().exec("UPDATE tree_checks SET unplaced = 0 WHERE dbaseName = 'Disks'");
    };
    auto unplaced = [this] { return checkCatalogueTree(db(), QStringLiteral("Disks")).unplaced; };

    scanFolder("one");
    expectSameAsWhole(QStringLiteral("Disks"));
    expectSameAsWhole(QStringLiteral("Other"));
    markOneMore();
    // Carried by the scan itself, before any tree reads it; the other
    // catalogue's check still holds.
    scanFolder("two");
    EXPECT_TRUE(checkIsCurrent("Disks"));
    EXPECT_TRUE(checkIsCurrent("Other"));
    EXPECT_EQ(unplaced(), 1);
    unmark();
    expectSameAsWhole(QStringLiteral("Disks")); // the next key counts the scan's keys

    // A scan stopped as it began keeps what it stored, and the carry.
    listener.stop = true;
    scanFolder("three");
    listener.stop = false;
    EXPECT_TRUE(checkIsCurrent("Disks"));
    expectSameAsWhole(QStringLiteral("Disks"));

    // Another program adds a record no tree places, under the next key,
    // after the scan began: the scan leaves the check to the next tree.
    markOneMore();
    const std::string store = storePath().toStdString();
    disk.write = [store] {
        SQLite::Database other(store, SQLite::OPEN_READWRITE);
        other.exec("INSERT INTO main (ID, Parent, dbaseName, file_name, path) SELECT (max(CAST(ID AS INTEGER)) "
                   "+ 1) || '>', '777>', 'Disks', 'stray', '/stray' FROM main WHERE dbaseName = 'Disks'");
    };
    scanFolder("four");
    EXPECT_EQ(disk.write, nullptr);
    EXPECT_FALSE(checkIsCurrent("Disks"));
    unmark();
    expectSameAsWhole(QStringLiteral("Disks"));

    // A walk below an older folder, on its own or after a top-level folder
    // of its own: no carry, and the next tree works the check out again (the
    // marker goes).
    const QString older = texts(QStringLiteral("SELECT ID FROM main WHERE dbaseName = 'Disks' AND Parent = '0>' "
                                               "ORDER BY SrNO LIMIT 1"))
                              .value(0);
    for (const bool withTop : {false, true}) {
        checkCatalogueTree(db(), QStringLiteral("Disks"));
        markOneMore();
        {
            FolderScan scan(db(), QStringLiteral("Disks"), 1);
            const StartFolder top = startFolderOf(pathOf(QStringLiteral("five")));
            if (withTop) {
                ASSERT_TRUE(scan.openStart(top.path).isEmpty());
                scan.addTopFolder(top, scan.newKey());
            }
            scan.walk(top.path, older, older);
            scan.finish();
            EXPECT_TRUE(scan.failure().isEmpty()) << scan.failure().toStdString();
        }
        EXPECT_FALSE(checkIsCurrent("Disks"));
        expectSameAsWhole(QStringLiteral("Disks"));
    }
}
