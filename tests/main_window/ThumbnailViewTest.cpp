// SPDX-License-Identifier: GPL-3.0-or-later
// Thumbnails shown with the disk unplugged: "Thumbnails of pictures" in the
// Read menu remembered, the file list's tooltip of a picture, and the Find
// window's preview of the current hit.
#include "ScanSupport.h"
#include "find/FindWindow.h"
#include "find/ThumbnailPreview.h"
#include "support/Pictures.h"

#include <QAction>
#include <QDir>
#include <QHelpEvent>
#include <QPainter>
#include <QTableView>
#include <QTextDocument>
#include <QThread>
#include <QToolTip>
#include <QLabel>

namespace {

QAction* thumbnailsItem(qm::Form1& form)
{
    return form.findChild<QAction*>(QStringLiteral("Thumbnails"));
}

// What a rich-text tooltip shows, drawn.
QImage drawn(const QString& html)
{
    QTextDocument document;
    document.setHtml(html);
    QImage image(document.size().toSize(), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    document.drawContents(&painter);
    return image;
}

TEST_F(ScanTest, PicturesShowTheirThumbnailsWithTheDiskUnplugged)
{
    load(QStringLiteral("Photos"));
    ASSERT_TRUE(thumbnailsItem(*form));
    EXPECT_FALSE(thumbnailsItem(*form)->isChecked());
    thumbnailsItem(*form)->setChecked(true);
    form.reset();
    load(QStringLiteral("Photos"));
    ASSERT_TRUE(thumbnailsItem(*form));
    EXPECT_TRUE(thumbnailsItem(*form)->isChecked()) << "the choice was not remembered";

    const QString jpeg = makeFile(QStringLiteral("card/DCIM/IMG_0042.JPG"),
        qmtest::pictureBytes({1200, 800}, Qt::red, Qt::red, "JPEG"));
    ASSERT_TRUE(qmtest::writeExif(jpeg, 1, qmtest::pictureBytes({160, 107}, Qt::green, Qt::green, "JPEG")));
    makeFile(QStringLiteral("card/DCIM/readme.txt"), 10);
    addFolder(pathOf(QStringLiteral("card")));
    EXPECT_TRUE(qmtest::messages().isEmpty()) << qmtest::messages().join(u'\n').toStdString();
    EXPECT_EQ(count({}, QStringLiteral("thumbnails")), 1);
    ASSERT_TRUE(QDir(pathOf(QStringLiteral("card"))).removeRecursively());

    // The file list: the picture's row shows its thumbnail, drawn from the store.
    click(texts(QStringLiteral("SELECT ID FROM main WHERE file_name = 'DCIM'")).value(0));
    QTreeWidgetItem* row = nullptr;
    QTreeWidgetItem* other = nullptr;
    for (int i = 0; i < form->ListView1->topLevelItemCount(); ++i)
        (form->ListView1->topLevelItem(i)->text(1) == QStringLiteral("IMG_0042.JPG") ? row : other)
            = form->ListView1->topLevelItem(i);
    ASSERT_TRUE(row && other);
    form->show();
    auto tipOf = [this](QTreeWidgetItem* item) {
        QToolTip::hideText();
        const QPoint at = form->ListView1->visualItemRect(item).center();
        QHelpEvent help(QEvent::ToolTip, at, form->ListView1->viewport()->mapToGlobal(at));
        QApplication::sendEvent(form->ListView1->viewport(), &help);
        return QToolTip::isVisible() ? QToolTip::text() : QString();
    };
    const QString tip = tipOf(row);
    EXPECT_TRUE(tip.contains(QStringLiteral("src=\"data:image/jpeg;base64,"))) << tip.toStdString();
    EXPECT_TRUE(tip.contains(QStringLiteral("IMG_0042.JPG")));
    const QImage shown = drawn(tip);
    ASSERT_GE(shown.width(), 160);
    EXPECT_TRUE(qmtest::near(shown, 80, 50, Qt::green)) << "the data URI is not drawn";
    EXPECT_FALSE(tipOf(other).contains(QStringLiteral("data:image")));

    // The Find window: the current hit's thumbnail beside the results.
    form->Find->trigger();
    qm::find::FindWindow* w = qm::find::FindWindow::current();
    ASSERT_TRUE(w);
    w->queryBox->setText(QStringLiteral("IMG_0042"));
    w->runQuery();
    for (int i = 0; i < 1000 && !w->statusLabel->text().endsWith(QStringLiteral("found.")); ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(10);
    }
    ASSERT_EQ(w->results().rowCount(), 1) << w->statusLabel->text().toStdString();
    EXPECT_FALSE(w->preview->showsThumbnail());
    w->resultView->setCurrentIndex(w->results().index(0, 0));
    ASSERT_TRUE(w->preview->showsThumbnail()) << w->preview->text().toStdString();
    EXPECT_EQ(w->preview->pixmap().size(), QSize(160, 107));
    EXPECT_TRUE(qmtest::near(w->preview->pixmap().toImage(), 80, 50, Qt::green));
    // The designed controls keep their places: the preview is beside the results.
    EXPECT_GT(w->preview->geometry().left(), w->resultView->geometry().left());

    w->queryBox->setText(QStringLiteral("readme"));
    w->runQuery();
    for (int i = 0; i < 1000 && !w->statusLabel->text().endsWith(QStringLiteral("found.")); ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(10);
    }
    ASSERT_EQ(w->results().rowCount(), 1);
    w->resultView->setCurrentIndex(w->results().index(0, 0));
    EXPECT_FALSE(w->preview->showsThumbnail());
    EXPECT_TRUE(w->preview->text().contains(QStringLiteral("No thumbnail of readme.txt")));
}

} // namespace
