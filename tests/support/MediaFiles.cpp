// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/MediaFiles.h"

#include <QFile>
#include <QImage>

#include <stdexcept>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
// Exiv2 0.27 hands images out in a std::auto_ptr.
#include <exiv2/exiv2.hpp>

#include <taglib/flacfile.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/xiphcomment.h>

namespace qmtest {
namespace {

void writeAll(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        throw std::runtime_error("cannot write " + path.toStdString());
}

TagLib::String tagText(const QString& text)
{
    return TagLib::String(text.toUtf8().constData(), TagLib::String::UTF8);
}

void setTags(TagLib::Tag& tag, const SongTags& t)
{
    tag.setArtist(tagText(t.artist));
    tag.setAlbum(tagText(t.album));
    tag.setTitle(tagText(t.title));
    tag.setTrack(t.track);
    tag.setYear(t.year);
}

QByteArray bigEndian(std::uint64_t value, int bytes)
{
    QByteArray out;
    for (int i = bytes - 1; i >= 0; --i)
        out.append(static_cast<char>((value >> (8 * i)) & 0xff));
    return out;
}

QByteArray box(const char* type, const QByteArray& body)
{
    return bigEndian(static_cast<std::uint64_t>(body.size()) + 8, 4) + QByteArray(type, 4) + body;
}

QByteArray fullBox(const char* type, int version, std::uint32_t flags, const QByteArray& body)
{
    return box(type, bigEndian(static_cast<std::uint64_t>(version), 1) + bigEndian(flags, 3) + body);
}

QByteArray unityMatrix()
{
    return bigEndian(0x00010000, 4) + bigEndian(0, 4) + bigEndian(0, 4) + bigEndian(0, 4) + bigEndian(0x00010000, 4)
        + bigEndian(0, 4) + bigEndian(0, 4) + bigEndian(0, 4) + bigEndian(0x40000000, 4);
}

} // namespace

void makeJpeg(const QString& path, int width, int height, const PhotoTags& tags)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    if (!image.save(path, "JPEG"))
        throw std::runtime_error("cannot save " + path.toStdString());
    auto photo = Exiv2::ImageFactory::open(QFile::encodeName(path).toStdString());
    photo->readMetadata();
    Exiv2::ExifData& exif = photo->exifData();
    if (!tags.taken.isEmpty())
        exif["Exif.Photo.DateTimeOriginal"] = tags.taken.toStdString();
    if (!tags.make.isEmpty())
        exif["Exif.Image.Make"] = tags.make.toStdString();
    if (!tags.model.isEmpty())
        exif["Exif.Image.Model"] = tags.model.toStdString();
    if (!tags.lens.isEmpty())
        exif["Exif.Photo.LensModel"] = tags.lens.toStdString();
    if (!tags.latitude.isEmpty()) {
        exif["Exif.GPSInfo.GPSLatitudeRef"] = std::string(1, tags.latitudeRef);
        exif["Exif.GPSInfo.GPSLatitude"] = tags.latitude.toStdString();
        exif["Exif.GPSInfo.GPSLongitudeRef"] = std::string(1, tags.longitudeRef);
        exif["Exif.GPSInfo.GPSLongitude"] = tags.longitude.toStdString();
    }
    photo->writeMetadata();
}

void makeMp3(const QString& path, int seconds, const SongTags& tags)
{
    // MPEG-1 layer III, 128 kbit/s, 44.1 kHz, stereo: 417 bytes a frame of
    // 1152 samples, its side information and data all zero (silence).
    QByteArray frame(417, '\0');
    frame[0] = static_cast<char>(0xff);
    frame[1] = static_cast<char>(0xfb);
    frame[2] = static_cast<char>(0x90);
    frame[3] = static_cast<char>(0x00);
    const int frames = seconds * 44100 / 1152;
    writeAll(path, frame.repeated(frames));
    TagLib::MPEG::File file(QFile::encodeName(path).constData());
    setTags(*file.ID3v2Tag(true), tags);
    if (!file.save(TagLib::MPEG::File::ID3v2))
        throw std::runtime_error("cannot tag " + path.toStdString());
}

void makeFlac(const QString& path, int seconds, const SongTags& tags)
{
    // "fLaC", then STREAMINFO as the last metadata block: block sizes, frame
    // sizes unknown, 44100 Hz, 2 channels, 16 bits, the sample count, no MD5.
    const std::uint64_t samples = static_cast<std::uint64_t>(seconds) * 44100;
    QByteArray info = bigEndian(4096, 2) + bigEndian(4096, 2) + bigEndian(0, 3) + bigEndian(0, 3);
    const std::uint64_t packed = (std::uint64_t {44100} << 44) | (std::uint64_t {1} << 41) | (std::uint64_t {15} << 36)
        | samples;
    info += bigEndian(packed, 8) + QByteArray(16, '\0');
    writeAll(path, QByteArray("fLaC") + bigEndian(0x80, 1) + bigEndian(static_cast<std::uint64_t>(info.size()), 3) + info);
    TagLib::FLAC::File file(QFile::encodeName(path).constData());
    if (!file.isValid())
        throw std::runtime_error("TagLib does not take the FLAC stream " + path.toStdString());
    setTags(*file.xiphComment(true), tags);
    if (!file.save())
        throw std::runtime_error("cannot tag " + path.toStdString());
}

QByteArray mp4Bytes(int width, int height, std::uint32_t ms)
{
    const QByteArray ftyp = box("ftyp", QByteArray("isom") + bigEndian(512, 4) + QByteArray("isomiso2avc1mp41"));
    const QByteArray mvhd = fullBox("mvhd", 0, 0,
        bigEndian(0, 4) + bigEndian(0, 4) + bigEndian(1000, 4) + bigEndian(ms, 4) + bigEndian(0x00010000, 4)
            + bigEndian(0x0100, 2) + QByteArray(10, '\0') + unityMatrix() + QByteArray(24, '\0') + bigEndian(2, 4));
    const QByteArray tkhd = fullBox("tkhd", 0, 3,
        bigEndian(0, 4) + bigEndian(0, 4) + bigEndian(1, 4) + bigEndian(0, 4) + bigEndian(ms, 4) + QByteArray(8, '\0')
            + bigEndian(0, 2) + bigEndian(0, 2) + bigEndian(0, 2) + bigEndian(0, 2) + unityMatrix()
            + bigEndian(static_cast<std::uint64_t>(width) << 16, 4) + bigEndian(static_cast<std::uint64_t>(height) << 16, 4));
    const QByteArray mdhd = fullBox("mdhd", 0, 0,
        bigEndian(0, 4) + bigEndian(0, 4) + bigEndian(1000, 4) + bigEndian(ms, 4) + bigEndian(0x55c4, 2) + bigEndian(0, 2));
    const QByteArray hdlr
        = fullBox("hdlr", 0, 0, bigEndian(0, 4) + QByteArray("vide") + QByteArray(12, '\0') + QByteArray("Video", 6));
    // An AVC sample entry, without its decoder configuration: the
    // container's own fields are what a header reader reports.
    const QByteArray avc1 = box("avc1",
        QByteArray(6, '\0') + bigEndian(1, 2) + QByteArray(16, '\0') + bigEndian(static_cast<std::uint64_t>(width), 2)
            + bigEndian(static_cast<std::uint64_t>(height), 2) + bigEndian(0x00480000, 4) + bigEndian(0x00480000, 4)
            + bigEndian(0, 4) + bigEndian(1, 2) + QByteArray(32, '\0') + bigEndian(0x0018, 2) + bigEndian(0xffff, 2));
    const QByteArray stbl = box("stbl",
        fullBox("stsd", 0, 0, bigEndian(1, 4) + avc1) + fullBox("stts", 0, 0, bigEndian(0, 4))
            + fullBox("stsc", 0, 0, bigEndian(0, 4)) + fullBox("stsz", 0, 0, bigEndian(0, 4) + bigEndian(0, 4))
            + fullBox("stco", 0, 0, bigEndian(0, 4)));
    const QByteArray dinf = box("dinf", fullBox("dref", 0, 0, bigEndian(1, 4) + fullBox("url ", 0, 1, {})));
    const QByteArray minf = box("minf", fullBox("vmhd", 0, 1, QByteArray(8, '\0')) + dinf + stbl);
    const QByteArray trak = box("trak", tkhd + box("mdia", mdhd + hdlr + minf));
    return ftyp + box("moov", mvhd + trak);
}

} // namespace qmtest
#pragma GCC diagnostic pop
