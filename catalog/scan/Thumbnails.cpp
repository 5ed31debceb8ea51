// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/scan/Thumbnails.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QTransform>

#include <exiv2/exiv2.hpp>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <mutex>

namespace qm::Thumbnails {
namespace {

enum class Kind { None, Jpeg, Tiff, Raw, Png, Webp };

Kind kindOf(std::string_view name)
{
    const size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || name.size() - dot > 6)
        return Kind::None;
    std::string ending(name.substr(dot + 1));
    std::transform(ending.begin(), ending.end(), ending.begin(),
        [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    if (ending == "jpg" || ending == "jpeg" || ending == "jpe")
        return Kind::Jpeg;
    if (ending == "tif" || ending == "tiff")
        return Kind::Tiff;
    if (ending == "cr2" || ending == "nef" || ending == "arw" || ending == "dng")
        return Kind::Raw;
    if (ending == "png")
        return Kind::Png;
    if (ending == "webp")
        return Kind::Webp;
    return Kind::None;
}

bool qtReadsWebp()
{
    static const bool reads = QImageReader::supportedImageFormats().contains("webp");
    return reads;
}

// Exiv2 keeps global tables that must be set up before threads use it, and
// it would otherwise write its warnings about broken files to stderr.
void initExiv2()
{
    static std::once_flag once;
    std::call_once(once, [] {
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
        Exiv2::XmpParser::initialize();
    });
}

std::int64_t decodeBudget()
{
    const std::int64_t limit = static_cast<std::int64_t>(QImageReader::allocationLimit()) << 20;
    return limit > 0 ? std::min(limit, kDecodeBudget) : kDecodeBudget;
}

QString sizeText(const QSize& size)
{
    return QString::number(size.width()) + u'x' + QString::number(size.height());
}

struct Decoded {
    QImage image;
    QString problem;
};

// Decodes a picture no larger than a thumbnail needs, after checking that
// the size its header declares can be decoded within the budget.
Decoded decodeScaled(QIODevice& device, bool autoTransform)
{
    QImageReader reader(&device);
    reader.setAutoTransform(autoTransform);
    const QSize declared = reader.size();
    if (!declared.isValid() || declared.isEmpty())
        return {{},
            reader.canRead() ? QStringLiteral("its size cannot be read")
                             : QStringLiteral("it is not a picture this program can decode")};
    const QSize fit = declared.width() <= kSide && declared.height() <= kSide
        ? declared
        : declared.scaled(kSide, kSide, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
    // libjpeg decodes at a half, a quarter or an eighth of the size, as long
    // as that still covers the size asked for; other formats decode whole.
    std::int64_t shrink = 1;
    if (reader.format() == "jpeg")
        while (shrink < 8 && declared.width() / (shrink * 2) >= fit.width()
            && declared.height() / (shrink * 2) >= fit.height())
            shrink *= 2;
    const std::int64_t pixels = (declared.width() + shrink - 1) / shrink * ((declared.height() + shrink - 1) / shrink);
    if (pixels * 4 > decodeBudget())
        return {{}, QStringLiteral("it declares ") + sizeText(declared)
                + QStringLiteral(" pixels, more than a thumbnail is decoded from")};
    reader.setScaledSize(fit);
    Decoded out;
    out.image = reader.read();
    if (out.image.isNull())
        out.problem = QStringLiteral("it cannot be decoded: ") + reader.errorString();
    return out;
}

// Turns a picture as its EXIF orientation (1 to 8) says it is to be seen.
QImage oriented(const QImage& image, long orientation)
{
    const QTransform quarter = QTransform().rotate(90);
    switch (orientation) {
    case 2:
        return image.mirrored(true, false);
    case 3:
        return image.mirrored(true, true);
    case 4:
        return image.mirrored(false, true);
    case 5:
        return image.mirrored(false, true).transformed(quarter);
    case 6:
        return image.transformed(quarter);
    case 7:
        return image.mirrored(true, false).transformed(quarter);
    case 8:
        return image.transformed(QTransform().rotate(270));
    default:
        return image;
    }
}

// The finished thumbnail: no larger than kSide, on white where the picture
// is transparent, as a JPEG.
bool encode(const QImage& picture, ItemThumbnail& out)
{
    QImage image = picture.width() > kSide || picture.height() > kSide
        ? picture.scaled(kSide, kSide, Qt::KeepAspectRatio, Qt::SmoothTransformation)
        : picture;
    if (image.hasAlphaChannel()) {
        QImage flat(image.size(), QImage::Format_RGB32);
        flat.fill(Qt::white);
        QPainter painter(&flat);
        painter.drawImage(0, 0, image);
        painter.end();
        image = flat;
    }
    QBuffer buffer(&out.image);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(kQuality);
    writer.setOptimizedWrite(true);
    if (!writer.write(image)) {
        out.image.clear();
        return false;
    }
    out.width = static_cast<std::uint16_t>(image.width());
    out.height = static_cast<std::uint16_t>(image.height());
    return true;
}

// From the smallest preview the file carries that is large enough; false
// when there is none Qt decodes.
bool fromPreview(const std::string& path, Made& made)
{
    initExiv2();
    try {
        Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(path, false);
        if (!image.get())
            return false;
        image->readMetadata();
        long orientation = 1;
        const Exiv2::ExifData& exif = image->exifData();
        const auto found = exif.findKey(Exiv2::ExifKey("Exif.Image.Orientation"));
        if (found != exif.end() && found->count() > 0)
            orientation = found->toLong();
        const Exiv2::PreviewManager manager(*image);
        Exiv2::PreviewPropertiesList previews = manager.getPreviewProperties();
        std::stable_sort(previews.begin(), previews.end(), [](const auto& a, const auto& b) {
            return std::uint64_t {a.width_} * a.height_ < std::uint64_t {b.width_} * b.height_;
        });
        for (const Exiv2::PreviewProperties& p : previews) {
            // A preview whose size Exiv2 cannot tell is tried; its header is checked below.
            if (p.width_ != 0 && std::max(p.width_, p.height_) < static_cast<std::uint32_t>(kSide))
                continue;
            const Exiv2::PreviewImage preview = manager.getPreviewImage(p);
            if (preview.size() == 0)
                continue;
            QByteArray bytes = QByteArray::fromRawData(
                reinterpret_cast<const char*>(preview.pData()), static_cast<qsizetype>(preview.size()));
            QBuffer buffer(&bytes);
            buffer.open(QIODevice::ReadOnly);
            const Decoded decoded = decodeScaled(buffer, false);
            if (decoded.image.isNull()
                || std::max(decoded.image.width(), decoded.image.height()) < std::min(kSide, 64))
                continue;
            if (encode(oriented(decoded.image, orientation), made.thumbnail)) {
                made.fromPreview = true;
                return true;
            }
        }
    } catch (...) {
        // A file Exiv2 cannot make sense of is decoded as it is, if it can be.
    }
    return false;
}

} // namespace

bool looksLikePicture(std::string_view name)
{
    const Kind kind = kindOf(name);
    return kind != Kind::None && (kind != Kind::Webp || qtReadsWebp());
}

Made ofFile(const std::string& path, std::uint64_t device)
{
    Made made;
    const Kind kind = kindOf(path);
    // A link is not followed and a FIFO is not waited on.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        made.problem = QStringLiteral("it cannot be opened: ") + QString::fromLocal8Bit(std::strerror(errno));
        return made;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        made.problem = QStringLiteral("it is not a regular file");
        return made;
    }
    if (device != 0 && static_cast<std::uint64_t>(info.st_dev) != device) {
        ::close(fd);
        made.problem = QStringLiteral("it is now on another file system");
        return made;
    }
    // Exiv2 opens files by name: the descriptor's own name is the file
    // checked above, whatever the path has become since.
    const std::string own = "/proc/self/fd/" + std::to_string(fd);
    const bool byDescriptor = ::access(own.c_str(), R_OK) == 0;
    if ((kind == Kind::Jpeg || kind == Kind::Tiff || kind == Kind::Raw) && byDescriptor && fromPreview(own, made)) {
        ::close(fd);
        return made;
    }
    if (kind == Kind::Tiff || kind == Kind::Raw) {
        ::close(fd);
        made.problem = QStringLiteral("it carries no preview this program can decode");
        return made;
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        made.problem = QStringLiteral("it cannot be read: ") + file.errorString();
        return made;
    }
    const Decoded decoded = decodeScaled(file, true);
    if (decoded.image.isNull())
        made.problem = decoded.problem;
    else if (!encode(decoded.image, made.thumbnail))
        made.problem = QStringLiteral("its thumbnail cannot be written");
    return made;
}

} // namespace qm::Thumbnails
