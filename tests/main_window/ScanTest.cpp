// SPDX-License-Identifier: GPL-3.0-or-later
#include "ScanSupport.h"
#include "support/FormFixture.h"

#include "catalog/NodeKeys.h"
#include "cli/AddFolder.h"
#include "platform/DataControl.h"
#include "platform/FolderLists.h"
#include "platform/MessageBox.h"

#include <sys/stat.h>
#include <unistd.h>

using namespace qm;
using scantest::Rec;

TEST_F(ScanTest, AddFolderStoresEachRunWithItsBranchAndTheSameFolderTwiceAsTwoRuns)
{
    addRecord("1>", "0>", "Disks", "/old", "/old/", "0", "", "1>");
    addRecord("2>", "1>", "Disks", "x", "/old/x", "0", "", "1>");
    addRecord("90>", "0>", "Other", "/else", "/else/", "0", "", "90>");
    load(QStringLiteral("Disks"));
    form->setCurrentDatabaseName(QStringLiteral("Scans"));
    const QString top = tree(QStringLiteral("pics"));

    addFolder(top);
    EXPECT_TRUE(qmtest::messages().isEmpty()) << qmtest::messages().join(u'\n').toStdString();
    const auto run = runFrom(3);
    ASSERT_EQ(run.size(), 11u);
    for (const Rec& r : run)
        EXPECT_EQ(r.dbaseName, QStringLiteral("Scans"));
    EXPECT_EQ(run[0].fileName, top);
    EXPECT_EQ(run[0].size, QStringLiteral("800")); // eight files of 100 bytes, one hidden
    EXPECT_TRUE(form->TreeView1->isExpanded(node("0>")));

    // The same folder again is a run of its own, with keys after the first run's.
    addFolder(top);
    const auto again = runFrom(14);
    ASSERT_EQ(again.size(), run.size());
    for (size_t i = 0; i < again.size(); ++i)
        EXPECT_EQ(again[i].path, run[i].path);

    EXPECT_EQ(children("0>"), (QStringList {"1>:/old", "3>:" + top + u'/', "14>:" + top + u'/'}));
    EXPECT_EQ(count("dbaseName = 'Other'"), 1);
}

TEST_F(ScanTest, ScanProblemsAreToldOnceWithTheWindowBackToNormalAndWhatWasStoredStays)
{
    load(QStringLiteral("Disks"));
    const QString top = tree(QStringLiteral("work"));
    {
        scantest::FaultyFileSystem faulty;
        faulty.unreadableFolders = {"one"};
        faulty.vanished = {"g.txt"};
        // When the message shows, the window is already back to normal.
        bool normalAtMessage = false;
        qm::setMessageHook([&](const QString& text) {
            qmtest::messages() << text;
            normalAtMessage = form->cursor().shape() != Qt::WaitCursor && !form->TreeView1->Nodes().inBatch();
        });
        addFolder(top);
        qm::setMessageHook([](const QString& text) { qmtest::messages() << text; });
        EXPECT_TRUE(normalAtMessage);
    }
    EXPECT_TRUE(qmtest::toldOnce(QStringLiteral("2 entries could not be read")));
    EXPECT_EQ(count(), 5); // the top, a.txt, b.txt, two/, two/f.txt
    expectNodesOf(scantest::records(db()));
    db().exec("DELETE FROM main");
    load(QStringLiteral("Disks"));

    db().exec("CREATE TRIGGER refuse BEFORE INSERT ON main WHEN NEW.file_name = 'inner' "
              "BEGIN SELECT RAISE(ABORT, 'the disk is full'); END");
    addFolder(top);
    // What was stored stays, each record with its node, and is what the message counts.
    const auto kept = scantest::records(db());
    ASSERT_GE(kept.size(), 2u);
    EXPECT_TRUE(qmtest::toldOnce(QStringLiteral("The scan stopped: the disk is full\n%1 record(s) of this "
                                                "folder are kept in the catalogue \"Disks\".")
                                     .arg(kept.size())));
    expectNodesOf(kept);
    EXPECT_EQ(form->TreeView1->Nodes().Count(), static_cast<std::int64_t>(kept.size()) + 1);

    // A store that refuses the top-level record: told, and no node without a record.
    db().exec("CREATE TRIGGER refuseTop BEFORE INSERT ON main WHEN NEW.Parent = '0>' "
              "BEGIN SELECT RAISE(ABORT, 'read-only'); END");
    addFolder(top);
    EXPECT_TRUE(qmtest::toldOnce(QStringLiteral("The scan stopped: read-only")));
    EXPECT_EQ(form->TreeView1->Nodes().Count(), static_cast<std::int64_t>(kept.size()) + 1);
    EXPECT_EQ(count(), static_cast<long long>(kept.size()));

    // A folder that vanished after it was picked: a message, nothing written.
    const QString gone = makeDir(QStringLiteral("gone"));
    ASSERT_TRUE(form->Dir1->setPath(gone));
    QDir(gone).removeRecursively();
    form->Command2_Click();
    EXPECT_TRUE(qmtest::toldOnce(QStringLiteral("cannot be read")));
    EXPECT_EQ(count(), static_cast<long long>(kept.size()));
    EXPECT_NE(form->cursor().shape(), Qt::WaitCursor);

    // A commit the store refuses (another connection reads and keeps its lock
    // past the busy timeout) rolls the run back: the message says nothing is kept.
    db().exec("DROP TRIGGER refuse");
    db().exec("DROP TRIGGER refuseTop");
    db().exec("BEGIN");
    db().execAndGet("SELECT COUNT(*) FROM main");
    form->Adodc1->connection()->setBusyTimeout(100);
    addFolder(top);
    db().exec("COMMIT");
    EXPECT_TRUE(qmtest::toldOnce(QStringLiteral("locked\n0 record(s) of this folder are kept")));
    EXPECT_EQ(count(), static_cast<long long>(kept.size()));
}

TEST_F(ScanTest, HeadlessKeysStartAboveEveryKeyTheCatalogueHolds)
{
    // The window's tree of "Disks" stops at 3: 50> and 9> cannot be placed
    // (parent missing, no path), the second 1> is a key used twice, 60> is
    // another catalogue's. A new scan still never gives a key that a record of
    // its catalogue holds.
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

    // The catalogue named in dbase.name by default, another by --name, a
    // relative folder taken from the current folder.
    const QString top = tree(QStringLiteral("cli"));
    EXPECT_EQ(runAddFolderCommand({top}), 0);
    const auto run = scantest::records(db(), "delKey = '51>' AND dbaseName = 'Disks'");
    ASSERT_EQ(run.size(), 11u);
    EXPECT_EQ(run[0].fileName, top);
    EXPECT_EQ(run[0].size, QStringLiteral("800"));
    EXPECT_EQ(run[10].id, QStringLiteral("61>"));
    EXPECT_EQ(runAddFolderCommand({QStringLiteral("--name"), QStringLiteral("Other"), top + u'/'}), 0);
    EXPECT_EQ(count("delKey = '61>' AND dbaseName = 'Other'"), 11);
    EXPECT_EQ(runAddFolderCommand({QStringLiteral("--name=Rel"), QStringLiteral("cli/two")}), 0);
    const auto rel = scantest::records(db(), "dbaseName = 'Rel'");
    ASSERT_EQ(rel.size(), 2u);
    EXPECT_EQ(rel[0].fileName, top + QStringLiteral("/two"));
}

TEST_F(ScanTest, HeadlessExitStatusAndSummaryTellWhatTheRunKept)
{
    // Usage errors are 2, a folder that cannot be read 1; nothing is written.
    const QString top = tree(QStringLiteral("cli"));
    for (const QStringList& args : QList<QStringList> {{}, {"--bogus", top}, {"--name"}, {top, "second"}})
        EXPECT_EQ(runAddFolderCommand(args), 2) << args.join(u' ').toStdString();
    EXPECT_EQ(runAddFolderCommand({pathOf(QStringLiteral("missing"))}), 1);
    EXPECT_EQ(runAddFolderCommand({pathOf(QStringLiteral("cli/a.txt"))}), 1);
    EXPECT_EQ(count(), 0);

    // Hidden entries, links and FIFOs are left out by design: a clean run.
    ASSERT_EQ(::symlink("a.txt", QFile::encodeName(top + QStringLiteral("/link")).constData()), 0);
    ASSERT_EQ(::mkfifo(QFile::encodeName(top + QStringLiteral("/pipe")).constData(), 0600), 0);
    EXPECT_EQ(runAddFolderCommand({top}), 0);
    // A name file that cannot be read is not guessed at.
    ASSERT_TRUE(QDir().mkdir(NameFile::path()));
    EXPECT_EQ(runAddFolderCommand({top}), 1);
    EXPECT_EQ(count(), 11);

    // Another connection reads and keeps its lock past the busy timeout: the
    // commit fails, and the summary tells what the table holds.
    db().exec("BEGIN");
    db().execAndGet("SELECT COUNT(*) FROM main");
    testing::internal::CaptureStderr();
    EXPECT_EQ(runAddFolderCommand({QStringLiteral("--name=Locked"), top}), 1);
    db().exec("COMMIT");
    EXPECT_TRUE(QString::fromStdString(testing::internal::GetCapturedStderr())
                    .contains(QStringLiteral("locked; 0 record(s) of it are kept in \"Locked\"")));
    EXPECT_EQ(count(), 11);

    for (int i = 0; i < 40; ++i)
        makeFile(QStringLiteral("cli/many/f%1.txt").arg(i), 10);
    scantest::FaultyFileSystem faulty;
    faulty.unreadableFolders = {"one"}; // left out for want of reading: status 3, the rest kept
    EXPECT_EQ(runAddFolderCommand({QStringLiteral("--name=Partial"), top}), 3);
    EXPECT_EQ(count(QStringLiteral("dbaseName = 'Partial'")), 47); // without one/ and its four entries
    // A hang-up stops the run as Ctrl+C does: sizes filled in, the true count told.
    faulty.hangUpAt = "many"; // the walk reads on into many/ after the signal
    testing::internal::CaptureStdout();
    EXPECT_EQ(runAddFolderCommand({QStringLiteral("--name=Hup"), top}), 130);
    const auto hup = scantest::records(db(), "dbaseName = 'Hup'");
    EXPECT_TRUE(QString::fromStdString(testing::internal::GetCapturedStdout())
                    .contains(QStringLiteral(": %1 record(s),").arg(hup.size())));
    EXPECT_LT(hup.size(), 47u);
    for (const Rec& r : hup)
        EXPECT_FALSE(r.size.isEmpty()) << r.path.toStdString();

    // No store in the current folder: told, and none is made.
    QFile::remove(storePath());
    EXPECT_EQ(runAddFolderCommand({QStringLiteral("--name=Gone"), pathOf(QStringLiteral("cli/two"))}), 1);
    EXPECT_FALSE(QFileInfo::exists(storePath()));
}

TEST_F(ScanTest, AFileWhoseNameEndsInABackslashStaysAFileAfterAReload)
{
    makeFile(QStringLiteral("odd/tail\\"), 5);
    makeFile(QStringLiteral("odd/dir\\/inside.txt"), 1);
    load(QStringLiteral("Disks"));
    addFolder(pathOf(QStringLiteral("odd")));
    form->Command5_Click(); // the prompt: the same catalogue, loaded again
    // The scan marks folders with "/"; a closing "\" is part of a file's name.
    for (const Rec& r : scantest::records(db()))
        EXPECT_EQ(node(r.id)->Image, r.path.endsWith(u'/') ? 1 : 2) << r.path.toStdString();
}
