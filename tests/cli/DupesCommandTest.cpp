// SPDX-License-Identifier: GPL-3.0-or-later
// `add-folder --fingerprints` and `dupes`, through the built program: two
// disks with known contents, a file an ordinary user cannot read.
#include "ProgramTest.h"

#include <QDirIterator>
#include <QFileInfo>

#include <sys/stat.h>

namespace {

class DupesCommand : public qmtest::ProgramTest {
protected:
    qmtest::Outcome asNobody(const QStringList& args) { return quillmark(args, becomeNobody); }
};

TEST_F(DupesCommand, GroupsAcrossTwoDisksInTextAndCsv)
{
    const QByteArray photo(70000, 'p');
    makeFile(QStringLiteral("one/photo.jpg"), photo);
    makeFile(QStringLiteral("one/notes.txt"), QByteArrayLiteral("notes"));
    makeFile(QStringLiteral("two/backup/photo \"1\".jpg"), photo);
    makeFile(QStringLiteral("two/other.txt"), QByteArrayLiteral("other"));
    for (const char* disk : {"one", "two"}) {
        const qmtest::Outcome add = quillmark({QStringLiteral("add-folder"), pathOf(QLatin1String(disk)),
            QStringLiteral("--name=Disk ") + QLatin1String(disk), QStringLiteral("--fingerprints")});
        ASSERT_EQ(add.status, 0) << add.err.toStdString();
        EXPECT_TRUE(add.out.contains(QStringLiteral("Fingerprinted the contents of 2 file(s)."))) << add.out.toStdString();
    }

    const qmtest::Outcome list = quillmark({QStringLiteral("list"), QStringLiteral("--catalogue"), QStringLiteral("Disk two")});
    EXPECT_TRUE(list.out.contains(QStringLiteral("    contents fingerprinted: 2 file(s), 68.4 KB (100.0% of the bytes)\n")))
        << list.out.toStdString();

    const qmtest::Outcome text = quillmark({QStringLiteral("dupes")});
    ASSERT_EQ(text.status, 0) << text.err.toStdString();
    const QStringList lines = text.out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 4) << text.out.toStdString();
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("2 identical copies of 68.4 KB (68.4 KB wasted), fingerprint ")))
        << lines[0].toStdString();
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("  Disk one\t")) && lines[1].endsWith(pathOf(QStringLiteral("one/photo.jpg"))));
    EXPECT_TRUE(lines[2].endsWith(pathOf(QStringLiteral("two/backup/photo \"1\".jpg"))));
    EXPECT_EQ(lines[3], QStringLiteral("1 group(s), 68.4 KB wasted."));

    const qmtest::Outcome csv = quillmark({QStringLiteral("dupes"), QStringLiteral("--csv"), QStringLiteral("--min-size"),
        QStringLiteral("1K"), QStringLiteral("--catalogue"), QStringLiteral("Disk one"), QStringLiteral("--catalogue=Disk two")});
    ASSERT_EQ(csv.status, 0) << csv.err.toStdString();
    const QStringList rows = csv.out.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    ASSERT_EQ(rows.size(), 3) << csv.out.toStdString();
    EXPECT_EQ(rows[0], QStringLiteral("group,match,bytes,fingerprint,catalogue,disk,path,key"));
    EXPECT_TRUE(rows[2].startsWith(QStringLiteral("1,content,70000,")));
    EXPECT_TRUE(rows[2].contains(QStringLiteral("\"") + pathOf(QStringLiteral("two/backup/photo \"\"1\"\".jpg\""))))
        << rows[2].toStdString();

    // Larger than every copy, or one disk alone: nothing.
    EXPECT_TRUE(quillmark({QStringLiteral("dupes"), QStringLiteral("--min-size=1M")}).out.startsWith(QStringLiteral("No duplicates.")));
    EXPECT_TRUE(quillmark({QStringLiteral("dupes"), QStringLiteral("--catalogue"), QStringLiteral("Disk one")})
                    .out.startsWith(QStringLiteral("No duplicates.")));
    const qmtest::Outcome bad = quillmark({QStringLiteral("dupes"), QStringLiteral("--min-size"), QStringLiteral("lots")});
    EXPECT_EQ(bad.status, 2);
    EXPECT_TRUE(bad.err.contains(QStringLiteral("not lots."))) << bad.err.toStdString();
}

TEST_F(DupesCommand, AFileThatCannotBeReadIsCataloguedWithoutAFingerprintAndTheRunIsPartial)
{
    makeFile(QStringLiteral("disk/open.txt"), QByteArrayLiteral("open"));
    makeFile(QStringLiteral("disk/locked.txt"), QByteArrayLiteral("locked"));
    resetConnection();
    // Root reads any file: the scan runs as an ordinary user, who may write the store.
    QDirIterator all(folder(), QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
    ASSERT_EQ(::chmod(QFile::encodeName(folder()).constData(), 0777), 0);
    while (all.hasNext()) {
        const QString path = all.next();
        ::chmod(QFile::encodeName(path).constData(), QFileInfo(path).isDir() ? 0777 : 0666);
    }
    ::chmod(QFile::encodeName(pathOf(QStringLiteral("disk/locked.txt"))).constData(), 0000);

    const qmtest::Outcome add = asNobody(
        {QStringLiteral("add-folder"), pathOf(QStringLiteral("disk")), QStringLiteral("--name=Disks"), QStringLiteral("--fingerprints")});
    if (add.status == 126)
        GTEST_SKIP() << "cannot run as nobody here";
    if (add.err.contains(QStringLiteral("unable to open database")) || add.err.contains(QStringLiteral("readonly")))
        GTEST_SKIP() << "the ordinary user cannot reach the store here: " << add.err.toStdString();
    EXPECT_EQ(add.status, 3) << add.err.toStdString();
    EXPECT_TRUE(add.err.contains(pathOf(QStringLiteral("disk/locked.txt")))) << add.err.toStdString();
    EXPECT_TRUE(add.out.contains(QStringLiteral("1 entry was skipped"))) << add.out.toStdString();
    EXPECT_EQ(count(QStringLiteral("dbaseName = 'Disks'")), 3);
    EXPECT_EQ(texts(QStringLiteral("SELECT m.file_name FROM fingerprints f JOIN main m ON m.SrNO = f.SrNO")),
        QStringList {QStringLiteral("open.txt")});
}

} // namespace
