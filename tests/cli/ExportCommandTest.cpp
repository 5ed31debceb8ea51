// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/AppPaths.h"
#include "cli/Export.h"
#include "support/TestSupport.h"

#include <QFile>

using namespace qm;

namespace {

using ExportCommand = qmtest::StoreTest;
using qmtest::Outcome;

Outcome exportWith(const QStringList& args)
{
    return qmtest::captured([&] { return runExportCommand(args); });
}

} // namespace

TEST_F(ExportCommand, WritesTheWholeCatalogueOrNothingAndSaysWhy)
{
    addRecord("1>", "0>", "Disks", "/disk", "/disk/");
    addRecord("2>", "1>", "Disks", "a,b.txt", "/disk/a,b.txt");

    const QList<QStringList> usageErrors {{}, {"--format"}, {"Disks", "--format", "xml"}, {"Disks", "Other"},
        {"--bogus", "Disks"}, {"Disks", "--output="}};
    for (const QStringList& args : usageErrors) {
        const Outcome o = exportWith(args);
        EXPECT_EQ(o.status, 2) << args.join(u' ').toStdString();
        EXPECT_TRUE(o.err.contains(QStringLiteral("usage: quillmark export CATALOGUE")) && o.out.isEmpty());
    }
    const Outcome help = exportWith({QStringLiteral("--help")});
    EXPECT_TRUE(help.status == 0 && help.out.contains(QStringLiteral("Exit status: 0")))
        << help.out.toStdString();

    // To standard output, and to a file that is then named in a summary.
    const Outcome toOut = exportWith({QStringLiteral("Disks"), QStringLiteral("--format=json")});
    EXPECT_TRUE(toOut.status == 0 && toOut.err.isEmpty()) << toOut.err.toStdString();
    EXPECT_EQ(toOut.out.count(u'\n'), 2);
    const Outcome toFile
        = exportWith({QStringLiteral("--output"), QStringLiteral("out.csv"), QStringLiteral("Disks")});
    EXPECT_EQ(toFile.status, 0) << toFile.err.toStdString();
    EXPECT_EQ(toFile.out, QStringLiteral("Exported 2 record(s) of \"Disks\" to out.csv.\n"));
    const QByteArray csv = readFile(pathOf(QStringLiteral("out.csv")));
    EXPECT_TRUE(csv.startsWith("ID,Parent,dbaseName,") && csv.endsWith(",\"a,b.txt\",\"/disk/a,b.txt\",,,2,,,,,,,,,,,,,,,,,,,,,,,\r\n"))
        << csv.toStdString();

    // A catalogue the database does not hold: told, and the file left as it was.
    const Outcome unknown = exportWith({QStringLiteral("disks"), QStringLiteral("--output"), QStringLiteral("out.csv")});
    EXPECT_EQ(unknown.status, 1);
    EXPECT_TRUE(
        unknown.err.contains(QStringLiteral("holds no catalogue named \"disks\"; nothing was written.")));
    EXPECT_EQ(readFile(pathOf(QStringLiteral("out.csv"))), csv);
    const Outcome unwritable = exportWith(
        {QStringLiteral("Disks"), QStringLiteral("--output"), pathOf(QStringLiteral("missing/out.csv"))});
    EXPECT_TRUE(unwritable.status == 1
        && unwritable.err.contains(QStringLiteral("missing/out.csv cannot be written")));

    // The database named with --database, read only: a missing one is told and not made.
    setDatabaseFile(QStringLiteral("copy.mdb"));
    EXPECT_EQ(exportWith({QStringLiteral("Disks")}).status, 1);
    EXPECT_FALSE(QFile::exists(pathOf(QStringLiteral("copy.mdb"))));
    resetConnection();
    ASSERT_TRUE(QFile::copy(storePath(), pathOf(QStringLiteral("copy.mdb"))));
    db().exec("DELETE FROM main");
    const Outcome copy = exportWith({QStringLiteral("Disks")});
    EXPECT_EQ(copy.status, 0);
    EXPECT_EQ(copy.out.count(u'\n'), 3);
}
