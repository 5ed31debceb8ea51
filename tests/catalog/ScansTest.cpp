// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/Scans.h"
#include "catalog/FolderScan.h"
#include "cli/List.h"
#include "platform/FolderLists.h"
#include "support/FormFixture.h"
#include "support/ScratchDisk.h"

#include "main_window/StatusReport.h"
#include <QDateTime>

using namespace qm;

namespace {
using ScansTest = qmtest::StoreTest;
}

TEST_F(ScansTest, EachScanKnowsItsDiskAndTheListTellsIt)
{
    qmtest::ScratchDisk disk(pathOf(QStringLiteral("disk.img")), pathOf(QStringLiteral("mnt")),
        QStringLiteral("HOLIDAYS 24"), QStringLiteral("0b1e7d52-6a55-4c5c-9b1a-2f4a7c3e9d10"));
    if (!disk.mounted())
        GTEST_SKIP() << "no loop mount here: " << disk.problem().toStdString();
    makeFile(QStringLiteral("mnt/photos/a.jpg"), 3000);
    makeFile(QStringLiteral("mnt/photos/b/c.jpg"), 2000);
    makeFile(QStringLiteral("home/notes.txt"), 10);
    // A scan made before disks were recorded.
    addRecord("1>", "0>", "Disks", "/old", "/old/", "0", "", "1>");
    addRecord("2>", "1>", "Disks", "x", "/old/x", "0", "", "1>");

    const qint64 before = QDateTime::currentSecsSinceEpoch();
    for (const char* folder : {"mnt/photos", "home"}) {
        FolderScan scan(db(), QStringLiteral("Disks"), 1);
        scan.run(startFolderOf(pathOf(QString::fromLatin1(folder))));
        ASSERT_TRUE(scan.failure().isEmpty()) << scan.failure().toStdString();
    }

    const std::vector<ScanInfo> scans = listScans(db());
    ASSERT_EQ(scans.size(), 3u);
    EXPECT_FALSE(scans[0].disk.known());
    EXPECT_EQ(scans[0].records, 2); // counted from its records
    const ScanInfo& photos = scans[1];
    EXPECT_EQ(photos.folder, pathOf(QStringLiteral("mnt/photos")));
    EXPECT_EQ(photos.topKey, QStringLiteral("3>"));
    EXPECT_EQ(photos.disk.mountPoint, pathOf(QStringLiteral("mnt")));
    EXPECT_TRUE(photos.disk.device.startsWith(QLatin1String("/dev/loop"))) << photos.disk.device.toStdString();
    EXPECT_TRUE(photos.disk.freeBytes > 0 && photos.disk.freeBytes < photos.disk.totalBytes);
    EXPECT_LT(photos.disk.totalBytes, 8 << 20);
    EXPECT_GE(photos.scanned, before);
    EXPECT_EQ(photos.records, 4);
    EXPECT_EQ(photos.bytes, 5000);
    EXPECT_NE(scans[2].disk.uuid, photos.disk.uuid);
    EXPECT_EQ(scanInfo(db(), QStringLiteral("Disks"), QStringLiteral("3>"))->disk.uuid, photos.disk.uuid);
    EXPECT_TRUE(describeScan(photos).contains(QStringLiteral("Disk HOLIDAYS 24 (ext4, UUID 0b1e7d52")))
        << describeScan(photos).toStdString();

    // Scanning a folder again is noticed; another folder on the disk is not.
    EXPECT_FALSE(earlierScanOfSameFolder(db(), QStringLiteral("Disks"), QStringLiteral("3>")));
    FolderScan again(db(), QStringLiteral("Disks"), 1);
    const QString againKey = again.run(startFolderOf(pathOf(QStringLiteral("mnt/photos"))));
    const auto earlier = earlierScanOfSameFolder(db(), QStringLiteral("Disks"), againKey);
    ASSERT_TRUE(earlier);
    EXPECT_EQ(earlier->topKey, QStringLiteral("3>"));
    EXPECT_TRUE(alreadyCataloguedHint(*earlier).startsWith(QStringLiteral("This folder was already catalogued on ")));
    db().exec("DELETE FROM main WHERE delKey = '" + againKey.toStdString() + "'");

    // The command line prints the same, and forgetting a scan drops its disk.
    EXPECT_EQ(runListCommand({QStringLiteral("--catalogue"), QStringLiteral("Disks")}), 0);
    EXPECT_EQ(runListCommand({QStringLiteral("--bogus")}), 2);
    forgetScan(db(), QStringLiteral("Disks"), QStringLiteral("3>"));
    EXPECT_FALSE(listScans(db())[1].disk.known());
}

TEST_F(ScansTest, ScansMadeBeforeScansWereRecordedAreCountedFromTheirRecordsInEachCatalogue)
{
    // "Big" holds most of the table and "Small" a little of it; both reuse
    // the keys 1> and 5>, stored interleaved, and one record of "Big" has no
    // delete key.
    addRecord("1>", "0>", "Big", "/a", "/a/", "0", "", "1>");
    addRecord("1>", "0>", "Small", "/s", "/s/", "0", "", "1>");
    for (int i = 2; i < 12; ++i)
        addRecord(QStringLiteral("%1>").arg(i), QStringLiteral("1>"), QStringLiteral("Big"), QStringLiteral("f"),
            QStringLiteral("/a/f"), QStringLiteral("0"), QString(), QStringLiteral("1>"));
    addRecord("2>", "1>", "Small", "g", "/s/g", "0", "", "1>");
    addRecord("5>", "0>", "Small", "/t", "/t/", "0", "", "5>");
    addRecord("12>", "0>", "Big", "/b", "/b/", "0", "", "12>");
    addRecord("13>", "12>", "Big", "h", "/b/h", "0", "", "12>");
    addRecord("14>", "12>", "Big", "stray", "/b/stray", "0", "", "");
    db().exec("UPDATE main SET delKey = NULL WHERE file_name = 'stray'");
    // A recorded scan keeps the count it was given.
    makeFile(QStringLiteral("disk/x.txt"), 1);
    FolderScan scan(db(), QStringLiteral("Small"), 1);
    const QString key = scan.run(startFolderOf(pathOf(QStringLiteral("disk"))));

    QStringList counts;
    for (const ScanInfo& s : listScans(db()))
        counts << QStringLiteral("%1 %2 %3").arg(s.catalogue, s.topKey).arg(s.records);
    EXPECT_EQ(counts, (QStringList {QStringLiteral("Big 1> 11"), QStringLiteral("Big 12> 2"),
                          QStringLiteral("Small 1> 2"), QStringLiteral("Small 5> 1"),
                          QStringLiteral("Small %1 2").arg(key)}));
}

TEST_F(FormTest, FolderInformationTellsATopLevelFoldersDiskAndDeleteForgetsIt)
{
    makeFile(QStringLiteral("pics/a.jpg"), 10);
    Form1& f = load(QStringLiteral("Disks"));
    f.setCurrentDatabaseName(QStringLiteral("Disks"));
    ASSERT_TRUE(f.Dir1->setPath(pathOf(QStringLiteral("pics"))));
    f.Command2_Click();
    f.TreeView1->setSelectedItem(f.TreeView1->Nodes().find(QStringLiteral("1>")));
    f.TreeView1_NodeClick(nullptr);
    ASSERT_EQ(f.ListView2->topLevelItemCount(), 1);
    const QString tip = f.ListView2->topLevelItem(0)->toolTip(0);
    EXPECT_TRUE(tip.startsWith(QStringLiteral("Disk ")) && tip.contains(QStringLiteral("scanned ")))
        << tip.toStdString();
    // A file shows no disk.
    f.TreeView1->setSelectedItem(f.TreeView1->Nodes().reveal(QStringLiteral("2>")));
    f.TreeView1_NodeClick(nullptr);
    EXPECT_TRUE(f.ListView2->topLevelItem(0)->toolTip(0).isEmpty());

    // The same folder again is told about in the status bar.
    f.Command2_Click();
    EXPECT_TRUE(f.status().text().contains(QStringLiteral("already catalogued"))) << f.status().text().toStdString();

    f.TreeView1->setSelectedItem(f.TreeView1->Nodes().find(QStringLiteral("1>")));
    f.Command7_Click();
    EXPECT_EQ(count({}, QStringLiteral("scans")), 1);
}
