// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/CatalogueKeys.h"
#include "catalog/tree/CatalogueTree.h"
#include "catalog/FolderScan.h"
#include "catalog/update/ScanUpdate.h"
#include "catalog/store/Store.h"
#include "cli/AddFolder.h"
#include "platform/TreeView.h"
#include "support/TestSupport.h"

#include <QDateTime>
#include <QFile>

#include <SQLiteCpp/Transaction.h>

#include <functional>

using namespace qm;

namespace {

class StoreFormatTest : public qmtest::StoreTest {
protected:
    // The columns of a table as "name type", in their order.
    QStringList columns(SQLite::Database& store, const char* table)
    {
        QStringList out;
        SQLite::Statement st(store, std::string("SELECT name, type FROM pragma_table_info('") + table + "')");
        while (st.executeStep())
            out << QString::fromStdString(st.getColumn(0).getString() + ' ' + st.getColumn(1).getString());
        return out;
    }
    // Replaces the store with one as the first version made it.
    void makeFirstFormatStore()
    {
        resetConnection();
        QFile::remove(storePath());
        SQLite::Database old(storePath().toStdString(), SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
        old.exec(Store::schema().toStdString());
    }
};

} // namespace

TEST_F(StoreFormatTest, AnOlderStoreIsUpgradedInPlaceKeepingEveryRecord)
{
    makeFirstFormatStore();
    addRecord("1>", "0>", "Disks", "/a", "/a/", " 1.5 MB", "2024-03-01 10:20:30", "1>");
    addRecord("2>", "1>", "Disks", "b.txt", "/a/b.txt", " 730.25 KB", "2024-03-01 10:20:31", "1>");
    addRecord("12>", "1>", "Disks", "c.txt", "/a/c.txt", "512", "not a date", "1>");
    addRecord("3>", "0>", "Other", "/o", "/o/", "", "", "3>");
    ASSERT_EQ(columns(db(), "main").size(), 9);

    EXPECT_EQ(Store::prepare(storePath()), QString());
    EXPECT_EQ(count(), 4);
    EXPECT_EQ(db().execAndGet("PRAGMA user_version").getInt(), Store::kFormat);
    // The same columns in the same order as a store made new.
    const QString fresh = pathOf(QStringLiteral("fresh.mdb"));
    ASSERT_EQ(Store::create(fresh), QString());
    SQLite::Database made(fresh.toStdString());
    EXPECT_EQ(columns(db(), "main"), columns(made, "main"));
    EXPECT_EQ(columns(db(), "catalogue_keys"), columns(made, "catalogue_keys"));

    // Numbers taken from the texts where they can be read.
    const qint64 created = QDateTime::fromString(QStringLiteral("2024-03-01 10:20:30"),
        QStringLiteral("yyyy-MM-dd HH:mm:ss")).toSecsSinceEpoch();
    EXPECT_EQ(texts(QStringLiteral("SELECT bytes || '/' || ifnull(created, '-') || '/' || ifnull(modified, '-') "
                                   "FROM main ORDER BY SrNO")),
        (QStringList {QStringLiteral("1572864/%1/-").arg(created), QStringLiteral("747776/%1/-").arg(created + 1),
            QStringLiteral("512/-/-"), QStringLiteral("<null>")}));

    // New keys of each catalogue start above its highest.
    EXPECT_EQ(highestCatalogueKey(db(), "Disks"), 12);
    EXPECT_EQ(highestCatalogueKey(db(), "Other"), 3);
    makeFile(QStringLiteral("scan/f.txt"), 10);
    EXPECT_EQ(runAddFolderCommand({pathOf(QStringLiteral("scan")), QStringLiteral("--name=Disks")}), 0);
    EXPECT_EQ(texts(QStringLiteral("SELECT ID FROM main WHERE SrNO > 4 ORDER BY SrNO")),
        (QStringList {"13>", "14>"}));

    // Done once: a second start finds it ready.
    EXPECT_EQ(Store::prepare(storePath()), QString());
    EXPECT_EQ(count(), 6);

    // Its tree reads as any other: the old scan under the root with its files, the new one beside it.
    NodeModel nodes;
    EXPECT_EQ(fillCatalogueTree(db(), QStringLiteral("Disks"), nodes, true), 0);
    Node* top = nodes.find(QStringLiteral("1>"));
    ASSERT_NE(top, nullptr);
    nodes.fetchChildren(top);
    ASSERT_EQ(top->Children.size(), 2u);
    EXPECT_EQ(top->Children[1]->Text, QStringLiteral("c.txt"));
    EXPECT_NE(nodes.find(QStringLiteral("13>")), nullptr);
}

TEST_F(StoreFormatTest, AStoreOfANewerVersionOrADamagedOneIsLeftAlone)
{
    db().exec("PRAGMA user_version = 99");
    const QByteArray before = readFile(storePath());
    EXPECT_TRUE(Store::problemWith(storePath()).contains(QStringLiteral("newer version")));
    EXPECT_TRUE(Store::prepare(storePath()).contains(QStringLiteral("newer version")));
    EXPECT_EQ(runAddFolderCommand({folder()}), 1);
    EXPECT_EQ(readFile(storePath()), before);

    // Bytes of another program written over the records' pages.
    db().exec("PRAGMA user_version = 1");
    db().exec("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 3000) "
              "INSERT INTO main (ID, Parent, dbaseName, file_name, path) "
              "SELECT i || '>', '0>', 'Disks', '/x', '/x/' || i FROM n");
    resetConnection();
    // Found sound once: a write behind SQLite's back is still seen.
    Store::markChecked(storePath());
    {
        QFile file(storePath());
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_GT(file.size(), 40000);
        file.seek(file.size() / 2);
        QByteArray noise(8192, '\0');
        for (int i = 0; i < noise.size(); ++i)
            noise[i] = static_cast<char>((i * 7919 + 13) & 0xff);
        file.write(noise);
    }
    const QByteArray damaged = readFile(storePath());
    makeFile(QStringLiteral("scan/f.txt"), 10);
    {
        FolderScan scan(db(), QStringLiteral("Disks"), 1);
        scan.run(startFolderOf(pathOf(QStringLiteral("scan"))));
        EXPECT_TRUE(scan.failure().contains(QStringLiteral("damaged")) && scan.failure().contains(storePath()))
            << scan.failure().toStdString();
        EXPECT_TRUE(scan.storeDamaged());
    }
    {
        ScanUpdate update(db(), QStringLiteral("Disks"),
            TopFolder {QStringLiteral("1>"), pathOf(QStringLiteral("scan")), pathOf(QStringLiteral("scan/"))});
        EXPECT_FALSE(update.run());
        EXPECT_TRUE(update.failure().contains(QStringLiteral("damaged"))) << update.failure().toStdString();
    }
    EXPECT_EQ(runAddFolderCommand({pathOf(QStringLiteral("scan"))}), 1);
    EXPECT_EQ(readFile(storePath()), damaged);
}

TEST_F(StoreFormatTest, OurOwnWritesKeepTheStoreMarkedCheckedUnlessAnotherWriterCameBetween)
{
    auto ownWrite = [this](const std::function<void()>& between) {
        SQLite::Transaction transaction(db(), SQLite::TransactionBehavior::IMMEDIATE);
        Store::KeptMark mark(db());
        db().exec("INSERT INTO main (ID, Parent, dbaseName, file_name, path) VALUES ('1>', '0>', 'Disks', 'a', '/a/')");
        transaction.commit();
        between();
        mark.committed();
    };
    auto otherWrite = [this] {
        SQLite::Database other(storePath().toStdString(), SQLite::OPEN_READWRITE);
        other.exec("DELETE FROM main WHERE SrNO = (SELECT min(SrNO) FROM main)");
    };
    Store::markChecked(storePath());
    ownWrite([] {});
    EXPECT_TRUE(Store::isMarkedChecked(storePath()));
    // The other writer's commit after ours is not taken as checked.
    ownWrite(otherWrite);
    EXPECT_FALSE(Store::isMarkedChecked(storePath()));
    // Nor is a write before ours: the store was no longer as it was checked.
    ownWrite([] {});
    EXPECT_FALSE(Store::isMarkedChecked(storePath()));

    // The tree check a reader keeps leaves it marked.
    Store::markChecked(storePath());
    NodeModel nodes;
    fillCatalogueTree(db(), QStringLiteral("Disks"), nodes, true);
    EXPECT_EQ(count(QStringLiteral("dbaseName = 'Disks'"), QStringLiteral("tree_checks")), 1);
    EXPECT_TRUE(Store::isMarkedChecked(storePath()));
}

TEST_F(StoreFormatTest, AScanOrAnUpdateMarksTheStoreCheckedOnlyWhenNoOtherWriterCameBetween)
{
    makeFile(QStringLiteral("disk/a.txt"), 10);
    makeFile(QStringLiteral("disk/sub/b.txt"), 20);
    const std::string store = storePath().toStdString();
    auto otherWrite = [store] {
        SQLite::Database other(store, SQLite::OPEN_READWRITE);
        other.setBusyTimeout(5000);
        other.exec("INSERT INTO Projects (FileName) VALUES ('meanwhile')");
    };
    qmtest::WritingFileSystem disk;
    auto scan = [&](bool withOtherWriter) {
        disk.write = withOtherWriter ? std::function<void()>(otherWrite) : nullptr;
        FolderScan scan(db(), QStringLiteral("Disks"), 1, nullptr, disk);
        const QString key = scan.run(startFolderOf(pathOf(QStringLiteral("disk"))));
        EXPECT_FALSE(key.isEmpty()) << scan.failure().toStdString();
        return key;
    };

    Store::markChecked(storePath());
    scan(true);
    EXPECT_FALSE(Store::isMarkedChecked(storePath()));
    EXPECT_EQ(count(QStringLiteral("FileName = 'meanwhile'"), QStringLiteral("Projects")), 1);
    // Unmarked, the scan checks the whole file, and marks it after.
    const QString key = scan(false);
    EXPECT_TRUE(Store::isMarkedChecked(storePath()));

    auto update = [&](bool withOtherWriter) {
        disk.write = withOtherWriter ? std::function<void()>(otherWrite) : nullptr;
        ScanUpdate update(db(), QStringLiteral("Disks"), *findTopFolder(db(), QStringLiteral("Disks"), key), nullptr, disk);
        EXPECT_TRUE(update.run()) << update.failure().toStdString();
    };
    makeFile(QStringLiteral("disk/c.txt"), 30);
    update(true);
    EXPECT_FALSE(Store::isMarkedChecked(storePath()));
    makeFile(QStringLiteral("disk/d.txt"), 40);
    update(false);
    EXPECT_TRUE(Store::isMarkedChecked(storePath()));
    EXPECT_EQ(count(QStringLiteral("dbaseName = 'Disks' AND file_name IN ('c.txt', 'd.txt')")), 2);
}
