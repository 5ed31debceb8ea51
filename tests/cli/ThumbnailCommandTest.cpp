// SPDX-License-Identifier: GPL-3.0-or-later
// add-folder --thumbnails through the real program: pictures that give none
// are named on stderr and keep their records without changing the status.
#include "cli/ProgramTest.h"
#include "support/Pictures.h"

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

} // namespace
