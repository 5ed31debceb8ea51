// SPDX-License-Identifier: GPL-3.0-or-later
#include "ProgramTest.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using qmtest::Outcome;

constexpr uid_t kNobody = 65534;

class UpdateCommand : public qmtest::ProgramTest {
protected:
    // The built program in the test's folder, as root or as an ordinary user.
    Outcome quillmark(const QStringList& args, bool asNobody = false)
    {
        QProcessEnvironment env = withoutDisplay();
        env.insert(QStringLiteral("HOME"), folder());
        env.insert(QStringLiteral("XDG_CACHE_HOME"), pathOf(QStringLiteral("cache")));
        return qmtest::runProgram(QStringLiteral(QUILLMARK_EXECUTABLE), args, folder(), env, [asNobody] {
            if (asNobody && (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0))
                ::_exit(126);
        });
    }
    Outcome update(const QStringList& more, bool asNobody = false)
    {
        return quillmark(QStringList {QStringLiteral("update"), QStringLiteral("Disks")} + more, asNobody);
    }
    QStringList paths() { return texts(QStringLiteral("SELECT path FROM main ORDER BY SrNO")); }
};

void setMode(const QString& path, mode_t mode)
{
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), mode), 0) << path.toStdString();
}

} // namespace

TEST_F(UpdateCommand, MostOfAScanGoneIsRefusedUntilForced)
{
    const Outcome help = update({QStringLiteral("--help")});
    EXPECT_EQ(help.status, 0);
    for (const char* said : {"--force", "more than half", "not mounted", "nothing is changed"})
        EXPECT_TRUE(help.out.contains(QString::fromLatin1(said))) << said;

    for (const char* file : {"disk/a.txt", "disk/b.txt", "disk/c.txt", "disk/d.txt", "disk/sub/e.txt"})
        makeFile(QString::fromLatin1(file), 10);
    const QString top = pathOf(QStringLiteral("disk"));
    ASSERT_EQ(quillmark({QStringLiteral("add-folder"), top, QStringLiteral("--name=Disks")}).status, 0);
    db().exec("INSERT INTO Documents (ID, FileName) SELECT ID, file_name FROM main WHERE file_name = 'e.txt'");
    const QStringList before = paths();
    ASSERT_EQ(before.size(), 7);
    for (const char* file : {"disk/a.txt", "disk/b.txt", "disk/c.txt"})
        ASSERT_TRUE(QFile::remove(pathOf(QString::fromLatin1(file))));
    ASSERT_TRUE(QDir(pathOf(QStringLiteral("disk/sub"))).removeRecursively());

    const Outcome refused = update({top});
    EXPECT_EQ(refused.status, 1);
    EXPECT_TRUE(refused.out.isEmpty()) << refused.out.toStdString();
    EXPECT_TRUE(refused.err.endsWith(QStringLiteral("nothing was changed.\n"))) << refused.err.toStdString();
    EXPECT_TRUE(refused.err.contains(
        QStringLiteral("Updating would remove 5 records and the 1 note attached to it. Give --force")))
        << refused.err.toStdString();
    EXPECT_EQ(paths(), before);

    const Outcome forced = update({top, QStringLiteral("--force")});
    EXPECT_EQ(forced.status, 0) << forced.err.toStdString();
    EXPECT_TRUE(forced.out.contains(QStringLiteral(": 0 added, 5 removed, "))) << forced.out.toStdString();
    EXPECT_EQ(paths(), (QStringList {top + u'/', top + QStringLiteral("/d.txt")}));
}

TEST_F(UpdateCommand, RecordsBelowAFolderThatCannotBeReadAreKeptAndCountedAsKept)
{
    // "sub" lists its names but its entries cannot be looked at (mode 444);
    // "shut" cannot be opened at all (mode 000). Root is stopped by neither:
    // the update runs as an ordinary user.
    for (const char* file :
        {"disk/a.txt", "disk/sub/b.txt", "disk/sub/c.txt", "disk/sub/deep/d.txt", "disk/sub/deep/e.txt", "disk/shut/f.txt"})
        makeFile(QString::fromLatin1(file), 10);
    const QString top = pathOf(QStringLiteral("disk"));
    ASSERT_EQ(quillmark({QStringLiteral("add-folder"), top, QStringLiteral("--name=Disks")}).status, 0);
    const QStringList before = paths();
    ASSERT_EQ(before.size(), 10);
    resetConnection();
    // The ordinary user may write the store and its folder.
    setMode(folder(), 0777);
    QDirIterator all(folder(), QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
    while (all.hasNext()) {
        const QString path = all.next();
        setMode(path, QFileInfo(path).isDir() ? 0777 : 0666);
    }
    setMode(pathOf(QStringLiteral("disk/sub")), 0444);
    setMode(pathOf(QStringLiteral("disk/shut")), 0000);
    makeFile(QStringLiteral("disk/new.txt"), 5);

    const Outcome run = update({top}, true);
    setMode(pathOf(QStringLiteral("disk/sub")), 0755);
    setMode(pathOf(QStringLiteral("disk/shut")), 0755);
    if (run.status == 126)
        GTEST_SKIP() << "cannot run as nobody here";
    if (run.err.contains(QStringLiteral("unable to open database")) || run.err.contains(QStringLiteral("readonly")))
        GTEST_SKIP() << "the ordinary user cannot reach the store here: " << run.err.toStdString();
    EXPECT_EQ(run.status, 3) << run.err.toStdString(); // updated, with entries that could not be read
    // b.txt, c.txt, deep/ with d.txt and e.txt; shut/ with f.txt.
    EXPECT_TRUE(run.out.contains(QStringLiteral("1 added, 0 removed, ")) && run.out.contains(QStringLiteral(", 7 kept as they were")))
        << run.out.toStdString();
    const QStringList after = paths();
    for (const QString& path : before)
        EXPECT_TRUE(after.contains(path)) << "lost: " << path.toStdString();
    EXPECT_TRUE(after.contains(pathOf(QStringLiteral("disk/new.txt"))));
}

TEST_F(UpdateCommand, FingerprintsAndArchivesAreKeptUpToDateAndAMoveIsCounted)
{
    const Outcome help = update({QStringLiteral("--help")});
    for (const char* said : {"--fingerprints", "--archives", "moved"})
        EXPECT_TRUE(help.out.contains(QString::fromLatin1(said))) << said;

    makeFile(QStringLiteral("disk/a.txt"), QByteArrayLiteral("alpha"));
    makeFile(QStringLiteral("disk/b.txt"), QByteArrayLiteral("bravo, longer"));
    const QString top = pathOf(QStringLiteral("disk"));
    ASSERT_EQ(quillmark({QStringLiteral("add-folder"), top, QStringLiteral("--name=Disks"),
                  QStringLiteral("--fingerprints")})
                  .status,
        0);
    ASSERT_TRUE(QDir().mkpath(pathOf(QStringLiteral("disk/sub"))));
    ASSERT_TRUE(QFile::rename(pathOf(QStringLiteral("disk/b.txt")), pathOf(QStringLiteral("disk/sub/b.txt"))));
    const Outcome moved = update({top, QStringLiteral("--fingerprints"), QStringLiteral("--archives")});
    EXPECT_EQ(moved.status, 0) << moved.err.toStdString();
    EXPECT_TRUE(moved.out.contains(QStringLiteral(": 1 added, 0 removed, 1 moved, "))) << moved.out.toStdString();
    EXPECT_TRUE(moved.out.contains(QStringLiteral("Fingerprinted the contents of 1 file(s) (13 bytes read); 1 "
                                                  "unchanged file(s) kept their fingerprints.")))
        << moved.out.toStdString();
    EXPECT_TRUE(moved.out.contains(QStringLiteral("Listed 0 member(s) of 0 archive(s)"))) << moved.out.toStdString();
    EXPECT_EQ(texts(QStringLiteral("SELECT count(*) FROM main m JOIN fingerprints f ON f.SrNO = m.SrNO")),
        QStringList {QStringLiteral("2")});
}
