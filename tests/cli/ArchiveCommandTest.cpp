// SPDX-License-Identifier: GPL-3.0-or-later
// add-folder --archives and the inarchive: filter, through the real program,
// with the scanned folder gone as a disk in a drawer is.
#include "cli/ProgramTest.h"
#include "support/ArchiveFiles.h"

#include <QDir>

using namespace qmtest;

namespace {

class ArchiveCommandTest : public ProgramTest { };

TEST_F(ArchiveCommandTest, MembersAreFoundWithTheDiskGone)
{
    const QString disk = makeDir(QStringLiteral("disk"));
    writeFile(disk + QStringLiteral("/2025/last year.zip"),
        writeArchive("zip", "", {{"papers/contract.odt", "the contract"}, {"photo.jpg", "jpeg"}}));
    makeFile(QStringLiteral("disk/contract draft.txt"), 5);
    writeFile(
        disk + QStringLiteral("/locked.zip"), writeArchive("zip", "", {{"contract.txt", "x"}}, "secret"));

    const Outcome add = quillmark(
        {QStringLiteral("add-folder"), disk, QStringLiteral("--name=Disks"), QStringLiteral("--archives")});
    // The encrypted archive is told, and its own record kept.
    EXPECT_EQ(add.status, 3) << add.err.toStdString();
    EXPECT_TRUE(add.err.contains(disk + QStringLiteral("/locked.zip (it is encrypted)")))
        << add.err.toStdString();
    EXPECT_TRUE(add.out.contains(QStringLiteral("Listed 3 member(s) of 1 archive(s).")))
        << add.out.toStdString();
    ASSERT_TRUE(QDir(disk).removeRecursively());

    const Outcome inside
        = quillmark({QStringLiteral("find"), QStringLiteral("contract"), QStringLiteral("inarchive:yes")});
    EXPECT_EQ(inside.status, 0) << inside.err.toStdString();
    EXPECT_TRUE(inside.out.contains(disk + QStringLiteral("/2025/last year.zip/papers/contract.odt")))
        << inside.out.toStdString();
    EXPECT_FALSE(inside.out.contains(QStringLiteral("contract draft.txt"))) << inside.out.toStdString();
    EXPECT_FALSE(inside.out.contains(QStringLiteral("locked.zip"))) << inside.out.toStdString();

    const Outcome outside
        = quillmark({QStringLiteral("find"), QStringLiteral("contract"), QStringLiteral("inarchive:no")});
    EXPECT_TRUE(outside.out.contains(QStringLiteral("contract draft.txt"))) << outside.out.toStdString();
    EXPECT_FALSE(outside.out.contains(QStringLiteral("contract.odt"))) << outside.out.toStdString();

    const Outcome wrong = quillmark({QStringLiteral("find"), QStringLiteral("inarchive:maybe")});
    EXPECT_NE(wrong.status, 0);
    EXPECT_TRUE(wrong.err.contains(QStringLiteral("inarchive: is followed by yes or no")))
        << wrong.err.toStdString();
}

TEST_F(ArchiveCommandTest, WithoutTheOptionArchivesStayFiles)
{
    const QString disk = makeDir(QStringLiteral("disk"));
    writeFile(disk + QStringLiteral("/a.zip"), writeArchive("zip", "", {{"inside.txt", "x"}}));
    const Outcome add = quillmark({QStringLiteral("add-folder"), disk, QStringLiteral("--name=Disks")});
    EXPECT_EQ(add.status, 0) << add.err.toStdString();
    EXPECT_EQ(count(), 2); // the folder and the zip
    EXPECT_EQ(count(QStringLiteral("in_archive IS NOT NULL")), 0);
}

TEST_F(ArchiveCommandTest, AnUpdateTakesTheMembersOfAnArchiveThatIsGone)
{
    const QString disk = makeDir(QStringLiteral("disk"));
    writeFile(disk + QStringLiteral("/old.zip"),
        writeArchive("zip", "", {{"papers/contract.odt", "the contract"}, {"photo.jpg", "jpeg"}}));
    writeFile(disk + QStringLiteral("/kept.zip"), writeArchive("zip", "", {{"a.txt", "a"}}));
    for (int i = 0; i < 4; ++i)
        makeFile(QStringLiteral("disk/file%1.txt").arg(i), 5);
    ASSERT_EQ(quillmark({QStringLiteral("add-folder"), disk, QStringLiteral("--name=Disks"), QStringLiteral("--archives")})
                  .status,
        0);
    // old.zip holds a folder, two members in all and the folder's member.
    ASSERT_EQ(count(QStringLiteral("in_archive > 0")), 4);
    ASSERT_TRUE(QFile::remove(disk + QStringLiteral("/old.zip")));

    const Outcome update = quillmark({QStringLiteral("update"), QStringLiteral("Disks"), disk});
    EXPECT_EQ(update.status, 0) << update.err.toStdString();
    EXPECT_TRUE(update.out.contains(QStringLiteral("0 added, 4 removed"))) << update.out.toStdString();
    // The other archive's member stays; nothing is left below no record.
    EXPECT_EQ(count(QStringLiteral("in_archive > 0")), 1);
    EXPECT_EQ(count(QStringLiteral("Parent NOT IN (SELECT ID FROM main) AND Parent <> '0>'")), 0);
}

} // namespace
