// SPDX-License-Identifier: GPL-3.0-or-later
#include "ProgramTest.h"
#include "support/ScratchDisk.h"

#include <QDir>
#include <QFile>

using qmtest::Outcome;

namespace {

class DisksCommand : public qmtest::ProgramTest {
protected:
    Outcome run(const QStringList& args, bool asNobody = false) { return inOwnHome(args, asNobody); }
    // Two scans of a disk on the shelf, one of a disk never recorded.
    void shelvedScans()
    {
        addRecord("1>", "0>", "Photos", "/media/p/2019", "/media/p/2019/", "0", "", "1>");
        addRecord("2>", "1>", "Photos", "IMG_0042.jpg", "/media/p/2019/IMG_0042.jpg", "0", "", "1>");
        addRecord("3>", "0>", "Photos", "/media/p/2020", "/media/p/2020/", "0", "", "3>");
        addRecord("4>", "0>", "Photos", "/old", "/old/", "0", "", "4>");
        db().exec("INSERT INTO scans (dbaseName, topKey, scanned, label, uuid, fsType, mountPoint, totalBytes, freeBytes, "
                  "records) VALUES ('Photos', '1>', 1700000000, 'PHOTOS_2019', 'AAAA-0001', 'exfat', '/media/p', 2000, 500, 2),"
                  "('Photos', '3>', 1700000100, 'PHOTOS_2019', 'AAAA-0001', 'exfat', '/media/p', 2000, 400, 1)");
    }
};

} // namespace

TEST_F(DisksCommand, ALocationSetFromAScriptShowsInDisksListFindAndExport)
{
    shelvedScans();
    Outcome set = run({QStringLiteral("disks"), QStringLiteral("--set-location"), QStringLiteral("PHOTOS_2019"),
        QStringLiteral("shelf 3, box B")});
    ASSERT_EQ(set.status, 0) << set.err.toStdString();
    EXPECT_TRUE(set.out.contains(QStringLiteral("Location of disk AAAA-0001 set to \"shelf 3, box B\".")));
    ASSERT_EQ(run({QStringLiteral("disks"), QStringLiteral("--set-note"), QStringLiteral("AAAA-0001"), QStringLiteral("RAW, \"2019\"")}).status, 0);

    const Outcome csv = run({QStringLiteral("disks"), QStringLiteral("--csv")});
    ASSERT_EQ(csv.status, 0) << csv.err.toStdString();
    const QStringList lines = csv.out.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 4) << csv.out.toStdString();
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("Catalogue,Top folder,Label,UUID,Type,Capacity,Used,Free,Records,Bytes,")));
    EXPECT_TRUE(lines[0].endsWith(QStringLiteral(",Connected,Location,Note")));
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("Photos,/media/p/2019,PHOTOS_2019,AAAA-0001,exfat,2000,1500,500,2,")))
        << lines[1].toStdString();
    EXPECT_TRUE(lines[1].endsWith(QStringLiteral(",,\"shelf 3, box B\",\"RAW, \"\"2019\"\"\""))) << lines[1].toStdString();
    EXPECT_TRUE(lines[2].contains(QStringLiteral(",\"shelf 3, box B\",")));
    EXPECT_TRUE(lines[3].startsWith(QStringLiteral("Photos,/old,,,,,,,1,"))) << lines[3].toStdString();

    const Outcome people = run({QStringLiteral("disks")});
    EXPECT_TRUE(people.out.contains(QStringLiteral("connected: not connected")));
    EXPECT_TRUE(people.out.contains(QStringLiteral("location: shelf 3, box B")));

    const Outcome list = run({QStringLiteral("list")});
    EXPECT_EQ(list.status, 0);
    EXPECT_EQ(list.out.count(QStringLiteral("    location: shelf 3, box B\n")), 2) << list.out.toStdString();

    const Outcome found = run({QStringLiteral("find"), QStringLiteral("IMG_0042"), QStringLiteral("--csv")});
    EXPECT_EQ(found.status, 0) << found.err.toStdString();
    EXPECT_TRUE(found.out.startsWith(QStringLiteral("catalogue,path,bytes,date,location,modified,details\r\n")));
    EXPECT_TRUE(found.out.contains(QStringLiteral("/media/p/2019/IMG_0042.jpg,")) && found.out.endsWith(QStringLiteral(",\"shelf 3, box B\",,\r\n")))
        << found.out.toStdString();

    const Outcome exported = run({QStringLiteral("export"), QStringLiteral("Photos")});
    EXPECT_EQ(exported.status, 0) << exported.err.toStdString();
    EXPECT_TRUE(exported.out.contains(QStringLiteral(",location\r\n")));
    EXPECT_EQ(exported.out.count(QStringLiteral(",\"shelf 3, box B\"\r\n")), 3) << exported.out.toStdString();

    // An empty text clears it.
    EXPECT_EQ(run({QStringLiteral("disks"), QStringLiteral("--set-location"), QStringLiteral("PHOTOS_2019"), QString()}).status, 0);
    EXPECT_FALSE(run({QStringLiteral("list")}).out.contains(QStringLiteral("location:")));
}

TEST_F(DisksCommand, ANameThatDoesNotChooseOneDiskWritesNothing)
{
    shelvedScans();
    db().exec("UPDATE scans SET uuid = 'BBBB-0002' WHERE topKey = '3>'");
    const Outcome two = run({QStringLiteral("disks"), QStringLiteral("--set-location"), QStringLiteral("PHOTOS_2019"), QStringLiteral("x")});
    EXPECT_EQ(two.status, 1);
    EXPECT_TRUE(two.err.contains(QStringLiteral("\"PHOTOS_2019\" names scans of more than one disk:")));
    EXPECT_TRUE(two.err.contains(QStringLiteral("UUID AAAA-0001")) && two.err.contains(QStringLiteral("UUID BBBB-0002")));
    const Outcome none = run({QStringLiteral("disks"), QStringLiteral("--set-note"), QStringLiteral("no such disk"), QStringLiteral("x")});
    EXPECT_EQ(none.status, 1);
    EXPECT_TRUE(none.err.contains(QStringLiteral("named \"no such disk\".")));
    const Outcome old = run({QStringLiteral("disks"), QStringLiteral("--set-location"), QStringLiteral("/old"), QStringLiteral("x")});
    EXPECT_EQ(old.status, 1);
    EXPECT_TRUE(old.err.contains(QStringLiteral("was not recorded")));
    EXPECT_EQ(count({}, QStringLiteral("disk_places")), 0);
    EXPECT_EQ(run({QStringLiteral("disks"), QStringLiteral("--set-location"), QStringLiteral("PHOTOS_2019")}).status, 2);
}

// An ordinary user cannot read the device's superblock; without udev's links
// the label comes from UDisks2 on the system bus.
TEST_F(DisksCommand, AnOrdinaryUserLearnsTheLabelOfALoopDisk)
{
    if (!QFile::exists(QStringLiteral("/run/dbus/system_bus_socket")))
        GTEST_SKIP() << "no system bus here, so no UDisks2 to ask";
    qmtest::ScratchDisk disk(pathOf(QStringLiteral("disk.img")), pathOf(QStringLiteral("mnt")),
        QStringLiteral("PHOTOS_2019"), QStringLiteral("5a1d2c3e-0f9b-4e21-8c77-19a0b2c3d4e5"));
    if (!disk.mounted())
        GTEST_SKIP() << "no loop mount here: " << disk.problem().toStdString();
    makeFile(QStringLiteral("mnt/a.jpg"), 10);
    // mkfs's lost+found is root's alone: the user's scan would skip it (exit 3).
    QDir(pathOf(QStringLiteral("mnt/lost+found"))).removeRecursively();
    for (const QString& path : {folder(), storePath(), pathOf(QStringLiteral("mnt")), pathOf(QStringLiteral("mnt/a.jpg"))})
        QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::WriteOther | QFileDevice::ReadOther | QFileDevice::ExeOther);
    const Outcome add = run({QStringLiteral("add-folder"), pathOf(QStringLiteral("mnt")), QStringLiteral("--name"), QStringLiteral("U")}, true);
    if (add.status == 126)
        GTEST_SKIP() << "cannot run as nobody here";
    ASSERT_EQ(add.status, 0) << add.err.toStdString();
    const Outcome list = run({QStringLiteral("list")});
    if (list.out.contains(QStringLiteral("disk: (no label)")))
        GTEST_SKIP() << "UDisks2 did not answer on the system bus: " << list.out.toStdString();
    EXPECT_TRUE(list.out.contains(QStringLiteral("disk: PHOTOS_2019  UUID 5a1d2c3e-0f9b-4e21-8c77-19a0b2c3d4e5")))
        << list.out.toStdString();
}
