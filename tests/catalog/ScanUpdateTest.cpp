// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/update/ScanUpdate.h"
#include "../main_window/ScanSupport.h"
#include "catalog/FolderScan.h"
#include "catalog/Scans.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>

#include <thread>

using namespace qm;

namespace {

// Answers every progress report; cancels at report `cancelAt` (counted from 1).
struct Progress : ScanListener {
    int calls = 0;
    int cancelAt = 0;
    void entryStored(const ScannedEntry&) override { }
    bool progress(std::int64_t, const QString&) override { return ++calls != cancelAt; }
};

class ScanUpdateTest : public qmtest::StoreTest {
protected:
    // Scans `relative` into catalogue "Disks"; returns its top-level folder.
    TopFolder scan(const QString& relative)
    {
        FolderScan scan(db(), QStringLiteral("Disks"), 1);
        const QString key = scan.run(startFolderOf(pathOf(relative)));
        EXPECT_FALSE(key.isEmpty()) << scan.failure().toStdString();
        return *findTopFolder(db(), QStringLiteral("Disks"), key);
    }
    UpdateCounts update(const TopFolder& top, ScanListener* listener = nullptr)
    {
        ScanUpdate update(db(), QStringLiteral("Disks"), top, listener);
        update.setProgressInterval(std::chrono::milliseconds(0));
        // What an update writes, whatever it removes (when it asks first is UpdateSafetyTest's).
        update.setConfirm([](const UpdateRisk&) { return true; });
        EXPECT_TRUE(update.run()) << update.failure().toStdString();
        return update.counts();
    }
    // "SrNO ID" of a path's record.
    QString identity(const QString& relative)
    {
        const QStringList found
            = texts(QStringLiteral("SELECT SrNO || ' ' || ID FROM main WHERE path = '%1'").arg(pathOf(relative)));
        return found.size() == 1 ? found.front() : QStringLiteral("<%1 records>").arg(found.size());
    }
    // Every column of every record, in SrNO order.
    QStringList table()
    {
        return texts(QStringLiteral("SELECT SrNO || '|' || ID || '|' || Parent || '|' || path || '|' || "
                                    "size || '|' || date || '|' || delKey || '|' || coalesce(bytes, '') "
                                    "FROM main ORDER BY SrNO"));
    }
    // path|size|date of a catalogue's records, sorted: what a scan says of the tree.
    QStringList contents(const QString& catalogue, const QString& top)
    {
        return texts(QStringLiteral("SELECT substr(path, %1) || '|' || size || '|' || date || '|' || bytes "
                                    "FROM main WHERE dbaseName = '%2' ORDER BY 1")
                         .arg(top.size() + 1)
                         .arg(catalogue));
    }
};

} // namespace

TEST_F(ScanUpdateTest, ChangesComeInKeysAndNotesStayNewRecordsFollowTheirFolders)
{
    for (const char* file : {"disk/a.txt", "disk/b.txt", "disk/sub/c.txt", "disk/sub/deep/d.txt", "disk/old/e.txt"})
        makeFile(QString::fromLatin1(file), 10);
    const TopFolder top = scan(QStringLiteral("disk"));
    const std::int64_t highestBefore = texts(QStringLiteral("SELECT max(CAST(ID AS INTEGER)) FROM main")).front().toLongLong();
    const long long lastSrNo = texts(QStringLiteral("SELECT max(SrNO) FROM main")).front().toLongLong();
    const QString a = identity(QStringLiteral("disk/a.txt"));
    const QString c = identity(QStringLiteral("disk/sub/c.txt"));
    const QString sub = identity(QStringLiteral("disk/sub/"));
    // A register note on a.txt, keyed by its node as the register window keys it.
    db().exec("INSERT INTO Projects (ID, FileName) SELECT ID, file_name FROM main WHERE file_name = 'a.txt'");

    // Grown, removed, renamed, added, and a folder moved inside the tree.
    makeFile(QStringLiteral("disk/a.txt"), 5000);
    ASSERT_TRUE(QDir(pathOf(QStringLiteral("disk/old"))).removeRecursively());
    ASSERT_TRUE(QFile::rename(pathOf(QStringLiteral("disk/b.txt")), pathOf(QStringLiteral("disk/b2.txt"))));
    makeFile(QStringLiteral("disk/sub/new.txt"), 7);
    makeFile(QStringLiteral("disk/newdir/f.txt"), 3);
    ASSERT_TRUE(QDir().rename(pathOf(QStringLiteral("disk/sub/deep")), pathOf(QStringLiteral("disk/deep"))));

    const UpdateCounts counts = update(top);
    EXPECT_EQ(counts.added, 6); // b2.txt, sub/new.txt, newdir/, newdir/f.txt, deep/, deep/d.txt
    EXPECT_EQ(counts.removed, 5); // b.txt, old/, old/e.txt, sub/deep/, sub/deep/d.txt
    EXPECT_GE(counts.changed, 1); // a.txt, and the folders whose sizes followed
    EXPECT_EQ(counts.added + counts.changed + counts.unchanged,
        count(QStringLiteral("dbaseName = 'Disks' AND delKey = '%1'").arg(top.key)));

    // What stayed kept its key and serial number; the note is still on a.txt.
    EXPECT_EQ(identity(QStringLiteral("disk/a.txt")), a);
    EXPECT_EQ(identity(QStringLiteral("disk/sub/c.txt")), c);
    EXPECT_EQ(identity(QStringLiteral("disk/sub/")), sub);
    EXPECT_EQ(texts(QStringLiteral("SELECT m.file_name || ' ' || m.size FROM Projects p JOIN main m ON m.ID = p.ID")),
        QStringList {QStringLiteral("a.txt  4.88 KB")});

    // New records: keys above every key the catalogue had, stored after
    // every record there was, each after its folder's record.
    EXPECT_EQ(count(QStringLiteral("SrNO > %1 AND CAST(ID AS INTEGER) <= %2").arg(lastSrNo).arg(highestBefore)), 0);
    EXPECT_EQ(count(QStringLiteral("SrNO > %1").arg(lastSrNo)), 6);
    EXPECT_EQ(count(QStringLiteral("Parent <> '0>' AND NOT EXISTS (SELECT 1 FROM main p WHERE p.ID = main.Parent "
                                   "AND p.dbaseName = main.dbaseName AND p.SrNO < main.SrNO "
                                   "AND main.path = p.path || main.file_name || "
                                   "CASE WHEN main.path LIKE '%/' THEN '/' ELSE '' END)")),
        0);

    // The catalogue now says of the tree what a fresh scan says.
    FolderScan fresh(db(), QStringLiteral("Fresh"), 1);
    fresh.run(startFolderOf(pathOf(QStringLiteral("disk"))));
    EXPECT_EQ(contents(QStringLiteral("Disks"), pathOf(QStringLiteral("disk"))),
        contents(QStringLiteral("Fresh"), pathOf(QStringLiteral("disk"))));
    // And the table of scans counts what the scan holds.
    EXPECT_EQ(scanInfo(db(), QStringLiteral("Disks"), top.key)->records,
        count(QStringLiteral("dbaseName = 'Disks' AND delKey = '%1'").arg(top.key)));

    // Nothing changed since: all unchanged, nothing written.
    const QStringList before = table();
    const UpdateCounts again = update(top);
    EXPECT_EQ(again.added + again.removed + again.changed, 0);
    EXPECT_EQ(again.unchanged, count(QStringLiteral("dbaseName = 'Disks' AND delKey = '%1'").arg(top.key)));
    EXPECT_EQ(table(), before);
}

TEST_F(ScanUpdateTest, CancelFailureAndAMissingFolderLeaveTheOldScan)
{
    for (int i = 0; i < 40; ++i)
        makeFile(QStringLiteral("disk/f%1/file.txt").arg(i), i);
    const TopFolder top = scan(QStringLiteral("disk"));
    makeFile(QStringLiteral("disk/added.txt"), 1);
    ASSERT_TRUE(QFile::remove(pathOf(QStringLiteral("disk/f3/file.txt"))));
    const QStringList before = table();

    // How many reports a whole run makes, counted on a copy of the store.
    Progress counter;
    {
        ASSERT_TRUE(QFile::copy(storePath(), pathOf(QStringLiteral("copy.mdb"))));
        SQLite::Database copy(pathOf(QStringLiteral("copy.mdb")).toStdString(), SQLite::OPEN_READWRITE);
        ScanUpdate counting(copy, QStringLiteral("Disks"), top, &counter);
        counting.setProgressInterval(std::chrono::milliseconds(0));
        ASSERT_TRUE(counting.run());
        EXPECT_EQ(counting.counts().added, 1);
        EXPECT_EQ(counting.counts().removed, 1);
    }
    // Cancelled at the first report (walking) and at the last (every write done).
    for (int cancelAt : {1, counter.calls}) {
        Progress listener;
        listener.cancelAt = cancelAt;
        ScanUpdate cancelled(db(), QStringLiteral("Disks"), top, &listener);
        cancelled.setProgressInterval(std::chrono::milliseconds(0));
        EXPECT_FALSE(cancelled.run());
        EXPECT_TRUE(cancelled.cancelled());
        EXPECT_TRUE(cancelled.failure().isEmpty());
        EXPECT_EQ(table(), before) << "cancelled at report " << cancelAt << " of " << counter.calls;
    }

    // Another writer holds the store: told, nothing written, no hang.
    {
        SQLite::Database other(storePath().toStdString(), SQLite::OPEN_READWRITE);
        other.exec("BEGIN IMMEDIATE");
        db().setBusyTimeout(100);
        ScanUpdate blocked(db(), QStringLiteral("Disks"), top);
        EXPECT_FALSE(blocked.run());
        EXPECT_FALSE(blocked.failure().isEmpty());
        other.exec("ROLLBACK");
    }
    EXPECT_EQ(table(), before);

    // The folder is gone (a disk not mounted): told, nothing written.
    ASSERT_TRUE(QDir().rename(pathOf(QStringLiteral("disk")), pathOf(QStringLiteral("elsewhere"))));
    ScanUpdate missing(db(), QStringLiteral("Disks"), top);
    EXPECT_FALSE(missing.run());
    EXPECT_TRUE(missing.failure().contains(QStringLiteral("cannot be read"))) << missing.failure().toStdString();
    EXPECT_EQ(table(), before);
}

TEST_F(ScanUpdateTest, UnreadableEntriesKeepTheirRecordsAndOlderRecordsGetTheirNumbers)
{
    for (const char* file : {"disk/a.txt", "disk/locked/b.txt", "disk/locked/in/c.txt", "disk/gone.txt"})
        makeFile(QString::fromLatin1(file), 100);
    const TopFolder top = scan(QStringLiteral("disk"));
    // Records as an older store holds them: texts without numbers, no disk recorded.
    db().exec("UPDATE main SET bytes = NULL, created = NULL, modified = NULL");
    db().exec("DELETE FROM scans");

    // The top folder found by key with or without ">" and by path, not in another catalogue.
    for (const QString& name : {top.key, top.key.chopped(1), pathOf(QStringLiteral("disk")),
             pathOf(QStringLiteral("disk/"))})
        EXPECT_EQ(findTopFolder(db(), QStringLiteral("Disks"), name).value_or(TopFolder {}).key, top.key)
            << name.toStdString();
    EXPECT_FALSE(findTopFolder(db(), QStringLiteral("Other"), top.key));
    EXPECT_FALSE(findTopFolder(db(), QStringLiteral("Disks"), pathOf(QStringLiteral("disk/locked"))));

    scantest::FaultyFileSystem faulty;
    faulty.unreadableFolders = {"locked"};
    faulty.vanished = {"gone.txt"}; // the entry is listed but cannot be looked at
    ScanUpdate update(db(), QStringLiteral("Disks"), top);
    ASSERT_TRUE(update.run()) << update.failure().toStdString();
    EXPECT_EQ(update.skippedCount(), 2);
    EXPECT_TRUE(skippedReport(update.skippedCount(), update.firstSkipped()).contains(QStringLiteral("locked")));
    // locked/, locked/b.txt, locked/in/, locked/in/c.txt and gone.txt stay as they were.
    const UpdateCounts& c = update.counts();
    EXPECT_EQ(c.unread, 5);
    EXPECT_EQ(c.removed, 0);
    EXPECT_EQ(c.added, 0);
    EXPECT_EQ(count(QStringLiteral("dbaseName = 'Disks'")), 7);
    EXPECT_TRUE(updateSummary(c).contains(QStringLiteral("5 kept as they were")));
    // The numbers an older store lacked are there now, without counting as changes.
    EXPECT_EQ(count(QStringLiteral("bytes IS NULL AND path NOT LIKE '%locked%' AND path NOT LIKE '%gone%'")), 0);
    // Only the top folder changed: its size counts what could be read, as a scan's does.
    EXPECT_EQ(c.changed, 1);
    EXPECT_EQ(texts(QStringLiteral("SELECT size FROM main WHERE ID = '%1'").arg(top.key)), QStringList {QStringLiteral("100")});
    // The disk it was read from is recorded now.
    EXPECT_TRUE(scanInfo(db(), QStringLiteral("Disks"), top.key)->disk.known());
}

TEST_F(ScanUpdateTest, AnotherWriterDuringTheWalkIsSeenByTheUpdate)
{
    for (int i = 0; i < 60; ++i)
        makeFile(QStringLiteral("disk/f%1.txt").arg(i), i);
    const TopFolder top = scan(QStringLiteral("disk"));
    // While the update walks, another program deletes a record of the scan
    // and adds a record to another catalogue.
    struct Writer : ScanListener {
        QString store;
        bool done = false;
        void entryStored(const ScannedEntry&) override { }
        bool progress(std::int64_t, const QString&) override
        {
            if (!done) {
                std::this_thread::sleep_for(std::chrono::milliseconds(200)); // the records are read meanwhile
                SQLite::Database other(store.toStdString(), SQLite::OPEN_READWRITE);
                other.exec("DELETE FROM main WHERE file_name = 'f7.txt'");
                other.exec("INSERT INTO main (ID, Parent, dbaseName, file_name, path) VALUES ('1>', '0>', 'Else', 'x', '/x/')");
                done = true;
            }
            return true;
        }
    } writer;
    writer.store = storePath();
    ScanUpdate update(db(), QStringLiteral("Disks"), top, &writer);
    update.setProgressInterval(std::chrono::milliseconds(0));
    ASSERT_TRUE(update.run()) << update.failure().toStdString();
    ASSERT_TRUE(writer.done);
    // f7.txt is still on the disk: the update stores it again; nothing else changed.
    EXPECT_EQ(update.counts().added, 1);
    EXPECT_EQ(update.counts().removed, 0);
    EXPECT_EQ(count(QStringLiteral("dbaseName = 'Disks' AND file_name = 'f7.txt'")), 1);
    EXPECT_EQ(count(QStringLiteral("dbaseName = 'Disks'")), 61);
}

TEST_F(ScanUpdateTest, ManyBatchesCompareAsTheyComeAndAStopMidWalkLeavesTheOldScan)
{
    // Entries enough for several hand-overs, folders ending in later batches than they began.
    for (int d = 0; d < 24; ++d)
        for (int f = 0; f < 250; ++f)
            makeFile(QStringLiteral("disk/d%1/f%2.txt").arg(d).arg(f), f);
    const TopFolder top = scan(QStringLiteral("disk"));
    for (int d = 0; d < 24; d += 5)
        for (int f = d; f < 250; f += 61)
            makeFile(QStringLiteral("disk/d%1/f%2.txt").arg(d).arg(f), 1000 + f); // grown
    for (int d = 1; d < 24; d += 7)
        makeFile(QStringLiteral("disk/d%1/new.txt").arg(d), 3);
    makeFile(QStringLiteral("disk/d9/sub/g.txt"), 4);
    ASSERT_TRUE(QDir(pathOf(QStringLiteral("disk/d13"))).removeRecursively());
    const QStringList before = table();

    // Cancelled, and failed by the listener, halfway through the walk.
    struct Failing : Progress {
        bool progress(std::int64_t entries, const QString& folder) override
        {
            if (Progress::progress(entries, folder))
                return true;
            throw std::runtime_error("listener failed");
        }
    };
    Progress cancelling;
    Failing failing;
    for (Progress* listener : {&cancelling, static_cast<Progress*>(&failing)}) {
        listener->cancelAt = 200; // of about 370 reports of the walk
        ScanUpdate stopped(db(), QStringLiteral("Disks"), top, listener);
        stopped.setProgressInterval(std::chrono::milliseconds(0));
        EXPECT_FALSE(stopped.run());
        EXPECT_EQ(listener->calls, 200) << "no report after the stop";
        EXPECT_EQ(stopped.cancelled(), listener == &cancelling);
        EXPECT_EQ(stopped.failure(), listener == &cancelling ? QString() : QStringLiteral("listener failed"));
        EXPECT_EQ(table(), before);
    }

    const UpdateCounts counts = update(top);
    EXPECT_EQ(counts.added, 6); // four new.txt, sub/ and sub/g.txt
    EXPECT_EQ(counts.removed, 251); // d13/ and its files
    FolderScan fresh(db(), QStringLiteral("Fresh"), 1);
    fresh.run(startFolderOf(pathOf(QStringLiteral("disk"))));
    EXPECT_EQ(contents(QStringLiteral("Disks"), pathOf(QStringLiteral("disk"))),
        contents(QStringLiteral("Fresh"), pathOf(QStringLiteral("disk"))));
}
