// SPDX-License-Identifier: GPL-3.0-or-later
// `diff` and `verify` through the built program: their exit statuses, their
// CSV, and a file an ordinary user cannot read.
#include "ProgramTest.h"

#include <QDirIterator>
#include <QFileInfo>

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr uid_t kNobody = 65534;

class ScanCheckCommand : public qmtest::ProgramTest {
protected:
    void add(const QString& folder, const QString& catalogue)
    {
        const qmtest::Outcome run = quillmark({QStringLiteral("add-folder"), pathOf(folder),
            QStringLiteral("--name=") + catalogue, QStringLiteral("--fingerprints")});
        ASSERT_EQ(run.status, 0) << run.err.toStdString();
    }
};

TEST_F(ScanCheckCommand, DiffExitsByWhetherTheScansDifferAndWritesCsv)
{
    for (const char* disk : {"one", "copy", "two"}) {
        makeFile(QLatin1String(disk) + QStringLiteral("/a.txt"), QByteArrayLiteral("alpha"));
        makeFile(QLatin1String(disk) + QStringLiteral("/sub/b.txt"), QByteArrayLiteral("beta"));
    }
    makeFile(QStringLiteral("two/sub/b.txt"), QByteArrayLiteral("BETA"));
    makeFile(QStringLiteral("two/c, \"new\".txt"), QByteArrayLiteral("gamma"));
    add(QStringLiteral("one"), QStringLiteral("Disk one"));
    add(QStringLiteral("copy"), QStringLiteral("Disk copy"));
    add(QStringLiteral("two"), QStringLiteral("Disk two"));

    const qmtest::Outcome same = quillmark({QStringLiteral("diff"), QStringLiteral("Disk one"), QStringLiteral("1>"),
        QStringLiteral("Disk copy"), pathOf(QStringLiteral("copy"))});
    EXPECT_EQ(same.status, 0) << same.err.toStdString();
    EXPECT_TRUE(same.out.contains(QStringLiteral("0 only in A, 0 only in B, 0 differ, 0 moved, 2 the same (2 by content"))) << same.out.toStdString();

    const qmtest::Outcome text = quillmark({QStringLiteral("diff"), QStringLiteral("Disk one"), QStringLiteral("1"),
        QStringLiteral("Disk two"), pathOf(QStringLiteral("two"))});
    EXPECT_EQ(text.status, 1) << text.err.toStdString();
    const QStringList lines = text.out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3) << text.out.toStdString();
    EXPECT_EQ(lines[0], QStringLiteral("only in B: c, \"new\".txt"));
    EXPECT_EQ(lines[1], QStringLiteral("content differs: sub/b.txt (fingerprints differ)"));

    const qmtest::Outcome csv = quillmark({QStringLiteral("diff"), QStringLiteral("Disk one"), QStringLiteral("1"),
        QStringLiteral("Disk two"), pathOf(QStringLiteral("two")), QStringLiteral("--csv")});
    EXPECT_EQ(csv.status, 1);
    const QStringList rows = csv.out.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    ASSERT_EQ(rows.size(), 3) << csv.out.toStdString();
    EXPECT_EQ(rows[0], QStringLiteral("change,path_a,path_b,bytes_a,bytes_b,fingerprint_a,fingerprint_b,compared_by,key_a,key_b"));
    // Only B has it: B's size and fingerprint (32 hex digits), no comparison, B's key.
    const QString onlyB = QStringLiteral("only in B,,\"c, \"\"new\"\".txt\",,5,,");
    ASSERT_TRUE(rows[1].startsWith(onlyB)) << rows[1].toStdString();
    EXPECT_EQ(rows[1].mid(onlyB.size()).section(u',', 0, 0).size(), 32) << rows[1].toStdString();
    EXPECT_TRUE(rows[1].mid(onlyB.size()).section(u',', 1).startsWith(QStringLiteral(",,"))) << rows[1].toStdString();
    EXPECT_TRUE(rows[2].startsWith(QStringLiteral("content differs,sub/b.txt,sub/b.txt,4,4,"))) << rows[2].toStdString();
    EXPECT_TRUE(rows[2].contains(QStringLiteral(",fingerprint,"))) << rows[2].toStdString();

    // Errors: a scan that is not there, and a usage error.
    const qmtest::Outcome missing = quillmark({QStringLiteral("diff"), QStringLiteral("Disk one"), QStringLiteral("1"),
        QStringLiteral("No such"), QStringLiteral("1")});
    EXPECT_EQ(missing.status, 2);
    EXPECT_TRUE(missing.err.contains(QStringLiteral("\"No such\" has no top-level folder 1"))) << missing.err.toStdString();
    EXPECT_EQ(quillmark({QStringLiteral("diff"), QStringLiteral("Disk one")}).status, 2);
}

TEST_F(ScanCheckCommand, VerifyExitsZeroWhenAllIsAsCataloguedAndTellsAFileItCannotRead)
{
    makeFile(QStringLiteral("disk/open.txt"), QByteArrayLiteral("open"));
    makeFile(QStringLiteral("disk/locked.txt"), QByteArrayLiteral("locked"));
    add(QStringLiteral("disk"), QStringLiteral("Disk"));
    const QByteArray store = readFile(storePath());

    const qmtest::Outcome good = quillmark({QStringLiteral("verify"), QStringLiteral("Disk"), pathOf(QStringLiteral("disk"))});
    EXPECT_EQ(good.status, 0) << good.err.toStdString();
    EXPECT_TRUE(good.out.contains(QStringLiteral("0 missing, 0 new, 0 changed, 0 corrupt, 0 could not be read, 2 the same"))) << good.out.toStdString();

    // Root reads any file: the check runs as an ordinary user.
    resetConnection();
    QDirIterator all(folder(), QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
    ASSERT_EQ(::chmod(QFile::encodeName(folder()).constData(), 0777), 0);
    while (all.hasNext()) {
        const QString path = all.next();
        ::chmod(QFile::encodeName(path).constData(), QFileInfo(path).isDir() ? 0777 : 0666);
    }
    ::chmod(QFile::encodeName(pathOf(QStringLiteral("disk/locked.txt"))).constData(), 0000);
    const qmtest::Outcome locked = quillmark({QStringLiteral("verify"), QStringLiteral("Disk"), pathOf(QStringLiteral("disk")),
                                                 QStringLiteral("--csv")},
        [] {
            if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)
                ::_exit(126);
        });
    if (locked.status == 126)
        GTEST_SKIP() << "cannot run as nobody here";
    EXPECT_EQ(locked.status, 1) << locked.err.toStdString();
    const QStringList rows = locked.out.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    ASSERT_EQ(rows.size(), 2) << locked.out.toStdString() << locked.err.toStdString();
    EXPECT_TRUE(rows[1].startsWith(QStringLiteral("could not be read,locked.txt,its contents cannot be read: ")))
        << rows[1].toStdString();
    EXPECT_EQ(readFile(storePath()), store) << "verify wrote to the store";
}

} // namespace
