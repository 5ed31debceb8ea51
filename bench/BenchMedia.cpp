// SPDX-License-Identifier: GPL-3.0-or-later
// A scan that reads photo and music details, beside `exiftool -fast2 -T`
// over the same files in one run (the target: at least 1,500 files a second,
// warm cache), and beside the same scan without them.
//
//   quillmark_bench media     (QM_BENCH_MEDIA: files, 2000; half camera JPEGs, half MP3s)
#include "Bench.h"

#include "catalog/store/Store.h"
#include "cli/AddFolder.h"
#include "platform/AppPaths.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRandomGenerator>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
// Exiv2 0.27 hands images out in a std::auto_ptr.
#include <exiv2/exiv2.hpp>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>

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

// A camera's JPEG: 1600 × 1200, EXIF with date,
// camera, lens, exposure and GPS.
QByteArray cameraJpeg(const QString& scratch)
{
    QImage image(1600, 1200, QImage::Format_RGB32);
    // Gradients with a little noise: the header is what is read, the
    // picture only takes room.
    QRandomGenerator random(7);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<quint32*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            line[x] = qRgb(x * 255 / image.width(), y * 255 / image.height(), static_cast<int>(random.bounded(32)));
    }
    image.save(scratch, "JPEG", 85);
    auto photo = Exiv2::ImageFactory::open(QFile::encodeName(scratch).toStdString());
    photo->readMetadata();
    Exiv2::ExifData& exif = photo->exifData();
    exif["Exif.Image.Make"] = std::string("FUJIFILM");
    exif["Exif.Image.Model"] = std::string("X100V");
    exif["Exif.Photo.DateTimeOriginal"] = std::string("2019:06:14 10:22:33");
    exif["Exif.Photo.LensModel"] = std::string("23mm F2");
    exif["Exif.Photo.ExposureTime"] = std::string("1/250");
    exif["Exif.Photo.FNumber"] = std::string("56/10");
    exif["Exif.Photo.ISOSpeedRatings"] = std::string("400");
    exif["Exif.GPSInfo.GPSLatitudeRef"] = std::string("N");
    exif["Exif.GPSInfo.GPSLatitude"] = std::string("51/1 30/1 0/1");
    exif["Exif.GPSInfo.GPSLongitudeRef"] = std::string("W");
    exif["Exif.GPSInfo.GPSLongitude"] = std::string("0/1 7/1 30/1");
    photo->writeMetadata();
    QFile f(scratch);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Three minutes of 128 kbit/s MPEG frames with ID3v2 tags, as a ripped song.
QByteArray taggedMp3(const QString& scratch)
{
    QByteArray frame(417, '\0');
    frame[0] = static_cast<char>(0xff);
    frame[1] = static_cast<char>(0xfb);
    frame[2] = static_cast<char>(0x90);
    {
        QFile f(scratch);
        if (!f.open(QIODevice::WriteOnly))
            return {};
        f.write(frame.repeated(180 * 44100 / 1152));
    }
    TagLib::MPEG::File file(QFile::encodeName(scratch).constData());
    TagLib::Tag* tag = file.ID3v2Tag(true);
    tag->setArtist("Night Trains");
    tag->setAlbum("Platforms");
    tag->setTitle("Departure");
    tag->setTrack(4);
    tag->setYear(2004);
    file.save(TagLib::MPEG::File::ID3v2);
    QFile f(scratch);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void media(const qmbench::Options& options)
{
    const int count = setting("QM_BENCH_MEDIA", 2000);
    QDir::setCurrent(options.workFolder);
    const QString tree = options.workFolder + QStringLiteral("/card");
    const QByteArray jpeg = cameraJpeg(options.workFolder + QStringLiteral("/one.jpg"));
    const QByteArray mp3 = taggedMp3(options.workFolder + QStringLiteral("/one.mp3"));
    if (jpeg.isEmpty() || mp3.isEmpty()) {
        std::printf("could not make the sample files\n");
        return;
    }
    for (int i = 0; i < count; ++i) {
        const bool photo = i % 2 == 0;
        const QString folder = tree + (photo ? QStringLiteral("/DCIM/%1FUJI").arg(100 + i / 1000)
                                             : QStringLiteral("/Music/Album %1").arg(i / 24));
        QDir().mkpath(folder);
        QFile f(folder + (photo ? QStringLiteral("/DSCF%1.JPG").arg(i, 4, 10, QLatin1Char('0'))
                                : QStringLiteral("/%1 Song.mp3").arg(i % 24 + 1, 2, 10, QLatin1Char('0'))));
        if (!f.open(QIODevice::WriteOnly) || f.write(photo ? jpeg : mp3) < 0) {
            std::printf("could not write %s\n", qPrintable(f.fileName()));
            return;
        }
    }
    std::printf("%d files (%d JPEGs of %lld KB, %d MP3s of %lld KB), warm cache after the first run\n", count,
        (count + 1) / 2, static_cast<long long>(jpeg.size() / 1024), count / 2,
        static_cast<long long>(mp3.size() / 1024));

    const double exiftool = bestOfThree([&] {
        QProcess p;
        p.setStandardOutputFile(QProcess::nullDevice());
        p.start(QStringLiteral("exiftool"),
            {QStringLiteral("-fast2"), QStringLiteral("-T"), QStringLiteral("-DateTimeOriginal"),
                QStringLiteral("-Make"), QStringLiteral("-Model"), QStringLiteral("-LensModel"),
                QStringLiteral("-ImageWidth"), QStringLiteral("-ImageHeight"), QStringLiteral("-GPSLatitude"),
                QStringLiteral("-GPSLongitude"), QStringLiteral("-Artist"), QStringLiteral("-Album"),
                QStringLiteral("-Title"), QStringLiteral("-Track"), QStringLiteral("-Year"),
                QStringLiteral("-Duration"), QStringLiteral("-r"), tree});
        return p.waitForFinished(-1) && p.exitStatus() == QProcess::NormalExit;
    });
    if (exiftool < 0)
        std::printf("exiftool (Debian package libimage-exiftool-perl) did not run; no comparison\n");
    else
        std::printf("exiftool -fast2 -T -r, one run: %.3f s, %.0f files/s\n", exiftool, count / exiftool);

    auto scan = [&](bool withMedia) {
        return bestOfThree([&] {
            QFile::remove(qm::databasePath());
            qm::Store::create(qm::databasePath());
            QStringList args {tree, QStringLiteral("--name=Bench")};
            if (withMedia)
                args << QStringLiteral("--media");
            return qm::runAddFolderCommand(args) == 0;
        });
    };
    const double plain = scan(false);
    const double read = scan(true);
    std::printf("quillmark add-folder, same files: %.3f s\n", plain);
    std::printf("quillmark add-folder --media, same files: %.3f s, %.0f files/s (target >= 1500)", read,
        read > 0 ? count / read : 0.0);
    if (exiftool > 0 && read > 0)
        std::printf(", %.1f times exiftool's speed", exiftool / read);
    std::printf("\n");
}

} // namespace

QM_BENCH("media", media);
#pragma GCC diagnostic pop
