#include "FormFixture.h"
#include "ScanSupport.h"

#include "catalog/FolderScan.h"
#include "catalog/NodeKeys.h"
#include "main_window/HeadlessScan.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

using namespace qm;
using scantest::Rec;

namespace {

class HeadlessScanTest : public FormTest {
protected:
    // Records of "Disks" whose tree stops at 4: 50> and 9> cannot be placed
    // (parent missing, a field without value), the second 1> is a key used
    // twice, 60> belongs to another catalogue.
    void seedCatalogue()
    {
        addRecord("1>", "0>", "Disks", "/a", "/a/");
        addRecord("2>", "1>", "Disks", "b", "/a/b/");
        addRecord("50>", "77>", "Disks", "lost", "/a/lost");
        db().exec("INSERT INTO main (ID, Parent, dbaseName, file_name, path) "
                  "VALUES ('9>', '0>', 'Disks', '/c', NULL)");
        addRecord("3>", "2>", "Disks", "d", "/a/b/d");
        addRecord("1>", "0>", "Disks", "/again", "/again/");
        addRecord("60>", "0>", "Other", "/o", "/o/");
    }
    QString sampleFolder()
    {
        QFile(makeFile(QStringLiteral("cli/x.txt"))).resize(2048);
        QFile(makeFile(QStringLiteral("cli/sub/y.txt"))).resize(10);
        return QDir(folder()).filePath(QStringLiteral("cli"));
    }
};

} // namespace

TEST_F(HeadlessScanTest, KeysAreThoseTheWindowWouldMakeAfterStartUp)
{
    seedCatalogue();
    load(QStringLiteral("Disks"));
    const QString windowKey = nextNodeKey(form->TreeView1->Nodes());
    EXPECT_EQ(windowKey, QStringLiteral("4>"));
    bool taken = true;
    EXPECT_EQ(nextKeyForCatalogue(db(), QStringLiteral("Disks"), &taken), windowKey);
    EXPECT_FALSE(taken);
    EXPECT_EQ(nextKeyForCatalogue(db(), QStringLiteral("Nobody")), QStringLiteral("1>"));
    EXPECT_EQ(nextKeyForCatalogue(db(), QStringLiteral("Other")), QStringLiteral("61>"));

    // The catalogue named in dbase.name by default, another by --name.
    const QString top = sampleFolder();
    EXPECT_EQ(runAddFolderCommand({top}), 0);
    const auto run = scantest::records(db(), "delKey = '4>'");
    ASSERT_EQ(run.size(), 4u);
    EXPECT_EQ(run[0].fileName, top);
    EXPECT_EQ(run[0].path, top + u'/');
    EXPECT_EQ(run[0].parent, QStringLiteral("0>"));
    EXPECT_EQ(run[0].size, QStringLiteral(" 2.01 KB"));
    EXPECT_EQ(run[3].id, QStringLiteral("7>"));
    for (const Rec& r : run)
        EXPECT_EQ(r.dbaseName, QStringLiteral("Disks"));

    EXPECT_EQ(runAddFolderCommand({QStringLiteral("--name"), QStringLiteral("Other"), top + u'/'}), 0);
    const auto other = scantest::records(db(), "delKey = '61>' AND dbaseName = 'Other'");
    ASSERT_EQ(other.size(), 4u);
    EXPECT_EQ(other[0].fileName, top); // given with "/", stored as the folder list reports it

    // A relative folder is taken from the current folder.
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
    EXPECT_EQ(runAddFolderCommand({QDir(folder()).filePath(QStringLiteral("missing"))}), 1);
    EXPECT_EQ(runAddFolderCommand({QDir(folder()).filePath(QStringLiteral("cli/x.txt"))}), 1);
    EXPECT_EQ(count(), 0);

    // No store in the current folder: told, and none is made.
    QFile::remove(storePath());
    EXPECT_EQ(runAddFolderCommand({top}), 1);
    EXPECT_FALSE(QFileInfo::exists(storePath()));
    // A file that is not a catalogue is left as it is.
    QFile junk(storePath());
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("Standard Jet DB");
    junk.close();
    EXPECT_EQ(runAddFolderCommand({top}), 1);
    EXPECT_EQ(QFileInfo(storePath()).size(), 15);
}

TEST_F(HeadlessScanTest, TheProgramPrintsOneSummaryLineAndReportsOnStandardError)
{
    const QString program
        = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("../quillmark"));
    if (!QFileInfo(program).isExecutable())
        GTEST_SKIP() << "the quillmark program is not built beside the tests";
    const QString top = sampleFolder();

    QProcess p;
    p.setWorkingDirectory(folder());
    p.start(program, {QStringLiteral("add-folder"), top, QStringLiteral("--name"), QStringLiteral("Disks")});
    ASSERT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    const QStringList lines = QString::fromUtf8(p.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 1);
    EXPECT_TRUE(lines[0].contains(top)) << lines[0].toStdString();
    EXPECT_TRUE(lines[0].contains(QStringLiteral("4 record(s)"))) << lines[0].toStdString();
    EXPECT_EQ(count("dbaseName = 'Disks'"), 4);

    p.start(program, {QStringLiteral("add-folder"), QDir(folder()).filePath(QStringLiteral("missing"))});
    ASSERT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitCode(), 1);
    EXPECT_TRUE(p.readAllStandardOutput().isEmpty());
    EXPECT_TRUE(p.readAllStandardError().contains("cannot be read"));
}
