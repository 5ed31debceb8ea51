// SPDX-License-Identifier: GPL-3.0-or-later
// add-folder --thumbnails through the real program: pictures that give none
// are named on stderr and keep their records without changing the status.
#include "cli/ProgramTest.h"
#include "support/Pictures.h"

#include <QImage>
#include <SQLiteCpp/Statement.h>

using namespace qmtest;

namespace {

class ThumbnailCommandTest : public ProgramTest { };

TEST_F(ThumbnailCommandTest, KeepsThumbnailsAndNamesThePicturesThatGaveNone)
{
    const QString disk = makeDir(QStringLiteral("disk"));
    const QString photo = makeFile(QStringLiteral("disk/DSCF0001.JPG"),
        pictureBytes({900, 600}, Qt::red, Qt::red, "JPEG"));
    ASSERT_TRUE(writeExif(photo, 1, pictureBytes({160, 107}, Qt::green, Qt::green, "JPEG")));
    makeFile(QStringLiteral("disk/broken.png"), QByteArrayLiteral("\x89PNG\r\n\x1a\n not really"));

    const Outcome add = quillmark(
        {QStringLiteral("add-folder"), disk, QStringLiteral("--name=Photos"), QStringLiteral("--thumbnails")});
    EXPECT_EQ(add.status, 0) << add.err.toStdString();
    EXPECT_TRUE(add.out.contains(QStringLiteral("Kept thumbnails of 1 picture(s)."))) << add.out.toStdString();
    EXPECT_TRUE(add.err.contains(QStringLiteral("1 picture got no thumbnail; its record is kept:\n") + disk
        + QStringLiteral("/broken.png (")))
        << add.err.toStdString();
    EXPECT_EQ(count({}, QStringLiteral("thumbnails")), 1);
    EXPECT_EQ(count(QStringLiteral("file_name = 'broken.png'")), 1);

    const Outcome plain = quillmark({QStringLiteral("add-folder"), disk, QStringLiteral("--name=Again")});
    EXPECT_FALSE(plain.out.contains(QStringLiteral("thumbnails"))) << plain.out.toStdString();
    EXPECT_EQ(count({}, QStringLiteral("thumbnails")), 1);
}

// An update makes thumbnails of changed and new pictures and of those that
// had none, and leaves an unchanged picture's as it is without reading it.
TEST_F(ThumbnailCommandTest, AnUpdateRemakesWhatChangedAndKeepsTheRest)
{
    const QString disk = makeDir(QStringLiteral("disk"));
    makeFile(QStringLiteral("disk/same.png"), pictureBytes({400, 300}, Qt::red, Qt::red, "PNG"));
    makeFile(QStringLiteral("disk/changed.png"), pictureBytes({400, 300}, Qt::red, Qt::red, "PNG"));
    ASSERT_EQ(quillmark({QStringLiteral("add-folder"), disk, QStringLiteral("--name=P"), QStringLiteral("--thumbnails")})
                  .status,
        0);
    const auto colourOf = [this](const char* name) {
        SQLite::Statement st(db(), "SELECT t.Image FROM thumbnails t JOIN main m USING (SrNO) WHERE m.file_name = ?");
        st.bind(1, name);
        if (!st.executeStep())
            return QColor();
        const QImage image = QImage::fromData(QByteArray(static_cast<const char*>(st.getColumn(0).getBlob()),
            st.getColumn(0).getBytes()));
        return image.pixelColor(image.width() / 2, image.height() / 2);
    };
    ASSERT_GT(colourOf("same.png").red(), 200);

    // Changed: another picture of another size and time. New: one more.
    makeFile(QStringLiteral("disk/changed.png"), pictureBytes({500, 300}, Qt::blue, Qt::blue, "PNG"));
    makeFile(QStringLiteral("disk/new.png"), pictureBytes({300, 300}, Qt::green, Qt::green, "PNG"));
    const Outcome update = quillmark({QStringLiteral("update"), QStringLiteral("P"), disk, QStringLiteral("--thumbnails")});
    EXPECT_EQ(update.status, 0) << update.err.toStdString();
    EXPECT_TRUE(update.out.contains(QStringLiteral("Made 2 thumbnail(s); 1 unchanged picture(s) kept theirs.")))
        << update.out.toStdString();
    EXPECT_EQ(count({}, QStringLiteral("thumbnails")), 3);
    const QColor blue = colourOf("changed.png"), green = colourOf("new.png");
    EXPECT_TRUE(blue.blue() > 200 && blue.red() < 60) << blue.name().toStdString();
    EXPECT_TRUE(green.green() > 100 && green.red() < 60) << green.name().toStdString();
    EXPECT_TRUE(colourOf("same.png").red() > 200);
}

} // namespace
