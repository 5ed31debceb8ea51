// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Real pictures made in the tests: JPEGs and PNGs of known colours, with
// EXIF written by Exiv2 (an embedded thumbnail, an orientation).
#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QSize>
#include <QString>

namespace qmtest {

// A picture whose left half is `left` and right half `right`, encoded as
// `format` ("JPEG", "PNG").
QByteArray pictureBytes(QSize size, QColor left, QColor right, const char* format);

// Writes into the picture file at `path` an EXIF orientation (1 to 8; 0:
// none) and, when `thumbnail` is not empty, that JPEG as its EXIF thumbnail.
bool writeExif(const QString& path, int orientation, const QByteArray& thumbnail = {});

// Whether `image` at (x, y) is near `colour` (JPEG moves colours a little).
bool near(const QImage& image, int x, int y, QColor colour);

} // namespace qmtest
