// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a photo, a piece of music or a video says about itself in its
// headers, as the media stage reads it and table media keeps it.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qm {

enum class MediaKind : std::uint8_t { None = 0, Image = 1, Audio = 2, Video = 3 };

struct MediaDetails {
    MediaKind kind = MediaKind::None; // None: nothing was read
    std::string taken; // "YYYY-MM-DD HH:MM:SS", the camera's clock
    std::string make, model, lens;
    std::optional<std::int64_t> width, height;
    std::optional<double> latitude, longitude; // degrees, south and west below zero
    std::string artist, album, title;
    std::optional<std::int64_t> track, year;
    std::optional<std::int64_t> durationMs;
    std::string codec;

    bool read() const { return kind != MediaKind::None; }
};

// Which reader a file's name calls for, by its ending (any case).
MediaKind mediaKindOf(std::string_view name);

// Reads the details of the regular file at `path` (never through a link,
// never waiting on a FIFO): headers only. False when the file cannot be
// opened or holds nothing the reader understands; malformed input is never
// fatal. Safe to call from several threads at once.
bool readMediaDetails(const std::string& path, MediaKind kind, MediaDetails& out);

// Every library quiet and ready for readers on several threads; called once
// before the first read (readMediaDetails calls it too).
void prepareMediaReaders();

} // namespace qm
