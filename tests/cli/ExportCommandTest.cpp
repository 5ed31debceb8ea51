#include "catalog/AppPaths.h"
#include "cli/Export.h"
#include "support/TestSupport.h"

#include <QFile>

#include <algorithm>

using namespace qm;

namespace {

using ExportCommand = qmtest::StoreTest;

struct Outcome {
    int status;
    std::string out;
    std::string err;
};

Outcome exportWith(const QStringList& args)
{
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const int status = runExportCommand(args);
    std::string out = testing::internal::GetCapturedStdout();
    return {status, out, testing::internal::GetCapturedStderr()};
}

} // namespace

TEST_F(ExportCommand, WritesTheWholeCatalogueOrNothingAndSaysWhy)
{
    addRecord(QStringLiteral("1>"), QStringLiteral("0>"), QStringLiteral("Disks"), QStringLiteral("/disk"),
        QStringLiteral("/disk/"));
    addRecord(QStringLiteral("2>"), QStringLiteral("1>"), QStringLiteral("Disks"), QStringLiteral("a,b.txt"),
        QStringLiteral("/disk/a,b.txt"));

    const QList<QStringList> usageErrors {{}, {"--format"}, {"Disks", "--format", "xml"}, {"Disks", "Other"},
        {"--bogus", "Disks"}, {"Disks", "--output="}};
    for (const QStringList& args : usageErrors) {
        const Outcome o = exportWith(args);
        EXPECT_EQ(o.status, 2) << args.join(u' ').toStdString();
        EXPECT_NE(o.err.find("usage: quillmark export CATALOGUE"), std::string::npos) << o.err;
        EXPECT_TRUE(o.out.empty());
    }
    const Outcome help = exportWith({QStringLiteral("--help")});
    EXPECT_TRUE(help.status == 0 && help.out.find("Exit status: 0") != std::string::npos) << help.out;

    // To standard output, and to a file that is then named in a summary.
    const Outcome toOut = exportWith({QStringLiteral("Disks"), QStringLiteral("--format=json")});
    EXPECT_EQ(toOut.status, 0) << toOut.err;
    EXPECT_EQ(std::count(toOut.out.begin(), toOut.out.end(), '\n'), 2);
    EXPECT_TRUE(toOut.err.empty()) << toOut.err;
    const Outcome toFile = exportWith({QStringLiteral("--output"), QStringLiteral("out.csv"), QStringLiteral("Disks")});
    EXPECT_EQ(toFile.status, 0) << toFile.err;
    EXPECT_EQ(toFile.out, "Exported 2 record(s) of \"Disks\" to out.csv.\n");
    const QByteArray csv = readFile(pathOf(QStringLiteral("out.csv")));
    EXPECT_TRUE(csv.startsWith("ID,Parent,dbaseName,") && csv.endsWith(",\"a,b.txt\",\"/disk/a,b.txt\",,,2,,,,,\r\n"))
        << csv.toStdString();

    // A catalogue the database does not hold: told, and the file left as it was.
    const Outcome unknown = exportWith({QStringLiteral("disks"), QStringLiteral("--output"), QStringLiteral("out.csv")});
    EXPECT_EQ(unknown.status, 1);
    EXPECT_NE(unknown.err.find("holds no catalogue named \"disks\"; nothing was written."), std::string::npos)
        << unknown.err;
    EXPECT_EQ(readFile(pathOf(QStringLiteral("out.csv"))), csv);
    const Outcome unwritable = exportWith({QStringLiteral("Disks"), QStringLiteral("--output"),
        pathOf(QStringLiteral("missing/out.csv"))});
    EXPECT_EQ(unwritable.status, 1);
    EXPECT_NE(unwritable.err.find("missing/out.csv cannot be written"), std::string::npos) << unwritable.err;

    // The database named with --database, read only: a missing one is told and not made.
    setDatabaseFile(QStringLiteral("copy.mdb"));
    EXPECT_EQ(exportWith({QStringLiteral("Disks")}).status, 1);
    EXPECT_FALSE(QFile::exists(pathOf(QStringLiteral("copy.mdb"))));
    resetConnection();
    ASSERT_TRUE(QFile::copy(storePath(), pathOf(QStringLiteral("copy.mdb"))));
    db().exec("DELETE FROM main");
    const Outcome copy = exportWith({QStringLiteral("Disks")});
    EXPECT_EQ(copy.status, 0);
    EXPECT_EQ(std::count(copy.out.begin(), copy.out.end(), '\n'), 3);
}
