// SPDX-License-Identifier: GPL-3.0-or-later
#include "about/frmAbout.h"
#include "reports/DataEnvironment1.h"
#include "reports/DataReport1.h"
#include "support/FormFixture.h"
#include "tree_editor/frmTree.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>

using namespace qm;

namespace {

class ReportTest : public FormTest {
protected:
    // Rows of temp as SQL value lists: "(SrNO, 'file_name', 'path', 'size', 'date'), ...".
    void addTemp(const std::string& rows)
    {
        db().exec("INSERT INTO temp (SrNO, file_name, path, size, date) VALUES " + rows);
    }
    // The report of temp as a PDF, read back as text: one entry per page, each
    // the page's non-empty lines with their blanks simplified.
    QList<QStringList> renderedPages()
    {
        const QString pdf = pathOf(QStringLiteral("report.pdf"));
        writeReportPdf(pdf, DataEnvironment1::rsCommand1(storePath()));
        const qmtest::Outcome text
            = qmtest::runProgram(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
        EXPECT_EQ(text.status, 0) << text.err.toStdString();
        QList<QStringList> pages;
        for (const QString& page : text.out.split(u'\f')) {
            QStringList lines;
            for (const QString& line : page.split(u'\n'))
                if (!line.trimmed().isEmpty())
                    lines << line.simplified();
            if (!lines.isEmpty())
                pages << lines;
        }
        return pages;
    }
    static QString rowText(const ReportRow& r)
    {
        return QStringList {r.SrNO, r.file_name, r.path, r.size, r.date}.join(u'|');
    }

    const QString heading = QStringLiteral("SrNO: file_name: path: date: size:");
};

TEST_F(ReportTest, RenderedTextOfAnEmptyAThreeRowAndAManyPageTemp)
{
    addRecord("1>", "0>", "Disks", "/data", "/data/"); // main is not the report's source
    EXPECT_EQ(renderedPages(), QList<QStringList> {QStringList {heading}});

    addTemp("(30, 'c.txt', '/data/c.txt', ' 3 KB', '2026-01-03 10:00:00'), "
            "(10, 'a file.txt', '/data/a file.txt', '12', '2026-01-01 10:00:00'), "
            "(20, 'b', '/data/b/', '0', '2026-01-02 10:00:00')");
    const QStringList three {heading, "30 c.txt /data/c.txt 2026-01-03 10:00:00 3 KB",
        "10 a file.txt /data/a file.txt 2026-01-01 10:00:00 12", "20 b /data/b/ 2026-01-02 10:00:00 0"};
    EXPECT_EQ(renderedPages(), QList<QStringList> {three});

    // Past one page: the heading on every page and no row lost at a page break.
    db().exec("DELETE FROM temp");
    db().exec("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 120) "
              "INSERT INTO temp (SrNO, file_name, path, size, date) SELECT i, 'f' || i, '/p/f' || i, '1', "
              "'d' FROM n");
    const QList<QStringList> pages = renderedPages();
    ASSERT_GT(pages.size(), 1);
    QStringList rows;
    for (const QStringList& page : pages) {
        EXPECT_EQ(page.first(), heading);
        rows << page.mid(1);
    }
    ASSERT_EQ(rows.size(), 120);
    for (int i = 1; i <= 120; ++i)
        EXPECT_EQ(rows[i - 1], QStringLiteral("%1 f%1 /p/f%1 d 1").arg(i));
}

// The menu items that open the secondary windows.
TEST_F(ReportTest, TreeReportAndAboutOpenOneOwnerlessWindowEachAndSayWhatIsMissing)
{
    addTemp("(1, 'a.txt', '/a.txt', '1', 'd')");
    Form1& f = load(QString());
    for (QAction* item : {f.Tree, f.Report, f.About})
        item->trigger();
    frmTree::current()->Text8->setText(QStringLiteral("typed"));
    addTemp("(2, 'b.txt', '/b.txt', '2', 'd')");
    f.Tree_Click(); // again: brought forward, not loaded again
    f.Report_Click();
    f.About_Click();
    QStringList open;
    for (const QWidget* w : QApplication::topLevelWidgets())
        if (w != form.get() && w->isVisible())
            open << w->objectName() + (w->parentWidget() ? "+owner" : "") + (w->isModal() ? "+modal" : "");
    open.sort();
    EXPECT_EQ(open, (QStringList {"DataReport1", "frmAbout", "frmTree"}));
    EXPECT_EQ(frmTree::current()->Text8->text(), QStringLiteral("typed"));
    EXPECT_EQ(DataReport1::current()->rows().size(), 1u);

    // Once closed, each opens afresh.
    frmTree::current()->close();
    DataReport1::current()->close();
    frmAbout::current()->cmdOK_Click();
    qmtest::flushDeletes();
    EXPECT_FALSE(frmTree::current() || DataReport1::current() || frmAbout::current());
    f.Tree_Click();
    f.Report_Click();
    f.About_Click();
    EXPECT_EQ(frmTree::current()->Text8->text(), QStringLiteral("Enter new name"));
    EXPECT_EQ(DataReport1::current()->rows().size(), 2u);
    EXPECT_EQ(frmAbout::current()->windowTitle(), QStringLiteral("About Quillmark"));
    EXPECT_TRUE(qmtest::messages().isEmpty());

    // A missing table or store is told, and no window opens.
    DataReport1::current()->close();
    frmTree::current()->close();
    qmtest::flushDeletes();
    db().exec("DROP TABLE temp");
    f.Report_Click();
    EXPECT_EQ(DataReport1::current(), nullptr);
    EXPECT_TRUE(
        qmtest::toldOnce(QStringLiteral("\"temp\" that the report lists is missing from '") + storePath()));
    QFile::remove(storePath());
    f.Tree_Click();
    EXPECT_EQ(frmTree::current(), nullptr);
    EXPECT_TRUE(qmtest::toldOnce(storePath()));
}

TEST_F(ReportTest, CopyToReportReplacesTempWithTheListedRows)
{
    addTemp("(99, 'old.txt', '/old.txt', '1', 'd')");
    addRecord("1>", "0>", "Disks", "/data", "/data/", "0", "t1", "1>");
    const long long a = addRecord("2>", "1>", "Disks", "a.txt", "/data/a.txt", " 1 KB", "t2", "1>");
    const long long b = addRecord("3>", "1>", "Disks", "b", "/data/b/", "0", "t3", "1>");
    Form1& form = load(QStringLiteral("Disks"));
    QAction* copy = form.ListView1->findChild<QAction*>(QStringLiteral("CopyToReport"));
    ASSERT_NE(copy, nullptr);
    EXPECT_FALSE(copy->isEnabled()); // nothing listed yet

    DataReport1* report = DataReport1::showReport();
    ASSERT_NE(report, nullptr);
    click(QStringLiteral("1>"));
    ASSERT_TRUE(copy->isEnabled());
    copy->trigger();
    const std::vector<ReportRow> rows = DataEnvironment1::rsCommand1(storePath());
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rowText(rows[0]), QStringLiteral("%1|a.txt|/data/a.txt| 1 KB|t2").arg(a));
    EXPECT_EQ(rowText(rows[1]), QStringLiteral("%1|b|/data/b/|0|t3").arg(b));
    EXPECT_EQ(count("typeof(SrNO) = 'integer'", QStringLiteral("temp")), 2);
    EXPECT_EQ(report->rows().size(), 2u); // the open report follows
    EXPECT_TRUE(qmtest::messages().isEmpty());
    form.ListView1->clear();
    EXPECT_FALSE(copy->isEnabled());
}

} // namespace
