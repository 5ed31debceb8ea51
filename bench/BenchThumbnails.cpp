// SPDX-License-Identifier: GPL-3.0-or-later
// A scan that keeps thumbnails of camera JPEGs carrying an EXIF thumbnail,
// beside exiftool extracting those thumbnails from the same files in one
// process (the target: at least 150 pictures a second).
//
//   quillmark_bench thumbnails     (QM_BENCH_PICTURES: 500)
#include "Bench.h"

#include "catalog/store/Store.h"
#include "cli/AddFolder.h"
#include "platform/AppPaths.h"
#include "platform/Recordset.h"

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QRandomGenerator>

#include <SQLiteCpp/Database.h>

#include <exiv2/exiv2.hpp>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>

namespace {

int setting(const char* name, int otherwise)
{
    const char* value = std::getenv(name);
    return value && std::atoi(value) > 0 ? std::atoi(value) : otherwise;
}

QByteArray jpegOf(const QImage& image, int quality)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", quality);
    return bytes;
}

// A 3000 x 2000 picture with a photo's gradients and grain, and a 160 x 120
// EXIF thumbnail written by Exiv2 as a camera writes it.
bool writeCameraJpeg(const QString& path)
{
    QImage picture(3000, 2000, QImage::Format_RGB32);
    QPainter painter(&picture);
    QLinearGradient sky(0, 0, 3000, 2000);
    sky.setColorAt(0, QColor(70, 120, 200));
    sky.setColorAt(1, QColor(200, 170, 90));
    painter.fillRect(picture.rect(), sky);
    QRandomGenerator grain(42);
    for (int i = 0; i < 20000; ++i)
        painter.fillRect(grain.bounded(3000), grain.bounded(2000), 6, 6, QColor::fromRgb(grain.generate()));
    painter.end();
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(jpegOf(picture, 90)) < 0)
        return false;
    file.close();
    const QByteArray thumbnail = jpegOf(picture.scaled(160, 120), 80);
    try {
        Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(path.toStdString());
        image->readMetadata();
        Exiv2::ExifData& exif = image->exifData();
        exif["Exif.Image.Make"] = "FUJIFILM";
        exif["Exif.Image.Model"] = "X100F";
        exif["Exif.Image.Orientation"] = static_cast<std::uint16_t>(1);
        exif["Exif.Photo.DateTimeOriginal"] = "2019:06:14 18:02:11";
        Exiv2::ExifThumb(exif).setJpegThumbnail(
            reinterpret_cast<const Exiv2::byte*>(thumbnail.constData()), static_cast<long>(thumbnail.size()));
        image->writeMetadata();
        return true;
    } catch (...) {
        return false;
    }
}

double bestOfThree(const std::function<bool()>& run)
{
    double best = -1;
    for (int i = 0; i < 3; ++i) {
        QElapsedTimer timer;
        timer.start();
        if (!run())
            return -1;
        const double s = static_cast<double>(timer.nsecsElapsed()) / 1e9;
        best = best < 0 ? s : std::min(best, s);
    }
    return best;
}

void thumbnails(const qmbench::Options& options)
{
    const int count = setting("QM_BENCH_PICTURES", 500);
    QDir::setCurrent(options.workFolder);
    const QString tree = options.workFolder + QStringLiteral("/card");
    const QString first = tree + QStringLiteral("/DCIM/100_FUJI/DSCF0000.JPG");
    QDir().mkpath(tree + QStringLiteral("/DCIM/100_FUJI"));
    if (!writeCameraJpeg(first)) {
        std::printf("could not write %s\n", qPrintable(first));
        return;
    }
    for (int i = 1; i < count; ++i) {
        const QString folder = tree + QStringLiteral("/DCIM/%1_FUJI").arg(100 + i / 250);
        QDir().mkpath(folder);
        if (!QFile::copy(first, folder + QStringLiteral("/DSCF%1.JPG").arg(i, 4, 10, QChar(u'0')))) {
            std::printf("could not copy the picture\n");
            return;
        }
    }
    std::printf("%d camera JPEGs of %lld bytes with an EXIF thumbnail, in the cache\n", count,
        static_cast<long long>(QFile(first).size()));

    const double exiftool = bestOfThree([&] {
        QProcess p;
        p.setStandardOutputFile(QProcess::nullDevice());
        p.start(QStringLiteral("exiftool"),
            {QStringLiteral("-fast2"), QStringLiteral("-b"), QStringLiteral("-ThumbnailImage"), QStringLiteral("-r"),
                tree});
        return p.waitForFinished(-1) && p.exitCode() == 0;
    });
    if (exiftool < 0)
        std::printf("exiftool (Debian package libimage-exiftool-perl) did not run; no comparison\n");
    else
        std::printf("exiftool -fast2 -b -ThumbnailImage -r, one process: %.3f s, %.0f pictures/s\n", exiftool,
            count / exiftool);

    auto scan = [&](bool withThumbnails) {
        return bestOfThree([&] {
            QFile::remove(qm::databasePath());
            qm::Store::create(qm::databasePath());
            QStringList args {tree, QStringLiteral("--name=Bench")};
            if (withThumbnails)
                args << QStringLiteral("--thumbnails");
            return qm::runAddFolderCommand(args) == 0;
        });
    };
    const double plain = scan(false);
    const double kept = scan(true);
    std::printf("quillmark add-folder, same files: %.3f s\n", plain);
    std::printf("quillmark add-folder --thumbnails, same files: %.3f s, %.0f pictures/s (target >= 150)", kept,
        kept > 0 ? count / kept : 0.0);
    if (exiftool > 0 && kept > 0)
        std::printf(", %.2f times exiftool's rate", exiftool / kept);
    std::printf("\n");
    try {
        SQLite::Database db(qm::databasePath().toStdString());
        std::printf("thumbnails kept: %lld, %.0f bytes each on average (target <= 10240)\n",
            static_cast<long long>(db.execAndGet("SELECT count(*) FROM thumbnails").getInt64()),
            db.execAndGet("SELECT coalesce(avg(length(Image)), 0) FROM thumbnails").getDouble());
    } catch (const std::exception& e) {
        std::printf("the thumbnails cannot be counted: %s\n", e.what());
    }
}

} // namespace

QM_BENCH("thumbnails", thumbnails);
