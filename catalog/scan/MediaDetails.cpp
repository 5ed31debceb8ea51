// SPDX-License-Identifier: GPL-3.0-or-later
// Which reader a file calls for, and opening it so that no reader follows a
// link or waits on a FIFO: the file is opened here, checked to be a regular
// file, and the readers open that very file again through /proc/self/fd.
#include "catalog/scan/MediaDetails.h"

#include "catalog/scan/MediaReaders.h"

#include <QByteArray>
#include <QString>

#include <algorithm>
#include <array>
#include <cctype>
#include <mutex>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qm {
namespace {

struct Ending {
    std::string_view text;
    MediaKind kind;
};

// Images Exiv2 reads (HEIC and CR3 through its BMFF reader), audio TagLib
// reads, video MediaInfo reads.
constexpr std::array kEndings {Ending {"jpg", MediaKind::Image}, Ending {"jpeg", MediaKind::Image},
    Ending {"jpe", MediaKind::Image}, Ending {"tif", MediaKind::Image}, Ending {"tiff", MediaKind::Image},
    Ending {"png", MediaKind::Image}, Ending {"heic", MediaKind::Image}, Ending {"heif", MediaKind::Image},
    Ending {"avif", MediaKind::Image}, Ending {"webp", MediaKind::Image}, Ending {"cr2", MediaKind::Image},
    Ending {"cr3", MediaKind::Image}, Ending {"crw", MediaKind::Image}, Ending {"nef", MediaKind::Image},
    Ending {"arw", MediaKind::Image}, Ending {"dng", MediaKind::Image}, Ending {"raf", MediaKind::Image},
    Ending {"orf", MediaKind::Image}, Ending {"rw2", MediaKind::Image}, Ending {"pef", MediaKind::Image},
    Ending {"srw", MediaKind::Image}, Ending {"mp3", MediaKind::Audio}, Ending {"flac", MediaKind::Audio},
    Ending {"ogg", MediaKind::Audio}, Ending {"oga", MediaKind::Audio}, Ending {"opus", MediaKind::Audio},
    Ending {"m4a", MediaKind::Audio}, Ending {"wav", MediaKind::Audio}, Ending {"mp4", MediaKind::Video},
    Ending {"m4v", MediaKind::Video}, Ending {"mov", MediaKind::Video}, Ending {"mkv", MediaKind::Video},
    Ending {"webm", MediaKind::Video}, Ending {"avi", MediaKind::Video}};

std::string_view endingOf(std::string_view name)
{
    const size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0 || name.size() - dot - 1 > 4)
        return {};
    return name.substr(dot + 1);
}

bool sameLetters(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == static_cast<unsigned char>(y);
    });
}

// An open descriptor, closed at the end of the read.
class OpenFile {
public:
    explicit OpenFile(const std::string& path)
        : fd_(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC))
    {
        struct stat st {};
        if (fd_ >= 0 && (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode))) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~OpenFile()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;
    bool isOpen() const { return fd_ >= 0; }
    std::string procPath() const { return "/proc/self/fd/" + std::to_string(fd_); }

private:
    int fd_;
};

} // namespace

MediaKind mediaKindOf(std::string_view name)
{
    const std::string_view ending = endingOf(name);
    if (ending.empty())
        return MediaKind::None;
    for (const Ending& e : kEndings)
        if (sameLetters(ending, e.text))
            return e.kind;
    return MediaKind::None;
}

void prepareMediaReaders()
{
    static std::once_flag once;
    std::call_once(once, [] {
        media::prepareImages();
        media::prepareVideo();
    });
}

bool readMediaDetails(const std::string& path, MediaKind kind, MediaDetails& out)
{
    out = MediaDetails {};
    if (kind == MediaKind::None)
        return false;
    prepareMediaReaders();
    const OpenFile file(path);
    if (!file.isOpen())
        return false;
    std::string ending(endingOf(path));
    std::transform(ending.begin(), ending.end(), ending.begin(),
        [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); });
    bool ok = false;
    try {
        switch (kind) {
        case MediaKind::Image:
            ok = media::readImage(file.procPath(), out);
            break;
        case MediaKind::Audio:
            ok = media::readAudio(file.procPath(), ending, out);
            break;
        case MediaKind::Video:
            ok = media::readVideo(file.procPath(), out);
            break;
        case MediaKind::None:
            break;
        }
    } catch (...) {
        ok = false; // a reader's library failing on a malformed file
    }
    if (!ok) {
        out = MediaDetails {};
        return false;
    }
    out.kind = kind;
    return true;
}

namespace media {

std::string trimmed(std::string_view text)
{
    auto blank = [](char c) { return c == '\0' || std::isspace(static_cast<unsigned char>(c)); };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    // A text cut at its first NUL: some writers pad with garbage behind it.
    if (const size_t nul = text.find('\0'); nul != std::string_view::npos)
        text = text.substr(0, nul);
    // Stored as text: bytes that are not UTF-8 become replacement
    // characters, and a hostile header cannot fill the store.
    constexpr size_t kLongest = 512;
    QByteArray bytes = QString::fromUtf8(text.data(), static_cast<qsizetype>(std::min(text.size(), kLongest))).toUtf8();
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

} // namespace media
} // namespace qm
