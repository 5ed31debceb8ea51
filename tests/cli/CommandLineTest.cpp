// SPDX-License-Identifier: GPL-3.0-or-later
#include "ProgramTest.h"
#include "platform/DiskIdentity.h"
#include "support/TestSupport.h"

namespace {

using qmtest::Outcome;

class CommandLine : public qmtest::ProgramTest {};

} // namespace

TEST_F(CommandLine, EveryCommandRunsWithoutADisplay)
{
    for (const char* word : {"--help", "-h", "help"}) {
        const Outcome help = quillmark({QString::fromLatin1(word)});
        EXPECT_EQ(help.status, 0) << word << help.err.toStdString();
        for (const char* command : {"add-folder", "--create-store-if-missing", "--version", "--help"})
            EXPECT_TRUE(help.out.contains(QString::fromLatin1(command))) << command;
        EXPECT_TRUE(help.out.contains(QStringLiteral("catalogue FOLDER into database.mdb without a window")));
    }
    const Outcome version = quillmark({QStringLiteral("--version")});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, QStringLiteral("quillmark " QUILLMARK_VERSION "\n"));
    const Outcome unknown = quillmark({QStringLiteral("fnid"), QStringLiteral("x")});
    EXPECT_TRUE(unknown.status == 2 && unknown.out.isEmpty()) << unknown.out.toStdString();
    EXPECT_TRUE(unknown.err.contains(QStringLiteral("unknown command \"fnid\"")))
        << unknown.err.toStdString();

    // One summary line; problems go to standard error.
    makeFile(QStringLiteral("disk/a.txt"), 10);
    makeFile(QStringLiteral("disk/sub/b.txt"), 20);
    const QString disk = pathOf(QStringLiteral("disk"));
    const Outcome add = quillmark({QStringLiteral("add-folder"), disk, QStringLiteral("--name=Disks")});
    EXPECT_EQ(add.status, 0) << add.err.toStdString();
    EXPECT_EQ(count(QStringLiteral("dbaseName = 'Disks'")), 4);
    EXPECT_EQ(add.out.count(u'\n'), 1) << add.out.toStdString();
    EXPECT_TRUE(add.out.contains(disk) && add.out.contains(QStringLiteral("4 record(s)")))
        << add.out.toStdString();
    const Outcome missing = quillmark({QStringLiteral("add-folder"), pathOf(QStringLiteral("missing"))});
    EXPECT_TRUE(missing.status == 1 && missing.out.isEmpty()) << missing.out.toStdString();
    EXPECT_TRUE(missing.err.contains(QStringLiteral("cannot be read"))) << missing.err.toStdString();
}

TEST_F(CommandLine, UpdateBringsAScanUpToDateAndRefusesWhatDoesNotFit)
{
    makeFile(QStringLiteral("disk/a.txt"), 10);
    makeFile(QStringLiteral("disk/sub/b.txt"), 20);
    const QString top = pathOf(QStringLiteral("disk"));
    ASSERT_EQ(quillmark({QStringLiteral("add-folder"), top, QStringLiteral("--name=Disks")}).status, 0);
    makeFile(QStringLiteral("disk/sub/c.txt"), 30);
    makeFile(QStringLiteral("disk/a.txt"), 11);
    auto update = [&](const QStringList& more) {
        return quillmark(QStringList {QStringLiteral("update"), QStringLiteral("Disks")} + more);
    };

    const Outcome updated = update({top});
    EXPECT_EQ(updated.status, 0) << updated.err.toStdString();
    EXPECT_TRUE(updated.out.startsWith(QStringLiteral("Updated %1 in \"Disks\": 1 added, 0 removed, ").arg(top)))
        << updated.out.toStdString();
    EXPECT_EQ(count(QStringLiteral("path LIKE '%c.txt'")), 1);
    // By key, with nothing changed since.
    const Outcome byKey = update({QStringLiteral("1")});
    EXPECT_EQ(byKey.status, 0) << byKey.err.toStdString();
    EXPECT_TRUE(byKey.out.contains(QStringLiteral("0 added, 0 removed, 0 changed, 5 unchanged"))) << byKey.out.toStdString();

    // No such folder in the catalogue, usage errors.
    EXPECT_EQ(quillmark({QStringLiteral("update"), QStringLiteral("Other"), top}).status, 1);
    EXPECT_EQ(update({}).status, 2);
    EXPECT_EQ(update({top, QStringLiteral("--quick")}).status, 2);

    // Another disk at the path: refused unless forced.
    if (!qm::diskOf(top).uuid.isEmpty()) {
        db().exec("UPDATE scans SET uuid = 'another-disk'");
        const Outcome refused = update({top});
        EXPECT_EQ(refused.status, 1);
        EXPECT_TRUE(refused.err.contains(QStringLiteral("--force"))) << refused.err.toStdString();
        EXPECT_EQ(update({top, QStringLiteral("--force")}).status, 0);
    }
}
