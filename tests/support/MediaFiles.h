// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Photo, music and video files made by the tests: a JPEG saved by Qt with
// EXIF written onto it by Exiv2, an MP3 of silent frames and a FLAC stream
// header with tags written by TagLib, and an MP4 whose boxes are laid out
// byte by byte.
#include <QString>

#include <cstdint>

namespace qmtest {

struct PhotoTags {
    QString taken; // "2019:06:14 10:22:33", as EXIF writes it; empty: none
    QString make, model, lens;
    QString latitude, longitude; // "51/1 30/1 0/1"; empty: no position
    char latitudeRef = 'N', longitudeRef = 'E';
};
// A width × height JPEG at `path` carrying `tags`.
void makeJpeg(const QString& path, int width, int height, const PhotoTags& tags);

struct SongTags {
    QString artist, album, title;
    unsigned track = 0, year = 0;
};
// About `seconds` of 128 kbit/s MPEG-1 layer III frames with ID3v2 tags.
void makeMp3(const QString& path, int seconds, const SongTags& tags);
// A FLAC stream of `seconds` at 44.1 kHz (its header only) with Vorbis comments.
void makeFlac(const QString& path, int seconds, const SongTags& tags);

// The boxes of an MP4 with one AVC video track of width × height lasting `ms`.
QByteArray mp4Bytes(int width, int height, std::uint32_t ms);

} // namespace qmtest
