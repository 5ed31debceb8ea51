// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The three readers behind readMediaDetails (MediaDetails.h), each over one
// library: Exiv2 for images, TagLib for audio, MediaInfo for video. Each is
// handed a path that names an already opened regular file and the ending of
// the file's own name; each catches whatever its library throws. Not for
// use elsewhere.
#include "catalog/scan/MediaDetails.h"

#include <string>
#include <string_view>

namespace qm::media {

bool readImage(const std::string& path, MediaDetails& out);
bool readAudio(const std::string& path, std::string_view ending, MediaDetails& out);
bool readVideo(const std::string& path, MediaDetails& out);

void prepareImages();
void prepareVideo();

// `text` without blanks and NULs at either end (cameras pad their names).
std::string trimmed(std::string_view text);

} // namespace qm::media
