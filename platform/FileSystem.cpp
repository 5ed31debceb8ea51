// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/FileSystem.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace qm {
namespace {

FileSystem*& installed()
{
    static FileSystem* fs = nullptr;
    return fs;
}

EntryKind kindOf(unsigned mode)
{
    if (S_ISREG(mode))
        return EntryKind::File;
    if (S_ISDIR(mode))
        return EntryKind::Directory;
    return EntryKind::Other;
}

int statPlain(int dirFd, const char* name, int flags, EntryInfo& info)
{
    struct stat st;
    if (::fstatat(dirFd, name, &st, flags) != 0)
        return errno;
    info.kind = kindOf(st.st_mode);
    info.size = static_cast<std::uint64_t>(st.st_size);
    info.created = static_cast<std::int64_t>(st.st_mtime);
    info.modified = info.created;
    info.device = static_cast<std::uint64_t>(st.st_dev);
    return 0;
}

int statEntry(int dirFd, const char* name, int flags, EntryInfo& info)
{
#ifdef STATX_BTIME
    // Kernels or file systems without statx fall back to the plain call for good.
    static bool haveStatx = true;
    if (haveStatx) {
        struct statx sx;
        if (::statx(dirFd, name, flags, STATX_TYPE | STATX_SIZE | STATX_MTIME | STATX_BTIME, &sx) == 0) {
            info.kind = kindOf(sx.stx_mode);
            info.size = sx.stx_size;
            // Some file systems answer a birth time of exactly the epoch when
            // they kept none (files unpacked from an image, for one).
            const bool born
                = (sx.stx_mask & STATX_BTIME) && (sx.stx_btime.tv_sec != 0 || sx.stx_btime.tv_nsec != 0);
            info.created = born ? sx.stx_btime.tv_sec : sx.stx_mtime.tv_sec;
            info.modified = sx.stx_mtime.tv_sec;
            info.device = static_cast<std::uint64_t>(makedev(sx.stx_dev_major, sx.stx_dev_minor));
            return 0;
        }
        if (errno != ENOSYS)
            return errno;
        haveStatx = false;
    }
#endif
    return statPlain(dirFd, name, flags, info);
}

// A listing over a folder's descriptor, which it then owns; null with
// `error` set when the folder could not be opened.
DIR* listing(int fd, int& error)
{
    DIR* dir = fd < 0 ? nullptr : ::fdopendir(fd);
    error = dir ? 0 : errno;
    if (!dir && fd >= 0)
        ::close(fd);
    return dir;
}

void put(char* at, int value, int width)
{
    for (int i = width - 1; i >= 0; --i) {
        at[i] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
}

} // namespace

// The folders of one walk that hold a descriptor, least recently used first.
struct Chain {
    Folder* oldest = nullptr;
    Folder* newest = nullptr;
    int open = 0;
    int limit = Folder::openLimit();
};

int Folder::openLimit()
{
    rlimit limit {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return 128;
    return static_cast<int>(std::clamp<rlim_t>(limit.rlim_cur / 8, 4, 128));
}

Folder::Folder(void* dir, Folder* parent, std::string name)
    : dir_(dir)
    , parent_(parent)
    , name_(std::move(name))
    , chain_(parent ? parent->chain_ : new Chain)
{
    if (parent_ && parent_->dir_) { // the parent was just used: it becomes the newest but one
        parent_->unlink();
        parent_->link();
    }
    link();
    parkBeyondLimit();
}

Folder::~Folder()
{
    if (dir_) {
        // Coming back up to a parked folder: it is found again through "..".
        int up = -1;
        if (parent_ && !parent_->dir_)
            up = ::openat(::dirfd(static_cast<DIR*>(dir_)), "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        unlink();
        ::closedir(static_cast<DIR*>(dir_));
        if (up >= 0)
            parent_->resume(up);
    }
    if (!parent_)
        delete chain_;
}

void Folder::link()
{
    older_ = chain_->newest;
    newer_ = nullptr;
    (older_ ? older_->newer_ : chain_->oldest) = this;
    chain_->newest = this;
    ++chain_->open;
}

void Folder::unlink()
{
    (older_ ? older_->newer_ : chain_->oldest) = newer_;
    (newer_ ? newer_->older_ : chain_->newest) = older_;
    older_ = newer_ = nullptr;
    --chain_->open;
}

void Folder::parkBeyondLimit()
{
    while (chain_->open > chain_->limit && chain_->oldest != this && chain_->oldest != parent_)
        chain_->oldest->park();
}

void Folder::park()
{
    struct stat st;
    DIR* dir = static_cast<DIR*>(dir_);
    if (::fstat(::dirfd(dir), &st) == 0) {
        device_ = static_cast<std::uint64_t>(st.st_dev);
        inode_ = static_cast<std::uint64_t>(st.st_ino);
    }
    unlink();
    ::closedir(dir);
    dir_ = nullptr;
}

int Folder::resume(int fd)
{
    if (fd < 0)
        return errno;
    struct stat st;
    if (::fstat(fd, &st) != 0 || static_cast<std::uint64_t>(st.st_dev) != device_
        || static_cast<std::uint64_t>(st.st_ino) != inode_) {
        ::close(fd); // not the folder that was parked: it moved meanwhile
        return ESTALE;
    }
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        const int error = errno;
        ::close(fd);
        return error;
    }
    // The listing goes on after the entries it gave before.
    for (long i = 0; i < read_; ++i)
        if (!::readdir(dir))
            break;
    dir_ = dir;
    link();
    parkBeyondLimit();
    return 0;
}

int Folder::reopen()
{
    int fd = -1;
    if (!parent_) {
        fd = ::open(name_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    } else {
        const int parentFd = parent_->fd();
        if (parentFd < 0)
            return ESTALE;
        fd = ::openat(parentFd, name_.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    }
    return resume(fd);
}

int Folder::fd()
{
    if (!dir_ && reopen() != 0)
        return -1;
    return ::dirfd(static_cast<DIR*>(dir_));
}

std::unique_ptr<Folder> FileSystem::open(const std::string& path, int& error)
{
    DIR* dir = listing(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC), error);
    return dir ? std::unique_ptr<Folder>(new Folder(dir, nullptr, path)) : nullptr;
}

std::unique_ptr<Folder> FileSystem::open(Folder& parent, const char* name, int& error)
{
    const int parentFd = parent.fd();
    if (parentFd < 0) {
        error = ESTALE;
        return nullptr;
    }
    DIR* dir = listing(::openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC), error);
    return dir ? std::unique_ptr<Folder>(new Folder(dir, &parent, name)) : nullptr;
}

const char* FileSystem::next(Folder& folder, int& error)
{
    if (!folder.dir_ && (error = folder.reopen()) != 0)
        return nullptr;
    errno = 0;
    const dirent* entry = ::readdir(static_cast<DIR*>(folder.dir_));
    error = entry ? 0 : errno;
    if (entry)
        ++folder.read_;
    return entry ? entry->d_name : nullptr;
}

int FileSystem::stat(Folder& folder, const char* name, EntryInfo& info)
{
    const int fd = folder.fd();
    return fd < 0 ? ESTALE : statEntry(fd, name, AT_SYMLINK_NOFOLLOW, info);
}

int FileSystem::stat(Folder& folder, EntryInfo& info)
{
    const int fd = folder.fd();
    return fd < 0 ? ESTALE : statEntry(fd, "", AT_EMPTY_PATH, info);
}

FileSystem& fileSystem()
{
    static FileSystem platform;
    return installed() ? *installed() : platform;
}

void setFileSystem(FileSystem* fs)
{
    installed() = fs;
}

void formatDate(std::int64_t secondsSinceEpoch, char (&out)[20])
{
    const std::time_t t = static_cast<std::time_t>(secondsSinceEpoch);
    std::tm tm {};
    if (!::localtime_r(&t, &tm))
        ::gmtime_r(&t, &tm);
    const int year = tm.tm_year + 1900;
    put(out, year < 0 ? 0 : (year > 9999 ? 9999 : year), 4);
    out[4] = '-';
    put(out + 5, tm.tm_mon + 1, 2);
    out[7] = '-';
    put(out + 8, tm.tm_mday, 2);
    out[10] = ' ';
    put(out + 11, tm.tm_hour, 2);
    out[13] = ':';
    put(out + 14, tm.tm_min, 2);
    out[16] = ':';
    put(out + 17, tm.tm_sec, 2);
    out[19] = '\0';
}

void DateFormatter::format(std::int64_t secondsSinceEpoch, char (&out)[20])
{
    // Years 1970 to 9999 only; anything else asks the time zone itself.
    constexpr std::int64_t kLast = 253402300799 - 14 * 3600;
    if (secondsSinceEpoch < 14 * 3600 || secondsSinceEpoch > kLast) {
        formatDate(secondsSinceEpoch, out);
        return;
    }
    const std::int64_t hour = secondsSinceEpoch - secondsSinceEpoch % 3600;
    if (hour != hour_) {
        // The offset holds for the hour when it is the same at both ends of it.
        hour_ = hour;
        std::tm first {}, last {};
        const std::time_t start = static_cast<std::time_t>(hour), end = start + 3599;
        steady_ = ::localtime_r(&start, &first) && ::localtime_r(&end, &last)
            && first.tm_gmtoff == last.tm_gmtoff;
        offset_ = first.tm_gmtoff;
    }
    if (!steady_) {
        formatDate(secondsSinceEpoch, out);
        return;
    }
    const std::int64_t local = secondsSinceEpoch + offset_;
    const std::int64_t days = local / 86400, second = local % 86400;
    if (days != day_) {
        // The civil date of a day count (H. Hinnant's days_from_civil, backwards).
        day_ = days;
        const std::int64_t z = days + 719468;
        const std::int64_t era = z / 146097;
        const std::int64_t dayOfEra = z - era * 146097;
        const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
        const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
        const std::int64_t mp = (5 * dayOfYear + 2) / 153;
        const int day = static_cast<int>(dayOfYear - (153 * mp + 2) / 5 + 1);
        const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
        const int year = static_cast<int>(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));
        put(date_, year, 4);
        date_[4] = '-';
        put(date_ + 5, month, 2);
        date_[7] = '-';
        put(date_ + 8, day, 2);
        date_[10] = ' ';
    }
    std::memcpy(out, date_, 11);
    put(out + 11, static_cast<int>(second / 3600), 2);
    out[13] = ':';
    put(out + 14, static_cast<int>(second / 60 % 60), 2);
    out[16] = ':';
    put(out + 17, static_cast<int>(second % 60), 2);
    out[19] = '\0';
}

QString dateText(std::int64_t secondsSinceEpoch)
{
    char text[20];
    formatDate(secondsSinceEpoch, text);
    return QString::fromLatin1(text, 19);
}

QString errorText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace qm
