// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/FolderScan.h"
#include "platform/Numbers.h"
#include "catalog/update/ScanUpdate.h"
#include "catalog/Scans.h"
#include "catalog/update/UpdateSafety.h"
#include "support/ScratchDisk.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>

using namespace qm;

namespace {

constexpr auto kPhotosUuid = "5d0c3a8e-1f27-4b6e-a9c1-7e2f4d6b8a01";

class UpdateSafetyTest : public qmtest::StoreTest {
protected:
    TopFolder scan(const QString& relative)
    {
        FolderScan scan(db(), QStringLiteral("Disks"), 1);
        const QString key = scan.run(startFolderOf(pathOf(relative)));
        EXPECT_FALSE(key.isEmpty()) << scan.failure().toStdString();
        return *findTopFolder(db(), QStringLiteral("Disks"), key);
    }
    struct Run {
        bool done = false, refused = false;
        std::optional<UpdateRisk> asked;
        QString failure;
        UpdateCounts counts;
    };
    // An update whose risky question, if any, gets `answer`.
    Run update(const TopFolder& top, bool answer)
    {
        ScanUpdate update(db(), QStringLiteral("Disks"), top);
        Run run;
        update.setConfirm([&](const UpdateRisk& risk) {
            EXPECT_FALSE(run.asked) << "asked twice";
            run.asked = risk;
            return answer;
        });
        run.done = update.run();
        run.refused = update.refused();
        run.failure = update.failure();
        run.counts = update.counts();
        return run;
    }
    QStringList table()
    {
        return texts(QStringLiteral("SELECT SrNO || '|' || ID || '|' || Parent || '|' || path || '|' || size "
                                    "FROM main ORDER BY SrNO"));
    }
    // A register note on the record of `relative`, keyed by its node.
    void addNote(const QString& relative)
    {
        SQLite::Statement st(db(), "INSERT INTO Projects (ID, FileName) SELECT ID, file_name FROM main WHERE path = ?");
        st.bind(1, pathOf(relative).toStdString());
        ASSERT_EQ(st.exec(), 1);
    }
    long long notesKept() { return count(QStringLiteral("ID IN (SELECT ID FROM main)"), QStringLiteral("Projects")); }
};

} // namespace

TEST_F(UpdateSafetyTest, AnUnpluggedDiskIsNeverWipedWhetherItsDiskWasRecordedOrNot)
{
    qmtest::ScratchDisk disk(pathOf(QStringLiteral("photos.img")), pathOf(QStringLiteral("mnt/photos")),
        QStringLiteral("PHOTOS_2019"), QString::fromLatin1(kPhotosUuid));
    if (!disk.mounted())
        GTEST_SKIP() << "no loop mount here: " << disk.problem().toStdString();
    for (const char* file : {"mnt/photos/a.jpg", "mnt/photos/b/c.jpg", "mnt/photos/b/d.jpg"})
        makeFile(QString::fromLatin1(file), 2000);
    const TopFolder top = scan(QStringLiteral("mnt/photos"));
    addNote(QStringLiteral("mnt/photos/b/c.jpg"));
    const QStringList before = table();
    const auto below = static_cast<std::int64_t>(before.size()) - 1; // all but the top-level folder
    disk.unmount();

    // The disk is recorded: told by its label, type and size, never by identifiers.
    Run run = update(top, false);
    EXPECT_FALSE(run.done);
    EXPECT_TRUE(run.refused);
    ASSERT_TRUE(run.asked);
    const QString text = riskText(*run.asked);
    EXPECT_TRUE(text.startsWith(QStringLiteral("The disk \"PHOTOS_2019\" (ext4, "))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral(" MB) that ") + top.fileName
        + QStringLiteral(" was catalogued from is not mounted there now. Updating would remove ")
        + QString::number(below) + QStringLiteral(" records and the 1 note attached to it.")))
        << text.toStdString();
    for (const char* identifier : {"UUID", "/dev/", kPhotosUuid})
        EXPECT_FALSE(text.contains(QString::fromLatin1(identifier))) << text.toStdString();
    EXPECT_EQ(table(), before);

    // Nothing recorded of the disk (a store of the first formats): the empty mount point tells.
    db().exec("DELETE FROM scans");
    run = update(top, false);
    EXPECT_TRUE(run.refused);
    ASSERT_TRUE(run.asked);
    EXPECT_TRUE(run.asked->reason.contains(QStringLiteral("is empty now"))) << run.asked->reason.toStdString();
    EXPECT_EQ(run.asked->removed, below);
    EXPECT_EQ(run.asked->notes, 1);
    EXPECT_EQ(table(), before);

    // Nobody to ask: refused all the same, and said so.
    {
        ScanUpdate unasked(db(), QStringLiteral("Disks"), top);
        EXPECT_FALSE(unasked.run());
        EXPECT_TRUE(unasked.refused());
        EXPECT_TRUE(unasked.failure().endsWith(QStringLiteral("Nothing was changed."))) << unasked.failure().toStdString();
    }
    EXPECT_EQ(table(), before);
    EXPECT_EQ(notesKept(), 1);

    // Plugged in again: a sound update asks nothing and records the disk.
    ASSERT_TRUE(disk.mount());
    run = update(top, false);
    EXPECT_TRUE(run.done) << run.failure.toStdString();
    EXPECT_FALSE(run.asked);
    EXPECT_EQ(run.counts.removed, 0);
    const auto recorded = scanInfo(db(), QStringLiteral("Disks"), top.key);
    ASSERT_TRUE(recorded && recorded->disk.known());
    EXPECT_EQ(recorded->disk.label, QStringLiteral("PHOTOS_2019"));
    EXPECT_EQ(recorded->disk.uuid, QString::fromLatin1(kPhotosUuid));
    EXPECT_EQ(recorded->disk.mountPoint, pathOf(QStringLiteral("mnt/photos")));
}

TEST_F(UpdateSafetyTest, OfTwoDisksStackedOnOneFolderTheUpperIsRecordedAndMissedWhenUnmounted)
{
    const QString mountPoint = pathOf(QStringLiteral("mnt/stack"));
    qmtest::ScratchDisk lower(pathOf(QStringLiteral("lower.img")), mountPoint, QStringLiteral("LOWER"),
        QStringLiteral("11111111-2222-4333-8444-555555555555"));
    if (!lower.mounted())
        GTEST_SKIP() << "no loop mount here: " << lower.problem().toStdString();
    makeFile(QStringLiteral("mnt/stack/lower-only.txt"), 10);
    qmtest::ScratchDisk upper(pathOf(QStringLiteral("upper.img")), mountPoint, QStringLiteral("UPPER"),
        QStringLiteral("66666666-7777-4888-8999-aaaaaaaaaaaa"));
    ASSERT_TRUE(upper.mounted()) << upper.problem().toStdString();
    for (const char* file : {"mnt/stack/x/a.txt", "mnt/stack/x/b.txt", "mnt/stack/x/c.txt"})
        makeFile(QString::fromLatin1(file), 10);

    // What a path reaches is the upper disk, and that is what the scan records.
    EXPECT_EQ(diskOf(mountPoint).label, QStringLiteral("UPPER"));
    EXPECT_EQ(diskOf(mountPoint + QStringLiteral("/x")).uuid, QStringLiteral("66666666-7777-4888-8999-aaaaaaaaaaaa"));
    const TopFolder top = scan(QStringLiteral("mnt/stack"));
    EXPECT_EQ(scanInfo(db(), QStringLiteral("Disks"), top.key)->disk.label, QStringLiteral("UPPER"));
    const QStringList before = table();

    upper.unmount();
    ASSERT_EQ(diskOf(mountPoint).label, QStringLiteral("LOWER"));
    Run run = update(top, false);
    EXPECT_TRUE(run.refused);
    ASSERT_TRUE(run.asked);
    EXPECT_TRUE(run.asked->reason.startsWith(QStringLiteral("The disk \"UPPER\" (ext4, ")));
    EXPECT_TRUE(run.asked->reason.contains(QStringLiteral("is not there now; another disk is: the disk \"LOWER\" (ext4, ")))
        << run.asked->reason.toStdString();
    EXPECT_EQ(table(), before);

    // Without the record the lower disk is still seen: most of the scan would go.
    db().exec("DELETE FROM scans");
    run = update(top, false);
    EXPECT_TRUE(run.refused);
    ASSERT_TRUE(run.asked);
    EXPECT_TRUE(run.asked->reason.startsWith(QStringLiteral("Most of what was catalogued"))) << run.asked->reason.toStdString();
    EXPECT_EQ(run.asked->removed, 4); // x/ and its three files; lost+found is on both disks
    EXPECT_EQ(table(), before);
}

TEST_F(UpdateSafetyTest, AnEmptiedFolderOrMostOfAScanGoneIsAskedAboutAndGoesOnlyWhenConfirmed)
{
    for (const char* file : {"disk/a.txt", "disk/b.txt", "disk/c.txt", "disk/d.txt", "disk/sub/e.txt", "disk/sub/f.txt"})
        makeFile(QString::fromLatin1(file), 10);
    const TopFolder top = scan(QStringLiteral("disk")); // 8 records
    addNote(QStringLiteral("disk/sub/e.txt"));

    // Up to half of the scan goes without a question.
    ASSERT_TRUE(QFile::remove(pathOf(QStringLiteral("disk/a.txt"))));
    Run run = update(top, false);
    EXPECT_TRUE(run.done && !run.asked) << run.failure.toStdString();
    EXPECT_EQ(run.counts.removed, 1);

    // 4 of the 7 left: asked, and no keeps every record and the note.
    ASSERT_TRUE(QDir(pathOf(QStringLiteral("disk/sub"))).removeRecursively());
    ASSERT_TRUE(QFile::remove(pathOf(QStringLiteral("disk/b.txt"))));
    const QStringList before = table();
    run = update(top, false);
    EXPECT_TRUE(run.refused);
    ASSERT_TRUE(run.asked);
    EXPECT_EQ(run.asked->removed, 4);
    EXPECT_EQ(run.asked->records, 7);
    EXPECT_EQ(run.asked->notes, 1);
    EXPECT_EQ(riskText(*run.asked),
        QStringLiteral("Most of what was catalogued from %1 is not there now. Updating would remove 4 records and "
                       "the 1 note attached to it.")
            .arg(top.fileName));
    EXPECT_EQ(table(), before);
    EXPECT_EQ(notesKept(), 1);
    // Yes goes on with exactly what was told.
    run = update(top, true);
    EXPECT_TRUE(run.done) << run.failure.toStdString();
    EXPECT_EQ(run.counts.removed, 4);
    EXPECT_EQ(count(QStringLiteral("dbaseName = 'Disks'")), 3);

    // Emptied: asked even though only two of three records would go.
    for (const char* file : {"disk/c.txt", "disk/d.txt"})
        ASSERT_TRUE(QFile::remove(pathOf(QString::fromLatin1(file))));
    makeFile(QStringLiteral("disk/.hidden"), 1); // hidden entries are no content
    run = update(top, false);
    ASSERT_TRUE(run.asked);
    EXPECT_EQ(run.asked->reason,
        QStringLiteral("The folder %1 is empty now; the disk it was catalogued from may not be mounted.").arg(top.fileName));
    EXPECT_EQ(count(QStringLiteral("dbaseName = 'Disks'")), 3);
}

TEST_F(UpdateSafetyTest, DisksAreToldInPlainWords)
{
    DiskIdentity disk;
    disk.fsType = QStringLiteral("ext4");
    disk.totalBytes = 32LL << 30;
    disk.uuid = QStringLiteral("fsid:0123456789abcdef");
    disk.device = QStringLiteral("/dev/sdb1");
    EXPECT_EQ(diskInPlainWords(disk), QStringLiteral("a disk without a label (ext4, 32.0 GB)"));
    disk.label = QStringLiteral("Cat %1 %2");
    EXPECT_EQ(diskInPlainWords(disk), QStringLiteral("the disk \"Cat %1 %2\" (ext4, 32.0 GB)"));

    // A recorded mount point that is not one now; the same disk; another one.
    ScanInfo scan;
    scan.disk = disk;
    scan.disk.mountPoint = pathOf(QStringLiteral("gone"));
    const QString photos = pathOf(QStringLiteral("gone/photos"));
    EXPECT_EQ(diskReason(scan, photos, photos, diskOf(folder())),
        QStringLiteral("The disk \"Cat %1 %2\" (ext4, 32.0 GB) that ") + photos
            + QStringLiteral(" was catalogued from is not mounted there now."));
    scan.disk = diskOf(folder());
    EXPECT_EQ(diskReason(scan, folder(), folder(), diskOf(folder())), QString());
    EXPECT_EQ(diskReason(std::nullopt, folder(), folder(), diskOf(folder())), QString());
    DiskIdentity other = scan.disk;
    other.uuid = QStringLiteral("another");
    other.mountPoint = QStringLiteral("/elsewhere");
    other.label.clear();
    EXPECT_TRUE(diskReason(scan, folder(), folder(), other).endsWith(QStringLiteral("another disk is: a disk without a label (")
        + other.fsType + QStringLiteral(", ") + readableSize(static_cast<std::uint64_t>(other.totalBytes)) + QStringLiteral(").")));
}
