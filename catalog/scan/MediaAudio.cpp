// SPDX-License-Identifier: GPL-3.0-or-later
// Music details through TagLib (LGPL-2.1/MPL-1.1), which reads ID3v2, Vorbis
// comments, MP4 atoms and RIFF INFO from the tags alone and the length from
// the stream's first headers (its fast read style). The reader is chosen by
// the name's ending: the path it opens, /proc/self/fd/N, has none.
#include "catalog/scan/MediaReaders.h"

#include <taglib/flacfile.h>
#include <taglib/mp4file.h>
#include <taglib/mpegfile.h>
#include <taglib/opusfile.h>
#include <taglib/vorbisfile.h>
#include <taglib/wavfile.h>

#include <memory>

namespace qm::media {
namespace {

std::string textOf(const TagLib::String& text)
{
    return text.isEmpty() ? std::string() : trimmed(text.to8Bit(true));
}

std::unique_ptr<TagLib::File> open(const char* path, std::string_view ending)
{
    constexpr auto fast = TagLib::AudioProperties::Fast;
    if (ending == "mp3")
        return std::make_unique<TagLib::MPEG::File>(path, true, fast);
    if (ending == "flac")
        return std::make_unique<TagLib::FLAC::File>(path, true, fast);
    if (ending == "ogg" || ending == "oga")
        return std::make_unique<TagLib::Ogg::Vorbis::File>(path, true, fast);
    if (ending == "opus")
        return std::make_unique<TagLib::Ogg::Opus::File>(path, true, fast);
    if (ending == "m4a")
        return std::make_unique<TagLib::MP4::File>(path, true, fast);
    if (ending == "wav")
        return std::make_unique<TagLib::RIFF::WAV::File>(path, true, fast);
    return nullptr;
}

} // namespace

bool readAudio(const std::string& path, std::string_view ending, MediaDetails& out)
{
    const std::unique_ptr<TagLib::File> file = open(path.c_str(), ending);
    if (!file || !file->isValid())
        return false;
    if (const TagLib::Tag* tag = file->tag()) {
        out.artist = textOf(tag->artist());
        out.album = textOf(tag->album());
        out.title = textOf(tag->title());
        if (const unsigned track = tag->track(); track > 0 && track < 100000)
            out.track = track;
        if (const unsigned year = tag->year(); year > 0 && year < 10000)
            out.year = year;
    }
    if (const TagLib::AudioProperties* properties = file->audioProperties())
        if (const int ms = properties->lengthInMilliseconds(); ms > 0)
            out.durationMs = ms;
    return out.durationMs || !out.artist.empty() || !out.album.empty() || !out.title.empty();
}

} // namespace qm::media
