// SPDX-License-Identifier: GPL-3.0-or-later
#include "FindSupport.h"

#include "find/FindWindow.h"
#include "platform/Clipboard.h"
#include "support/FormFixture.h"

#include <QAction>
#include <QKeyEvent>
#include <QLabel>
#include <QThread>

using qm::find::FindWindow;

namespace {

class FindWindowTest : public WithDisks<FormTest> {
protected:
    // Typed key by key, as a user types.
    static void type(QLineEdit* box, const QString& text)
    {
        for (const QChar c : text) {
            QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
            QApplication::sendEvent(box, &press);
        }
    }
    // Lets the worker answer; false when it did not within ten seconds.
    static bool waitFor(const std::function<bool()>& ready)
    {
        for (int i = 0; i < 1000 && !ready(); ++i) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            QThread::msleep(10);
        }
        return ready();
    }
    static bool settled(FindWindow* w) { return w->statusLabel->text().endsWith(QStringLiteral("found.")); }
};

} // namespace

TEST_F(FindWindowTest, TypingFindsOnEveryDiskAndAHitLandsOnItsNode)
{
    scanTwoDisks();
    load(QStringLiteral("Disk B"));
    form->Find->trigger();
    FindWindow* w = FindWindow::current();
    ASSERT_TRUE(w);
    form->Find->trigger();
    EXPECT_EQ(FindWindow::current(), w) << "a second window opened";

    // A mistake is told beside the box at once, and nothing is searched.
    type(w->queryBox, QStringLiteral("size>abc"));
    EXPECT_TRUE(w->problemLabel->text().contains(QStringLiteral("\"abc\" is not a size")));
    w->queryBox->clear();

    type(w->queryBox, QStringLiteral("summ"));
    EXPECT_EQ(w->problemLabel->text(), QString());
    ASSERT_TRUE(waitFor([&] { return settled(w); })) << w->statusLabel->text().toStdString();
    ASSERT_EQ(w->results().rowCount(), 1);
    EXPECT_EQ(w->results().cells(0),
        (QStringList {"summary.pdf", pathOf(QStringLiteral("diskA/Reports/old/summary.pdf")), " 19.53 KB",
            w->results().hit(0).date, "Disk A", pathOf(QStringLiteral("diskA")), w->results().hit(0).volume,
            w->results().hit(0).modified}));
    EXPECT_EQ(w->results().hit(0).modified.size(), 19); // the file's modification time, beside its creation date
    // The volume the scan came from, and all that is known of it on the disk columns.
    EXPECT_FALSE(w->results().hit(0).volume.isEmpty());
    EXPECT_TRUE(w->results().data(w->results().index(0, qm::find::FindResults::Volume), Qt::ToolTipRole)
                    .toString()
                    .contains(QStringLiteral("scanned ")));

    // The hit is in a catalogue that is not shown: it is opened, and the
    // node is reached as a click reaches it.
    w->showResult(0);
    EXPECT_EQ(form->shownDatabaseName(), QStringLiteral("Disk A"));
    EXPECT_EQ(qm::NameFile::read().name, QStringLiteral("Disk A"));
    const qm::Node* selected = form->TreeView1->SelectedItem();
    ASSERT_TRUE(selected);
    EXPECT_EQ(selected->Text, QStringLiteral("summary.pdf"));
    for (const qm::Node* up = selected->Parent; up; up = up->Parent)
        EXPECT_TRUE(form->TreeView1->isExpanded(up)) << up->Text.toStdString();
    EXPECT_EQ(rows(form->ListView2).value(0).section(u'|', 0, 1),
        QStringLiteral("summary.pdf|") + pathOf(QStringLiteral("diskA/Reports/old/summary.pdf")));

    // Copied and exported as shown.
    w->copyRows();
    EXPECT_TRUE(qmtest::testClipboard().GetText().startsWith(
        QStringLiteral("Name\tPath\tSize\tDate\tCatalogue\tDisk\tVolume\tModified\nsummary.pdf\t")));
    const QString csv = pathOf(QStringLiteral("found.csv"));
    w->exportCsv(csv);
    EXPECT_TRUE(readFile(csv).startsWith("Name,Path,Size,Date,Catalogue,Disk,Volume,Modified\r\nsummary.pdf,"));

    // A mistake typed after them empties the results: none stays under the
    // message as if the query had found it.
    type(w->queryBox, QStringLiteral(" size>abc"));
    EXPECT_FALSE(w->problemLabel->text().isEmpty());
    EXPECT_EQ(w->results().rowCount(), 0);
    EXPECT_EQ(w->statusLabel->text(), QString());
    w->queryBox->setText(QStringLiteral("summ"));
    w->runQuery();
    ASSERT_TRUE(waitFor([&] { return w->results().rowCount() == 1 && settled(w); }));

    // Another writer's commit reaches the open window without a key pressed.
    db().exec("UPDATE main SET file_name = 'plan.pdf' WHERE file_name = 'summary.pdf'");
    EXPECT_TRUE(waitFor([&] { return w->results().rowCount() == 0 && settled(w); }));

    // A hit whose record was deleted meanwhile is told, not shown.
    w->queryBox->clear();
    type(w->queryBox, QStringLiteral("\"report final\""));
    ASSERT_TRUE(waitFor([&] { return w->results().rowCount() == 1 && settled(w); }));
    db().exec("DELETE FROM main WHERE dbaseName = 'Disk B'");
    qmtest::messages().clear();
    w->showResult(0);
    EXPECT_TRUE(qmtest::toldOnce(QStringLiteral("is no longer in the catalogue \"Disk B\"")));
}
