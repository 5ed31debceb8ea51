// SPDX-License-Identifier: GPL-3.0-or-later
// Video details through MediaInfo (BSD-2), which knows the containers
// (MP4, MOV, Matroska, AVI) from their headers and, at its lowest parse
// speed, reads little beyond them: it is far lighter to link and to run per
// file than FFmpeg's probing, and its fields are already named as people say
// them ("AVC", "HEVC").
#include "catalog/scan/MediaReaders.h"

#include <MediaInfo/MediaInfo.h>

#include <QString>

#include <cmath>

namespace qm::media {
namespace {

using MediaInfoLib::MediaInfo;

std::optional<std::int64_t> numberOf(const MediaInfoLib::String& text, double limit)
{
    bool ok = false;
    const double value = QString::fromStdWString(text).toDouble(&ok);
    if (!ok || !std::isfinite(value) || value <= 0 || value > limit)
        return std::nullopt;
    return static_cast<std::int64_t>(std::llround(value));
}

} // namespace

void prepareVideo()
{
    // The library's shared settings are made on first use: once, here.
    MediaInfo::Option_Static(__T("Info_Version"));
}

bool readVideo(const std::string& path, MediaDetails& out)
{
    MediaInfo info;
    // Headers only; no looking for numbered files beside this one.
    info.Option(__T("ParseSpeed"), __T("0"));
    info.Option(__T("File_TestContinuousFileNames"), __T("0"));
    if (info.Open(QString::fromUtf8(path.c_str()).toStdWString()) == 0)
        return false;
    const bool video = info.Count_Get(MediaInfoLib::Stream_Video) > 0;
    constexpr double kWeek = 7.0 * 24 * 3600 * 1000;
    out.durationMs = numberOf(info.Get(MediaInfoLib::Stream_General, 0, __T("Duration")), kWeek);
    if (video) {
        out.width = numberOf(info.Get(MediaInfoLib::Stream_Video, 0, __T("Width")), 1e6);
        out.height = numberOf(info.Get(MediaInfoLib::Stream_Video, 0, __T("Height")), 1e6);
        out.codec = trimmed(QString::fromStdWString(info.Get(MediaInfoLib::Stream_Video, 0, __T("Format"))).toStdString());
        if (!out.durationMs)
            out.durationMs = numberOf(info.Get(MediaInfoLib::Stream_Video, 0, __T("Duration")), kWeek);
    }
    const bool known = video || out.durationMs || info.Count_Get(MediaInfoLib::Stream_Audio) > 0;
    info.Close();
    return known;
}

} // namespace qm::media
