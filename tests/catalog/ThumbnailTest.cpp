// SPDX-License-Identifier: GPL-3.0-or-later
// Thumbnails of pictures: taken from the preview a file carries or decoded
// scaled, turned as EXIF says, hostile and broken files refused; the scan
// that stores them beside the records, read back with the pictures gone.
#include "catalog/FolderScan.h"
#include "catalog/ThumbnailStore.h"
#include "catalog/scan/Thumbnails.h"
#include "catalog/store/Store.h"
#include "support/Pictures.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>

#include <SQLiteCpp/Statement.h>

#include <unistd.h>

using namespace qm;
using qmtest::near;
using qmtest::pictureBytes;

namespace {

QImage decoded(const ItemThumbnail& t)
{
    return QImage::fromData(t.image, "JPEG");
}

class ThumbnailTest : public qmtest::StoreTest {
protected:
    // A camera's JPEG: a red picture whose EXIF thumbnail is green, so that
    // where a thumbnail came from shows in its colour.
    QString cameraJpeg(const QString& relativePath, int orientation = 0)
    {
        const QString path = makeFile(relativePath, pictureBytes({1200, 800}, Qt::red, Qt::red, "JPEG"));
        EXPECT_TRUE(qmtest::writeExif(path, orientation, pictureBytes({160, 107}, Qt::green, Qt::yellow, "JPEG")));
        return path;
    }
    // A JPEG whose frame header claims 60000 x 60000 pixels.
    QString hugeJpeg(const QString& relativePath)
    {
        QByteArray bytes = pictureBytes({64, 48}, Qt::blue, Qt::blue, "JPEG");
        const qsizetype sof = bytes.indexOf(QByteArray("\xFF\xC0", 2));
        EXPECT_GT(sof, 0);
        for (const qsizetype at : {sof + 5, sof + 7}) {
            bytes[at] = static_cast<char>(60000 >> 8);
            bytes[at + 1] = static_cast<char>(60000 & 0xFF);
        }
        return makeFile(relativePath, bytes);
    }
    QString truncatedPng(const QString& relativePath)
    {
        const QByteArray whole = pictureBytes({800, 600}, Qt::blue, Qt::white, "PNG");
        return makeFile(relativePath, whole.left(whole.size() / 3));
    }
};

TEST_F(ThumbnailTest, TakesTheEmbeddedPreviewOrDecodesScaledAndTurnsAsExifSays)
{
    // The camera's own thumbnail, not the picture.
    const Thumbnails::Made fromCamera = Thumbnails::ofFile(cameraJpeg(QStringLiteral("p/camera.jpg")).toStdString());
    ASSERT_TRUE(fromCamera.problem.isEmpty()) << fromCamera.problem.toStdString();
    EXPECT_TRUE(fromCamera.fromPreview);
    EXPECT_EQ(fromCamera.thumbnail.width, 160);
    EXPECT_EQ(fromCamera.thumbnail.height, 107);
    QImage image = decoded(fromCamera.thumbnail);
    EXPECT_EQ(image.size(), QSize(160, 107));
    EXPECT_TRUE(near(image, 20, 50, Qt::green));
    EXPECT_TRUE(near(image, 140, 50, Qt::yellow));

    // A large PNG carries no preview: decoded, no larger than a thumbnail.
    const Thumbnails::Made png = Thumbnails::ofFile(
        makeFile(QStringLiteral("p/scan.PNG"), pictureBytes({3000, 2000}, Qt::blue, Qt::white, "PNG")).toStdString());
    ASSERT_TRUE(png.problem.isEmpty()) << png.problem.toStdString();
    EXPECT_FALSE(png.fromPreview);
    EXPECT_EQ(QSize(png.thumbnail.width, png.thumbnail.height), QSize(160, 106));
    image = decoded(png.thumbnail);
    EXPECT_TRUE(near(image, 20, 50, Qt::blue));
    EXPECT_TRUE(near(image, 140, 50, Qt::white));

    // Orientation 6: seen turned a quarter clockwise, so the left half is on
    // top; for the preview as for the picture decoded.
    const Thumbnails::Made turnedPreview
        = Thumbnails::ofFile(cameraJpeg(QStringLiteral("p/upright.jpg"), 6).toStdString());
    EXPECT_TRUE(turnedPreview.fromPreview);
    image = decoded(turnedPreview.thumbnail);
    EXPECT_EQ(image.size(), QSize(107, 160));
    EXPECT_TRUE(near(image, 50, 20, Qt::green));
    EXPECT_TRUE(near(image, 50, 140, Qt::yellow));

    const QString plain = makeFile(QStringLiteral("p/plain.jpeg"), pictureBytes({600, 400}, Qt::red, Qt::blue, "JPEG"));
    ASSERT_TRUE(qmtest::writeExif(plain, 8));
    const Thumbnails::Made turned = Thumbnails::ofFile(plain.toStdString());
    ASSERT_TRUE(turned.problem.isEmpty()) << turned.problem.toStdString();
    EXPECT_FALSE(turned.fromPreview);
    image = decoded(turned.thumbnail);
    EXPECT_EQ(image.size(), QSize(106, 160));
    // Orientation 8: a quarter anticlockwise, the left half at the bottom.
    EXPECT_TRUE(near(image, 50, 140, Qt::red));
    EXPECT_TRUE(near(image, 50, 20, Qt::blue));
}

TEST_F(ThumbnailTest, BrokenAndHostilePicturesAreToldNeverDecoded)
{
    const Thumbnails::Made huge = Thumbnails::ofFile(hugeJpeg(QStringLiteral("h/huge.jpg")).toStdString());
    EXPECT_TRUE(huge.thumbnail.image.isEmpty());
    EXPECT_TRUE(huge.problem.contains(QStringLiteral("60000x60000"))) << huge.problem.toStdString();

    const Thumbnails::Made cut = Thumbnails::ofFile(truncatedPng(QStringLiteral("h/cut.png")).toStdString());
    EXPECT_TRUE(cut.thumbnail.image.isEmpty());
    EXPECT_FALSE(cut.problem.isEmpty());

    const Thumbnails::Made text
        = Thumbnails::ofFile(makeFile(QStringLiteral("h/notes.jpg"), QByteArrayLiteral("not a picture")).toStdString());
    EXPECT_FALSE(text.problem.isEmpty());

    // A raw file without a preview Qt decodes, and a link, which is never followed.
    EXPECT_FALSE(Thumbnails::ofFile(makeFile(QStringLiteral("h/x.nef"), 4096).toStdString()).problem.isEmpty());
    const QString camera = cameraJpeg(QStringLiteral("h/camera.jpg"));
    const QString link = pathOf(QStringLiteral("h/link.jpg"));
    ASSERT_EQ(::symlink(camera.toUtf8().constData(), link.toUtf8().constData()), 0);
    const Thumbnails::Made linked = Thumbnails::ofFile(link.toStdString());
    EXPECT_TRUE(linked.thumbnail.image.isEmpty());
    EXPECT_FALSE(linked.problem.isEmpty());

    EXPECT_TRUE(Thumbnails::looksLikePicture("IMG_0001.CR2"));
    EXPECT_TRUE(Thumbnails::looksLikePicture("a.tiff"));
    EXPECT_FALSE(Thumbnails::looksLikePicture("a.jpg.txt"));
    EXPECT_FALSE(Thumbnails::looksLikePicture("jpg"));
}

TEST_F(ThumbnailTest, AScanKeepsThumbnailsThatOutliveTheFolderAndCountsWhatGaveNone)
{
    for (int i = 0; i < 6; ++i)
        cameraJpeg(QStringLiteral("disk/shoot/IMG_%1.JPG").arg(1000 + i), i % 2 ? 6 : 1);
    makeFile(QStringLiteral("disk/scan.png"), pictureBytes({2400, 1600}, Qt::blue, Qt::white, "PNG"));
    hugeJpeg(QStringLiteral("disk/bad/huge.jpg"));
    truncatedPng(QStringLiteral("disk/bad/cut.png"));
    makeFile(QStringLiteral("disk/notes.txt"), QByteArrayLiteral("no picture"));

    FolderScan scan(db(), QStringLiteral("Photos"), 1);
    scan.setThumbnails(true);
    ASSERT_FALSE(scan.run(startFolderOf(pathOf(QStringLiteral("disk")))).isEmpty()) << scan.failure().toStdString();
    EXPECT_TRUE(scan.failure().isEmpty()) << scan.failure().toStdString();
    EXPECT_EQ(scan.thumbnailsStored(), 7);
    ASSERT_NE(scan.thumbnailStage(), nullptr);
    EXPECT_EQ(scan.thumbnailStage()->fromPreviews(), 6);
    EXPECT_EQ(scan.thumbnailStage()->skippedCount(), 2);
    const QString report = thumbnailReport(scan);
    EXPECT_TRUE(report.contains(QStringLiteral("2 pictures got no thumbnail"))) << report.toStdString();
    EXPECT_TRUE(report.contains(pathOf(QStringLiteral("disk/bad/huge.jpg")))) << report.toStdString();
    EXPECT_TRUE(report.contains(pathOf(QStringLiteral("disk/bad/cut.png")))) << report.toStdString();
    // The broken pictures keep their records; entries are not "left out".
    EXPECT_EQ(scan.skippedCount(), 0);
    EXPECT_EQ(count(QStringLiteral("file_name IN ('huge.jpg', 'cut.png', 'notes.txt')")), 3);

    // Each beside its own record: small, and averaging well under 10 KB.
    EXPECT_EQ(count({}, QStringLiteral("thumbnails")), 7);
    EXPECT_EQ(count(QStringLiteral("SrNO IN (SELECT SrNO FROM thumbnails) AND (file_name LIKE 'IMG_%' OR "
                                   "file_name = 'scan.png')")),
        7);
    EXPECT_EQ(count(QStringLiteral("max(Width, Height) > 160"), QStringLiteral("thumbnails")), 0);
    EXPECT_LE(db().execAndGet("SELECT avg(length(Image)) FROM thumbnails").getDouble(), 10240.0);

    // With the disk gone, the store alone shows them.
    ASSERT_TRUE(QDir(pathOf(QStringLiteral("disk"))).removeRecursively());
    const std::int64_t upright = db().execAndGet("SELECT SrNO FROM main WHERE file_name = 'IMG_1001.JPG'").getInt64();
    const std::optional<ItemThumbnail> kept = storedThumbnail(db(), upright);
    ASSERT_TRUE(kept.has_value());
    const QImage image = decoded(*kept);
    EXPECT_EQ(image.size(), QSize(107, 160));
    EXPECT_TRUE(near(image, 50, 20, Qt::green));
    const std::int64_t notes = db().execAndGet("SELECT SrNO FROM main WHERE file_name = 'notes.txt'").getInt64();
    EXPECT_FALSE(storedThumbnail(db(), notes).has_value());

    // A record deleted takes its thumbnail along; a file changed loses its old one.
    db().exec("DELETE FROM main WHERE file_name = 'IMG_1000.JPG'");
    db().exec("UPDATE main SET modified = modified + 1 WHERE file_name = 'IMG_1002.JPG'");
    db().exec("UPDATE main SET date = date WHERE file_name = 'IMG_1003.JPG'");
    EXPECT_EQ(count({}, QStringLiteral("thumbnails")), 5);
}

TEST_F(ThumbnailTest, AStoreOfTheFormatBeforeIsUpgradedWithEveryRecord)
{
    resetConnection();
    const QString old = pathOf(QStringLiteral("old.mdb"));
    ASSERT_TRUE(Store::create(old, 7).isEmpty());
    {
        SQLite::Database before(old.toStdString(), SQLite::OPEN_READWRITE);
        before.exec("INSERT INTO main (ID, Parent, dbaseName, file_name, path) VALUES ('1>', '0>', 'Old', "
                    "'a.jpg', '/a.jpg')");
    }
    ASSERT_TRUE(Store::prepare(old).isEmpty());
    SQLite::Database after(old.toStdString(), SQLite::OPEN_READWRITE);
    EXPECT_EQ(after.execAndGet("PRAGMA user_version").getInt(), Store::kFormat);
    EXPECT_EQ(after.execAndGet("SELECT count(*) FROM main WHERE file_name = 'a.jpg'").getInt(), 1);
    EXPECT_EQ(after.execAndGet("SELECT count(*) FROM thumbnails").getInt(), 0);
}

} // namespace
