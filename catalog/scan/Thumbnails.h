// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Small pictures of pictures, kept in the store so that they can be shown
// while the disk they came from sits in a drawer.
//
// A thumbnail is at most kSide pixels on its long side, turned as the
// picture's EXIF orientation says, and kept as a JPEG of quality kQuality
// (a few kilobytes). It comes from the preview the file carries (the EXIF
// thumbnail of a JPEG, the previews of a TIFF or camera raw file, read
// through Exiv2) when one is at least kSide pixels on its long side, and
// otherwise from the picture itself, decoded at a reduced scale where the
// format allows (libjpeg does). Hostile files are told, never followed: a
// link is not opened, a header declaring more pixels than can be decoded
// within the budget is refused before anything is decoded, and every
// failure of the readers is caught.
#include <QByteArray>
#include <QString>

#include <cstdint>
#include <string>
#include <string_view>

namespace qm {

// A thumbnail as the store keeps it.
struct ItemThumbnail {
    QByteArray image; // JPEG; empty: none
    std::uint16_t width = 0, height = 0;
};

namespace Thumbnails {

inline constexpr int kSide = 160;
inline constexpr int kQuality = 75;
// A decode may take at most this much memory for its pixels (less when the
// process's QImageReader allocation limit is lower).
inline constexpr std::int64_t kDecodeBudget = 128LL << 20;

// Whether a file of this name is a picture a thumbnail is made of: JPEG,
// TIFF, camera raw (CR2, NEF, ARW, DNG), PNG, and WebP where Qt reads it.
bool looksLikePicture(std::string_view name);

struct Made {
    ItemThumbnail thumbnail;
    QString problem; // why there is none; empty when there is one
    bool fromPreview = false; // taken from the preview the file carries
};

// The thumbnail of the picture at `path`, a regular file of the file system
// `device` (0: any).
Made ofFile(const std::string& path, std::uint64_t device = 0);

} // namespace Thumbnails
} // namespace qm
