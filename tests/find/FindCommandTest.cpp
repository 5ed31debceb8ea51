// SPDX-License-Identifier: GPL-3.0-or-later
#include "FindSupport.h"

#include "cli/Find.h"

namespace {
qmtest::Outcome find(const QStringList& args)
{
    return qmtest::captured([&] { return qm::runFindCommand(args); });
}
} // namespace

TEST_F(FindTest, TheCommandPrintsTheHitsAndTellsByItsStatus)
{
    scanTwoDisks();
    const QString date = QString::fromStdString(
        db().execAndGet("SELECT date FROM main WHERE file_name = 'report final.doc'").getString());
    const QString doc = pathOf(QStringLiteral("diskB/report final.doc"));

    qmtest::Outcome r = find({QStringLiteral("report"), QStringLiteral("ext:doc")});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, QStringLiteral("Disk B\t%1\t500\t%2\n").arg(doc, date));

    r = find({QStringLiteral("report"), QStringLiteral("--csv"), QStringLiteral("--catalogue"),
        QStringLiteral("Disk B")});
    EXPECT_EQ(r.status, 0);
    const QString modified = QDateTime::fromSecsSinceEpoch(
        db().execAndGet("SELECT modified FROM main WHERE file_name = 'report final.doc'").getInt64())
                                 .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    EXPECT_EQ(r.out,
        QStringLiteral("catalogue,path,bytes,date,location,modified,details\r\nDisk B,%1,500,%2,,%3,\r\n")
            .arg(doc, date, modified));

    r = find({QStringLiteral("report"), QStringLiteral("--limit=2")});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.count(u'\n'), 2);
    EXPECT_EQ(find({QStringLiteral("report")}).out.count(u'\n'), 4);

    // Nothing found: 1, and nothing printed.
    r = find({QStringLiteral("no-such-name")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, QString());

    // A bad query or usage: 2, told on standard error.
    r = find({QStringLiteral("size>abc")});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.err.contains(QStringLiteral("\"abc\" is not a size"))) << r.err.toStdString();
    EXPECT_EQ(find({QStringLiteral("colour:red")}).status, 2);
    EXPECT_EQ(find({QStringLiteral("report"), QStringLiteral("--limit"), QStringLiteral("none")}).status, 2);
    EXPECT_EQ(find({}).status, 2);
    EXPECT_EQ(find({QStringLiteral("report"), QStringLiteral("--colour")}).status, 2);
}
