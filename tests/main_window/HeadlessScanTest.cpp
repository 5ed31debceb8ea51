#include "FormFixture.h"
#include "ScanSupport.h"

#include "catalog/FolderScan.h"
#include "catalog/NodeKeys.h"
#include "main_window/HeadlessScan.h"

#include <QCoreApplication>
#include <QProcess>

using namespace qm;

namespace {
class HeadlessScanTest : public FormTest {
protected:
    QString sampleFolder()
    {
        makeFile(QStringLiteral("cli/x.txt"), 2048);
        makeFile(QStringLiteral("cli/sub/y.txt"), 10);
        return pathOf(QStringLiteral("cli"));
    }
};
} // namespace

TEST_F(HeadlessScanTest, KeysAreThoseTheWindowWouldMakeAfterStartUp)
{
    // "Disks" stops at 4 in the window's tree: 50> and 9> cannot be placed
    // (parent missing, no path), the second 1> is a key used twice, 60> is
    // another catalogue's.
    addRecord("1>", "0>", "Disks", "/a", "/a/");
    addRecord("2>", "1>", "Disks", "b", "/a/b/");
    addRecord("50>", "77>", "Disks", "lost", "/a/lost");
    db().exec(
        "INSERT INTO main (ID, Parent, dbaseName, file_name, path) VALUES ('9>', '0>', 'Disks', '/c', NULL)");
    addRecord("3>", "2>", "Disks", "d", "/a/b/d");
    addRecord("1>", "0>", "Disks", "/again", "/again/");
    addRecord("60>", "0>", "Other", "/o", "/o/");
    load(QStringLiteral("Disks"));
    EXPECT_EQ(nextNodeKey(form->TreeView1->Nodes()), QStringLiteral("4>"));
    bool taken = true;
    EXPECT_EQ(nextKeyForCatalogue(db(), QStringLiteral("Disks"), &taken), QStringLiteral("4>"));
    EXPECT_FALSE(taken);
    EXPECT_EQ(nextKeyForCatalogue(db(), QStringLiteral("Nobody")), QStringLiteral("1>"));

    // The catalogue named in dbase.name by default, another by --name, a
    // relative folder taken from the current folder.
    const QString top = sampleFolder();
    EXPECT_EQ(runAddFolderCommand({top}), 0);
    const auto run = scantest::records(db(), "delKey = '4>' AND dbaseName = 'Disks'");
    ASSERT_EQ(run.size(), 4u);
    EXPECT_EQ(run[0].fileName, top);
    EXPECT_EQ(run[0].size, QStringLiteral(" 2.01 KB"));
    EXPECT_EQ(run[3].id, QStringLiteral("7>"));
    EXPECT_EQ(runAddFolderCommand({QStringLiteral("--name"), QStringLiteral("Other"), top + u'/'}), 0);
    EXPECT_EQ(count("delKey = '61>' AND dbaseName = 'Other'"), 4);
    EXPECT_EQ(runAddFolderCommand({QStringLiteral("--name=Rel"), QStringLiteral("cli/sub")}), 0);
    const auto rel = scantest::records(db(), "dbaseName = 'Rel'");
    ASSERT_EQ(rel.size(), 2u);
    EXPECT_EQ(rel[0].fileName, top + QStringLiteral("/sub"));
}

TEST_F(HeadlessScanTest, FailuresExitNonZeroAndWriteNothing)
{
    const QString top = sampleFolder();
    EXPECT_EQ(runAddFolderCommand({}), 2);
    EXPECT_EQ(runAddFolderCommand({QStringLiteral("--bogus"), top}), 2);
    EXPECT_EQ(runAddFolderCommand({QStringLiteral("--name")}), 2);
    EXPECT_EQ(runAddFolderCommand({top, QStringLiteral("second")}), 2);
    EXPECT_EQ(runAddFolderCommand({pathOf(QStringLiteral("missing"))}), 1);
    EXPECT_EQ(runAddFolderCommand({pathOf(QStringLiteral("cli/x.txt"))}), 1);
    EXPECT_EQ(count(), 0);

    // No store in the current folder: told, and none is made; a file that is
    // not a catalogue is left as it is.
    QFile::remove(storePath());
    EXPECT_EQ(runAddFolderCommand({top}), 1);
    EXPECT_FALSE(QFileInfo::exists(storePath()));
    makeFile(QStringLiteral("database.mdb"), QByteArray("Standard Jet DB"));
    EXPECT_EQ(runAddFolderCommand({top}), 1);
    EXPECT_EQ(QFileInfo(storePath()).size(), 15);
}

TEST_F(HeadlessScanTest, TheProgramPrintsOneSummaryLineAndReportsOnStandardError)
{
    const QString program = QCoreApplication::applicationDirPath() + QStringLiteral("/../quillmark");
    if (!QFileInfo(program).isExecutable())
        GTEST_SKIP() << "the quillmark program is not built beside the tests";
    const QString top = sampleFolder();
    QProcess p;
    p.setWorkingDirectory(folder());
    p.start(program, {QStringLiteral("add-folder"), top, QStringLiteral("--name"), QStringLiteral("Disks")});
    ASSERT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    const QString out = QString::fromUtf8(p.readAllStandardOutput());
    EXPECT_EQ(out.count(u'\n'), 1) << out.toStdString();
    EXPECT_TRUE(out.contains(top) && out.contains(QStringLiteral("4 record(s)"))) << out.toStdString();

    p.start(program, {QStringLiteral("add-folder"), pathOf(QStringLiteral("missing"))});
    ASSERT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitCode(), 1);
    EXPECT_TRUE(p.readAllStandardOutput().isEmpty());
    EXPECT_TRUE(p.readAllStandardError().contains("cannot be read"));
}
