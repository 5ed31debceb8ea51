// SPDX-License-Identifier: GPL-3.0-or-later
// Photo details through Exiv2, which reads the EXIF of JPEG, TIFF, PNG, the
// camera raw formats and (through its BMFF reader) HEIC and CR3 from their
// headers alone, and is GPL-2+ like us. It throws on malformed input: every
// call is inside the caller's catch.
#include "catalog/scan/MediaReaders.h"

// Exiv2 0.27's headers still name std::auto_ptr.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <exiv2/exiv2.hpp>

#include <cmath>
#include <cstdio>

namespace qm::media {
namespace {

std::string textOf(const Exiv2::ExifData& exif, const char* key)
{
    const auto it = exif.findKey(Exiv2::ExifKey(key));
    if (it == exif.end() || it->count() == 0)
        return {};
    return trimmed(it->toString());
}

std::optional<std::int64_t> numberOf(const Exiv2::ExifData& exif, const char* key)
{
    const auto it = exif.findKey(Exiv2::ExifKey(key));
    if (it == exif.end() || it->count() == 0)
        return std::nullopt;
    const long value = it->toLong(0);
    if (value <= 0 || value > 1000000)
        return std::nullopt;
    return value;
}

// "2019:06:14 10:22:33" as "2019-06-14 10:22:33"; empty unless it is a date.
std::string dateOf(const std::string& text)
{
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    if (std::sscanf(text.c_str(), "%4d:%2d:%2d %2d:%2d:%2d", &y, &mo, &d, &h, &mi, &s) != 6 || y < 1800
        || y > 9999 || mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 60 || h < 0 || mi < 0
        || s < 0)
        return {};
    char out[64]; // room for any int, which the checks above rule out anyway
    std::snprintf(out, sizeof out, "%04d-%02d-%02d %02d:%02d:%02d", y, mo, d, h, mi, s);
    return out;
}

// Degrees, minutes and seconds with their hemisphere, as degrees.
std::optional<double> coordinateOf(const Exiv2::ExifData& exif, const char* key, const char* refKey, char negative,
    double limit)
{
    const auto it = exif.findKey(Exiv2::ExifKey(key));
    if (it == exif.end() || it->count() < 3)
        return std::nullopt;
    double value = 0, unit = 1;
    for (long i = 0; i < 3; ++i, unit *= 60) {
        const Exiv2::Rational r = it->toRational(i);
        if (r.second == 0)
            return std::nullopt;
        value += static_cast<double>(r.first) / r.second / unit;
    }
    if (!std::isfinite(value) || value < 0 || value > limit)
        return std::nullopt;
    const std::string ref = textOf(exif, refKey);
    if (!ref.empty() && (ref.front() == negative || ref.front() == negative + ('a' - 'A')))
        value = -value;
    return value;
}

} // namespace

void prepareImages()
{
    Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
    Exiv2::enableBMFF(true);
    // Its XMP parser must be set up before readers run on several threads.
    Exiv2::XmpParser::initialize();
}

bool readImage(const std::string& path, MediaDetails& out)
{
    Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(path, false);
    if (!image.get())
        return false;
    image->readMetadata();
    const Exiv2::ExifData& exif = image->exifData();
    out.taken = dateOf(textOf(exif, "Exif.Photo.DateTimeOriginal"));
    if (out.taken.empty())
        out.taken = dateOf(textOf(exif, "Exif.Photo.DateTimeDigitized"));
    out.make = textOf(exif, "Exif.Image.Make");
    out.model = textOf(exif, "Exif.Image.Model");
    out.lens = textOf(exif, "Exif.Photo.LensModel");
    if (out.lens.empty()) {
        // The maker's own note names it where the standard tag is missing.
        const auto lens = Exiv2::lensName(exif);
        if (lens != exif.end()) {
            std::string shown = trimmed(lens->print(&exif));
            if (!shown.empty() && shown.front() != '(' && shown != "0")
                out.lens = std::move(shown);
        }
    }
    out.width = numberOf(exif, "Exif.Photo.PixelXDimension");
    out.height = numberOf(exif, "Exif.Photo.PixelYDimension");
    if (!out.width || !out.height) {
        const int w = image->pixelWidth(), h = image->pixelHeight();
        if (w > 0 && h > 0) {
            out.width = w;
            out.height = h;
        }
    }
    out.latitude = coordinateOf(exif, "Exif.GPSInfo.GPSLatitude", "Exif.GPSInfo.GPSLatitudeRef", 'S', 90);
    out.longitude = coordinateOf(exif, "Exif.GPSInfo.GPSLongitude", "Exif.GPSInfo.GPSLongitudeRef", 'W', 180);
    if (!out.latitude || !out.longitude)
        out.latitude = out.longitude = std::nullopt;
    // A file that tells nothing, not even its size, was not understood.
    return !out.taken.empty() || !out.make.empty() || !out.model.empty() || out.width || out.latitude;
}

} // namespace qm::media
#pragma GCC diagnostic pop
