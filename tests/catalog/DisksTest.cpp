// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/Disks.h"
#include "catalog/FolderScan.h"
#include "catalog/store/Store.h"
#include "find/Query.h"
#include "find/SearchIndex.h"
#include "support/ScratchDisk.h"
#include "support/TestSupport.h"

#include <SQLiteCpp/Statement.h>

using namespace qm;

namespace {

using DisksTest = qmtest::StoreTest;

constexpr const char* kPhotosUuid = "5a1d2c3e-0f9b-4e21-8c77-19a0b2c3d4e5";
constexpr const char* kShelvedUuid = "0000aaaa-1111-4222-8333-444455556666";

} // namespace

// Three scans of two disks: two folders of a labelled disk mounted now, and
// a disk on the shelf whose scan was recorded earlier.
TEST_F(DisksTest, RowsTellEachScansDiskWhetherItIsConnectedAndWhereItIsKept)
{
    qmtest::ScratchDisk disk(pathOf(QStringLiteral("disk.img")), pathOf(QStringLiteral("mnt")),
        QStringLiteral("PHOTOS_2019"), QString::fromLatin1(kPhotosUuid));
    if (!disk.mounted())
        GTEST_SKIP() << "no loop mount here: " << disk.problem().toStdString();
    makeFile(QStringLiteral("mnt/raw/a.cr2"), 3000);
    makeFile(QStringLiteral("mnt/jpg/b.jpg"), 2000);
    addRecord("1>", "0>", "Archive", "/media/shelf", "/media/shelf/", "0", "", "1>");
    addRecord("2>", "1>", "Archive", "old.txt", "/media/shelf/old.txt", "0", "", "1>");
    db().exec(std::string("INSERT INTO scans (dbaseName, topKey, scanned, label, uuid, fsType, mountPoint, totalBytes, "
                          "freeBytes, records) VALUES ('Archive', '1>', 1700000000, 'OLD_BACKUP', '")
        + kShelvedUuid + "', 'vfat', '/media/shelf', 1000, 400, 2)");
    for (const char* folder : {"mnt/raw", "mnt/jpg"}) {
        FolderScan scan(db(), QStringLiteral("Photos"), 1);
        scan.run(startFolderOf(pathOf(QString::fromLatin1(folder))));
        ASSERT_TRUE(scan.failure().isEmpty()) << scan.failure().toStdString();
    }

    std::vector<DiskRow> rows = diskRows(db(), mountedDisks());
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].scan.catalogue, QStringLiteral("Archive"));
    EXPECT_TRUE(rows[0].connectedAt.isEmpty());
    QStringList cells = diskCells(rows[0], false);
    EXPECT_EQ(cells[kConnectedColumn], QStringLiteral("not connected"));
    EXPECT_EQ(cells[kUsedColumn], QStringLiteral("600 bytes"));
    EXPECT_EQ(cells[kRecordsColumn], QStringLiteral("2"));
    for (size_t i = 1; i < 3; ++i) {
        EXPECT_EQ(rows[i].scan.disk.label, QStringLiteral("PHOTOS_2019"));
        EXPECT_EQ(rows[i].scan.disk.uuid, QString::fromLatin1(kPhotosUuid));
        EXPECT_EQ(rows[i].connectedAt, pathOf(QStringLiteral("mnt")));
        EXPECT_EQ(diskCells(rows[i], true)[kConnectedColumn], pathOf(QStringLiteral("mnt")));
    }
    EXPECT_EQ(rows[1].scan.records, 2);
    EXPECT_EQ(diskCells(rows[1], true)[kBytesColumn], QStringLiteral("3000"));

    // The label names both scans of one disk: one place for both.
    DiskChoice choice = chooseDisk(db(), QStringLiteral("PHOTOS_2019"), std::nullopt);
    ASSERT_EQ(choice.uuid, QString::fromLatin1(kPhotosUuid)) << choice.problem.toStdString();
    EXPECT_EQ(choice.candidates.size(), 2u);
    setDiskPlace(db(), choice.uuid, PlaceField::Location, QStringLiteral("shelf 3, box B"));
    setDiskPlace(db(), choice.uuid, PlaceField::Note, QStringLiteral("RAW files, 2019"));
    rows = diskRows(db(), mountedDisks());
    EXPECT_TRUE(rows[0].scan.location.isEmpty());
    EXPECT_EQ(rows[1].scan.location, QStringLiteral("shelf 3, box B"));
    EXPECT_EQ(rows[2].scan.location, QStringLiteral("shelf 3, box B"));
    EXPECT_EQ(diskCells(rows[2], false)[kNoteColumn], QStringLiteral("RAW files, 2019"));

    // Find's disk tooltip names the place and whether the disk is there.
    {
        find::SearchIndex index(storePath());
        index.sync();
        std::vector<std::uint32_t> found;
        const find::Query query = find::parseQuery(QStringLiteral("a.cr2")).query;
        index.search(query, [&](std::uint32_t e) { found.push_back(e); return true; });
        ASSERT_EQ(found.size(), 1u);
        const find::Hit hit = index.details(found).front();
        EXPECT_EQ(hit.location, QStringLiteral("shelf 3, box B"));
        EXPECT_TRUE(hit.diskDetails.contains(QStringLiteral("Kept at: shelf 3, box B"))) << hit.diskDetails.toStdString();
        EXPECT_TRUE(hit.diskDetails.contains(QStringLiteral("Connected now at ") + pathOf(QStringLiteral("mnt"))));
    }

    // Unplugged: the rows say so and keep the place.
    disk.unmount();
    rows = diskRows(db(), mountedDisks());
    EXPECT_TRUE(rows[1].connectedAt.isEmpty());
    EXPECT_EQ(diskCells(rows[1], false)[kConnectedColumn], QStringLiteral("not connected"));
    EXPECT_EQ(rows[1].scan.location, QStringLiteral("shelf 3, box B"));

    // Clearing both fields leaves no row behind.
    setDiskPlace(db(), choice.uuid, PlaceField::Location, {});
    setDiskPlace(db(), choice.uuid, PlaceField::Note, {});
    EXPECT_EQ(count({}, QStringLiteral("disk_places")), 0);
}

TEST_F(DisksTest, ANameMustChooseOneRecordedDisk)
{
    addRecord("1>", "0>", "A", "/media/x", "/media/x/", "0", "", "1>");
    addRecord("2>", "0>", "A", "/media/y", "/media/y/", "0", "", "2>");
    addRecord("3>", "0>", "A", "/old", "/old/", "0", "", "3>");
    addRecord("1>", "0>", "B", "/media/x", "/media/x/", "0", "", "1>");
    db().exec("INSERT INTO scans (dbaseName, topKey, label, uuid, mountPoint) VALUES "
              "('A', '1>', 'BACKUP', 'U-1', '/media/x'), ('A', '2>', 'BACKUP', 'U-2', '/media/y'), "
              "('B', '1>', 'OTHER', 'U-3', '/media/x')");

    // Two disks share a label: nothing chosen, both listed.
    DiskChoice choice = chooseDisk(db(), QStringLiteral("BACKUP"), std::nullopt);
    EXPECT_TRUE(choice.uuid.isEmpty());
    EXPECT_TRUE(choice.problem.contains(QStringLiteral("more than one disk")));
    ASSERT_EQ(choice.candidates.size(), 2u);
    EXPECT_TRUE(scanNameLine(choice.candidates[1]).contains(QStringLiteral("UUID U-2")));
    // A UUID, a top folder within one catalogue, a key: one disk each.
    EXPECT_EQ(chooseDisk(db(), QStringLiteral("U-2"), std::nullopt).uuid, QStringLiteral("U-2"));
    EXPECT_EQ(chooseDisk(db(), QStringLiteral("/media/x"), QStringLiteral("B")).uuid, QStringLiteral("U-3"));
    EXPECT_TRUE(chooseDisk(db(), QStringLiteral("/media/x"), std::nullopt).uuid.isEmpty());
    EXPECT_EQ(chooseDisk(db(), QStringLiteral("2>"), QStringLiteral("A")).uuid, QStringLiteral("U-2"));
    // Names compare exactly; a scan without a recorded disk takes no place.
    EXPECT_TRUE(chooseDisk(db(), QStringLiteral("backup"), std::nullopt).candidates.empty());
    const DiskChoice old = chooseDisk(db(), QStringLiteral("/old"), std::nullopt);
    EXPECT_TRUE(old.uuid.isEmpty());
    EXPECT_TRUE(old.problem.contains(QStringLiteral("was not recorded")));

    // The place belongs to the disk: a deleted scan of it leaves it, and a
    // scan of the same disk later shows it again.
    setDiskPlace(db(), QStringLiteral("U-1"), PlaceField::Location, QStringLiteral("drawer"));
    forgetScan(db(), QStringLiteral("A"), QStringLiteral("1>"));
    db().exec("DELETE FROM main WHERE dbaseName = 'A' AND delKey = '1>'");
    EXPECT_EQ(count(QStringLiteral("uuid = 'U-1'"), QStringLiteral("disk_places")), 1);
    addRecord("4>", "0>", "A", "/media/x", "/media/x/", "0", "", "4>");
    db().exec("INSERT INTO scans (dbaseName, topKey, label, uuid, mountPoint) VALUES ('A', '4>', 'BACKUP', 'U-1', '/media/x')");
    EXPECT_EQ(scanInfo(db(), QStringLiteral("A"), QStringLiteral("4>"))->location, QStringLiteral("drawer"));
}

TEST_F(DisksTest, AStoreOfTheFormerFormatGainsPlacesWithEveryRecord)
{
    resetConnection();
    QFile::remove(storePath());
    ASSERT_TRUE(Store::create(storePath(), 4).isEmpty());
    {
        SQLite::Database old(storePath().toStdString(), SQLite::OPEN_READWRITE);
        old.exec("INSERT INTO main (ID, Parent, dbaseName, file_name, path, delKey) VALUES ('1>', '0>', 'A', '/x', '/x/', '1>')");
        old.exec("INSERT INTO scans (dbaseName, topKey, uuid) VALUES ('A', '1>', 'U-1')");
    }
    ASSERT_TRUE(Store::prepare(storePath()).isEmpty());
    EXPECT_EQ(db().execAndGet("PRAGMA user_version").getInt(), Store::kFormat);
    EXPECT_EQ(count(), 1);
    setDiskPlace(db(), QStringLiteral("U-1"), PlaceField::Location, QStringLiteral("attic"));
    EXPECT_EQ(listScans(db()).front().location, QStringLiteral("attic"));
}
