// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/Pictures.h"

#include <QBuffer>
#include <QPainter>

#include <exiv2/exiv2.hpp>

#include <cstdlib>

namespace qmtest {

QByteArray pictureBytes(QSize size, QColor left, QColor right, const char* format)
{
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.fillRect(0, 0, size.width() / 2, size.height(), left);
    painter.fillRect(size.width() / 2, 0, size.width() - size.width() / 2, size.height(), right);
    painter.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format, 90);
    return bytes;
}

bool writeExif(const QString& path, int orientation, const QByteArray& thumbnail)
{
    try {
        Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(path.toStdString());
        image->readMetadata();
        Exiv2::ExifData& exif = image->exifData();
        exif["Exif.Image.Make"] = "Quillmark test camera";
        if (orientation != 0)
            exif["Exif.Image.Orientation"] = static_cast<std::uint16_t>(orientation);
        if (!thumbnail.isEmpty()) {
            Exiv2::ExifThumb thumb(exif);
            thumb.setJpegThumbnail(reinterpret_cast<const Exiv2::byte*>(thumbnail.constData()),
                static_cast<long>(thumbnail.size()));
        }
        image->writeMetadata();
        return true;
    } catch (...) {
        return false;
    }
}

bool near(const QImage& image, int x, int y, QColor colour)
{
    const QColor c = image.pixelColor(x, y);
    return std::abs(c.red() - colour.red()) < 48 && std::abs(c.green() - colour.green()) < 48
        && std::abs(c.blue() - colour.blue()) < 48;
}

} // namespace qmtest
