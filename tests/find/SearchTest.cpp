// SPDX-License-Identifier: GPL-3.0-or-later
#include "FindSupport.h"

#include "catalog/store/Store.h"

using namespace qm::find;
using L = QStringList;

TEST_F(FindTest, NamesAreFoundByWordsWildcardsAndCase)
{
    scanTwoDisks();
    // A substring in any case, on every disk; several words must all be there.
    EXPECT_EQ(found("REPORT"), (L {"Report 2024.PDF", "Reports", "report final.doc", "report-draft.txt"}));
    EXPECT_EQ(found("report 2024"), (L {"Report 2024.PDF"}));
    EXPECT_EQ(found("Report", true), (L {"Report 2024.PDF", "Reports"}));
    // Wildcards fit the whole name; "?" is one character.
    EXPECT_EQ(found("*.pdf"), (L {"Report 2024.PDF", "summary.pdf"}));
    EXPECT_EQ(found("*.pdf", true), (L {"summary.pdf"}));
    EXPECT_EQ(found("rep?rt*"), (L {"Report 2024.PDF", "Reports", "report final.doc", "report-draft.txt"}));
    EXPECT_EQ(found("report?"), (L {"Reports"}));
    EXPECT_EQ(found("star*name.txt"), (L {"star*name.txt", "starXname.txt"}));
    // Quoted, every character is itself; "%", "_" and "'" are never patterns.
    EXPECT_EQ(found("\"star*name\""), (L {"star*name.txt"}));
    EXPECT_EQ(found("50%"), (L {"50% off.txt"}));
    EXPECT_EQ(found("\"50% off\""), (L {"50% off.txt"}));
    EXPECT_EQ(found("a_b"), (L {"a_b.txt"}));
    EXPECT_EQ(found("it's"), (L {"it's.txt"}));
    EXPECT_EQ(found("\"it's.txt\""), (L {"it's.txt"}));
}

TEST_F(FindTest, FiltersNarrowTheHitsAndCombine)
{
    scanTwoDisks();
    setCreated(QStringLiteral("Report 2024.PDF"), "2024-01-15T09:00:00");
    setCreated(QStringLiteral("report-draft.txt"), "2024-02-01T00:00:00");
    setCreated(QStringLiteral("summary.pdf"), "2023-06-01T12:00:00");

    // Sizes in units of 1024, bounds as written.
    EXPECT_EQ(found("size>1M"), (L {pathOf(QStringLiteral("diskA")), "Photo.JPG"}));
    EXPECT_EQ(found("size>=2M type:file"), (L {"Photo.JPG"}));
    EXPECT_EQ(found("report size<1k"), (L {"report final.doc", "report-draft.txt"}));
    EXPECT_EQ(found("size=500"), (L {"report final.doc"}));
    // after: from the first second of the day, before: up to it.
    EXPECT_EQ(found("after:2024-01-01 before:2024-02-01"), (L {"Report 2024.PDF"}));
    EXPECT_EQ(found("report after:2024-02-01 before:2024-03"), (L {"report-draft.txt"}));
    EXPECT_EQ(found("before:2024"), (L {"summary.pdf"}));
    EXPECT_EQ(found("ext:pdf"), (L {"Report 2024.PDF", "summary.pdf"}));
    EXPECT_EQ(found("ext:.jpg,doc"), (L {"Photo.JPG", "report final.doc"}));
    EXPECT_EQ(found("rep type:folder"), (L {"Reports"}));
    EXPECT_EQ(found("report catalogue:\"Disk B\""), (L {"report final.doc"}));
    EXPECT_EQ(found("catalogue:Disk"), L {});

    // A hit tells its catalogue, the disk it was scanned from, and its record's texts.
    const std::vector<Hit> photo = hits(QStringLiteral("photo"));
    ASSERT_EQ(photo.size(), 1U);
    EXPECT_EQ(photo[0].catalogue, QStringLiteral("Disk A"));
    EXPECT_EQ(photo[0].disk, pathOf(QStringLiteral("diskA")));
    EXPECT_EQ(photo[0].path, pathOf(QStringLiteral("diskA/Photo.JPG")));
    EXPECT_EQ(photo[0].size, QStringLiteral(" 2 MB"));
    EXPECT_EQ(photo[0].bytes, 2 * 1048576);
}

TEST_F(FindTest, BadQueriesAreToldNotSearched)
{
    EXPECT_TRUE(parseQuery(QStringLiteral("size>abc")).error.contains(QStringLiteral("\"abc\" is not a size")));
    EXPECT_TRUE(parseQuery(QStringLiteral("size:10")).error.contains(QStringLiteral("size>10M")));
    EXPECT_TRUE(parseQuery(QStringLiteral("colour:red")).error.contains(QStringLiteral("Unknown filter \"colour:\"")));
    EXPECT_TRUE(parseQuery(QStringLiteral("after:yesterday")).error.contains(QStringLiteral("not a date")));
    EXPECT_TRUE(parseQuery(QStringLiteral("type:link")).error.contains(QStringLiteral("folder or file")));
    EXPECT_EQ(parseQuery(QStringLiteral("\"open")).error, QStringLiteral("A quote is not closed."));
    // Quoted, a filter word is a name like any other.
    EXPECT_EQ(parseQuery(QStringLiteral("\"colour:red\"")).error, QString());
    EXPECT_TRUE(parseQuery(QStringLiteral("  ")).query.empty());
}

TEST_F(FindTest, RegisterNotesFindTheFileTheyAreAttachedTo)
{
    scanTwoDisks();
    const QString key = QString::fromStdString(
        db().execAndGet("SELECT ID FROM main WHERE file_name = 'summary.pdf'").getString());
    db().exec("INSERT INTO Documents (FileName, Type, Subject, ID) VALUES ('summary.pdf', 'PDF', "
              "'Quarterly budget', '" + key.toStdString() + "')");
    // Multimedia records carry no key: the name links them.
    db().exec("INSERT INTO Multimedia (Filename, Type, CopyrightInfo, LastAccess) VALUES ('song.mp3', "
              "'Audio', 'Licensed budget tune', '')");
    EXPECT_EQ(found("budget"), (L {"song.mp3", "summary.pdf"}));
    EXPECT_EQ(found("quarterly summary"), (L {"summary.pdf"}));
    EXPECT_EQ(found("budget ext:mp3"), (L {"song.mp3"}));

    // A note changed or removed later is followed as well.
    db().exec("UPDATE Documents SET Subject = 'Yearly plan'");
    EXPECT_EQ(found("budget"), (L {"song.mp3"}));
    EXPECT_EQ(found("yearly"), (L {"summary.pdf"}));
}

TEST_F(FindTest, TheCopyFollowsEveryCommitOfAnotherWriter)
{
    scanTwoDisks();
    EXPECT_EQ(found("report"), (L {"Report 2024.PDF", "Reports", "report final.doc", "report-draft.txt"}));

    // Another connection renames, resizes, deletes a scan and adds one.
    SQLite::Database other(storePath().toStdString(), SQLite::OPEN_READWRITE);
    other.exec("UPDATE main SET file_name = 'Annual Report.pdf' WHERE file_name = 'summary.pdf'");
    other.exec("UPDATE main SET bytes = 99999999 WHERE file_name = 'a_b.txt'");
    other.exec("DELETE FROM main WHERE dbaseName = 'Disk B'");
    makeFile(QStringLiteral("diskC/report three.txt"), 10);
    qm::FolderScan run(other, QStringLiteral("Disk C"), 1);
    run.run(qm::startFolderOf(pathOf(QStringLiteral("diskC"))));

    EXPECT_EQ(found("report"), (L {"Annual Report.pdf", "Report 2024.PDF", "Reports", "report three.txt",
                                   "report-draft.txt"}));
    EXPECT_EQ(found("size>50M"), (L {"a_b.txt"}));
    EXPECT_EQ(index().catalogues(), (L {"Disk A", "Disk C"}));

    // A log pruned past what the copy read makes it read everything again.
    other.exec("UPDATE main SET file_name = 'Q.txt' WHERE file_name = 'axb.txt'");
    other.exec("UPDATE main SET file_name = 'R.txt' WHERE file_name = 'it''s.txt'");
    other.exec("DELETE FROM change_log WHERE seq < (SELECT max(seq) FROM change_log)");
    EXPECT_EQ(found("*.txt type:file size<20 catalogue:\"Disk A\""),
        (L {"50% off.txt", "Q.txt", "R.txt", "star*name.txt", "starXname.txt"}));

    // A long log the copy has read is pruned; a store found sound stays marked so.
    other.exec("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 100010) "
               "INSERT INTO change_log (SrNO) SELECT NULL FROM n");
    qm::Store::markChecked(storePath());
    EXPECT_EQ(found("Q.txt"), (L {"Q.txt"}));
    EXPECT_LT(count({}, QStringLiteral("change_log")), 10);
    EXPECT_TRUE(qm::Store::isMarkedChecked(storePath()));
}
