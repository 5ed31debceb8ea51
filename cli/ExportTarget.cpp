// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/ExportTarget.h"

#include <QFile>
#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/sysmacros.h>
#endif

namespace qm::cli {
namespace {

const QLatin1String kNothingWritten(" Nothing was written.");

bool sameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

QString reason(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

QByteArray canonical(const QByteArray& path)
{
    char* resolved = ::realpath(path.constData(), nullptr);
    if (!resolved)
        return {};
    QByteArray result(resolved);
    std::free(resolved);
    return result;
}

// A path's folder and its last name.
std::pair<QByteArray, QByteArray> split(const QByteArray& path)
{
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return {QByteArrayLiteral("."), path};
    return {slash == 0 ? QByteArrayLiteral("/") : path.left(slash), path.mid(slash + 1)};
}

// Where a file of this name is or would be: its folder resolved, its own name
// kept. Empty when the folder cannot be found.
QByteArray placeOf(const QByteArray& path)
{
    const auto [folder, name] = split(path);
    const QByteArray resolved = canonical(folder);
    if (resolved.isEmpty())
        return {};
    return (resolved.endsWith('/') ? resolved : resolved + '/') + name;
}

struct StoreFile {
    QByteArray path;
    QLatin1String what;
};

// The store and the files SQLite keeps beside it, whether or not they are
// there now; beside the name the store is opened by and beside the file that
// name leads to.
std::vector<StoreFile> storeFiles(const QString& store)
{
    static const std::pair<const char*, QLatin1String> kinds[] = {{"", QLatin1String("the store")},
        {"-journal", QLatin1String("the journal of the store")},
        {"-wal", QLatin1String("the write-ahead log of the store")},
        {"-shm", QLatin1String("the shared-memory index of the store")}};
    const QByteArray given = QFile::encodeName(store);
    std::vector<StoreFile> files;
    for (const QByteArray& base : {given, canonical(given)}) {
        if (base.isEmpty())
            continue;
        for (const auto& [suffix, what] : kinds)
            files.push_back({base + suffix, what});
    }
    return files;
}

// Which of the store's files is the file `target` (by device and inode, so
// any link to it counts), or would be a new file at `place`; null if none.
const StoreFile* storeFileAt(const std::vector<StoreFile>& files, const struct stat* target, const QByteArray& place)
{
    for (const StoreFile& f : files) {
        struct stat st {};
        if (target && ::stat(f.path.constData(), &st) == 0 && sameFile(st, *target))
            return &f;
        if (!place.isEmpty() && placeOf(f.path) == place)
            return &f;
    }
    return nullptr;
}

// Opening a device can start something (a watchdog, a tape), so only nodes
// that can be terminals are opened to ask.
bool mayBeTerminal([[maybe_unused]] const struct stat& st)
{
#ifdef __linux__
    const unsigned kind = major(st.st_rdev);
    const bool ptmx = kind == 5 && minor(st.st_rdev) == 2; // opening it makes a new terminal
    return !ptmx && (kind == 4 || kind == 5 || (kind >= 136 && kind <= 143));
#else
    return true;
#endif
}

bool startsAsSqlite(const QByteArray& place)
{
    const int fd = ::open(place.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    char head[16] = {};
    const bool sqlite = ::read(fd, head, sizeof head) == static_cast<ssize_t>(sizeof head)
        && std::memcmp(head, "SQLite format 3", sizeof head) == 0;
    ::close(fd);
    return sqlite;
}

} // namespace

std::unique_ptr<ExportTarget> ExportTarget::open(const QString& path, const QString& store, QString& problem)
{
    const QByteArray given = QFile::encodeName(path);
    const auto refuse = [&](const QString& why) {
        problem = path + why + kNothingWritten;
        return std::unique_ptr<ExportTarget>();
    };
    const auto cannot = [&](int error) { return refuse(QStringLiteral(" cannot be written: ") + reason(error) + u'.'); };
    const std::vector<StoreFile> files = storeFiles(store);

    std::unique_ptr<ExportTarget> target(new ExportTarget);
    target->shown_ = path;
    struct stat link {};
    if (::lstat(given.constData(), &link) != 0) {
        const int error = errno;
        if (error != ENOENT || given.endsWith('/'))
            return cannot(error);
        // A new file, but never one SQLite would take for the store's.
        const QByteArray place = placeOf(given);
        if (place.isEmpty())
            return cannot(errno);
        if (const StoreFile* f = storeFileAt(files, nullptr, place))
            return refuse(QStringLiteral(" would be ") + f->what + u' ' + store
                + QStringLiteral("; an export never writes there."));
        if (!target->beside(place, problem))
            return nullptr;
        return target;
    }

    // What the name leads to, the final link followed; then opened or
    // replaced by that resolved name only, never through a link again.
    struct stat st = link;
    QByteArray place;
    bool follow = false;
    if (S_ISLNK(link.st_mode)) {
        if (::stat(given.constData(), &st) != 0)
            return refuse(QStringLiteral(" is a link to a file that does not exist (") + reason(errno)
                + QStringLiteral("); an export does not follow it."));
        place = canonical(given);
        struct stat resolved {};
        if (place.isEmpty() || ::lstat(place.constData(), &resolved) != 0 || !sameFile(resolved, st)) {
            // A pipe behind the system's own links (/dev/stdout) has no name
            // to resolve to; what is opened is checked again below.
            if (!S_ISFIFO(st.st_mode))
                return refuse(QStringLiteral(" changed while it was looked at."));
            place = given;
            follow = true;
        }
    } else {
        place = placeOf(given);
        if (place.isEmpty())
            return cannot(errno);
    }

    if (const StoreFile* f = storeFileAt(files, &st, {})) {
        const bool itself = !S_ISLNK(link.st_mode) && placeOf(f->path) == place;
        return refuse((itself ? QStringLiteral(" is ") : QStringLiteral(" is a link to ")) + f->what + u' ' + store
            + QStringLiteral("; an export never writes over it."));
    }
    const QLatin1String onlyTo("; an export writes only to a plain file, a pipe or a terminal.");
    if (S_ISDIR(st.st_mode))
        return refuse(QStringLiteral(" is a folder; --output names the file to write."));
    if (S_ISREG(st.st_mode)) {
        if (startsAsSqlite(place))
            return refuse(QStringLiteral(" is an SQLite database; an export never writes over one."));
        target->existed_ = true;
        target->was_ = st;
        if (!target->beside(place, problem))
            return nullptr;
        return target;
    }
    const bool pipe = S_ISFIFO(st.st_mode);
    if (!pipe && !(S_ISCHR(st.st_mode) && mayBeTerminal(st)))
        return refuse((S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode) ? QStringLiteral(" is a device")
                                                                    : QStringLiteral(" is a socket"))
            + onlyTo);

    // A pipe waits here for its reader; a terminal line is not waited for.
    const int fd = ::open(place.constData(),
        O_WRONLY | O_NOCTTY | O_CLOEXEC | (follow ? 0 : O_NOFOLLOW) | (pipe ? 0 : O_NONBLOCK));
    if (fd < 0)
        return cannot(errno);
    struct stat opened {};
    const bool same = ::fstat(fd, &opened) == 0 && sameFile(opened, st) && (opened.st_mode & S_IFMT) == (st.st_mode & S_IFMT);
    if (!same || (!pipe && !::isatty(fd))) {
        ::close(fd);
        return refuse(same ? QStringLiteral(" is a device") + onlyTo : QStringLiteral(" changed while it was looked at."));
    }
    if (!pipe)
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    target->paced_ = true;
    target->file_ = std::make_unique<QFile>();
    target->file_->open(fd, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle);
    return target;
}

std::unique_ptr<ExportTarget> ExportTarget::standardOutput(const QString& store, QString& problem)
{
    struct stat st {};
    const bool known = ::fstat(STDOUT_FILENO, &st) == 0;
    const std::vector<StoreFile> files = known && S_ISREG(st.st_mode) ? storeFiles(store) : std::vector<StoreFile>();
    if (!files.empty())
        if (const StoreFile* f = storeFileAt(files, &st, {})) {
            // Appending (>>) to the store would damage it.
            problem = QStringLiteral("standard output is ") + f->what + u' ' + store
                + QStringLiteral("; an export never writes over it.") + kNothingWritten;
            return nullptr;
        }
    std::unique_ptr<ExportTarget> target(new ExportTarget);
    target->shown_ = QStringLiteral("standard output");
    target->paced_ = !known || S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode) || ::isatty(STDOUT_FILENO);
    target->file_ = std::make_unique<QFile>();
    target->file_->open(STDOUT_FILENO, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::DontCloseHandle);
    return target;
}

bool ExportTarget::beside(const QByteArray& place, QString& problem)
{
    const auto [folder, name] = split(place);
    name_ = name;
    dirFd_ = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd_ < 0) {
        problem = shown_ + QStringLiteral(" cannot be written: ") + reason(errno) + u'.' + kNothingWritten;
        return false;
    }
    // The new file gets the replaced file's permissions, or the usual ones.
    const mode_t mode = existed_ ? (was_.st_mode & 07777) : 0666;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 64; ++attempt) {
        temporary_ = '.' + name.left(200) + '.' + QByteArray::number(QRandomGenerator::global()->generate(), 36)
            + QByteArrayLiteral(".part");
        fd = ::openat(dirFd_, temporary_.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
            existed_ ? 0600 : mode);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0) {
        temporary_.clear();
        problem = shown_ + QStringLiteral(" cannot be written: ") + reason(errno) + u'.' + kNothingWritten;
        return false;
    }
    if (existed_) {
        // Failing either leaves a sound export with the usual owner or mode.
        if (::geteuid() == 0 && ::fchown(fd, was_.st_uid, was_.st_gid) != 0) {
        }
        if (::fchmod(fd, mode) != 0) {
        }
    }
    file_ = std::make_unique<QFile>();
    file_->open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle);
    return true;
}

QIODevice& ExportTarget::device() { return *file_; }

QString ExportTarget::commit()
{
    if (isStream())
        return {};
    const QString cannot = shown_ + QStringLiteral(" cannot be written: ");
    if (!file_->flush())
        return cannot + file_->errorString() + u'.';
    if (::fsync(file_->handle()) != 0)
        return cannot + reason(errno) + u'.';
    file_->close();
    // Only what was checked is replaced: a file put there or swapped in
    // meanwhile (a link to the store, say) is left alone.
    struct stat now {};
    const bool there = ::fstatat(dirFd_, name_.constData(), &now, AT_SYMLINK_NOFOLLOW) == 0;
    if (existed_ ? !there || !sameFile(now, was_) || !S_ISREG(now.st_mode) : there || errno != ENOENT)
        return shown_ + QStringLiteral(" changed while the export ran; it was left as it is.");
    int renamed = -1;
#ifdef RENAME_NOREPLACE
    if (!existed_) {
        renamed = ::renameat2(dirFd_, temporary_.constData(), dirFd_, name_.constData(), RENAME_NOREPLACE);
        if (renamed != 0 && errno == EEXIST)
            return shown_ + QStringLiteral(" changed while the export ran; it was left as it is.");
    }
    if (renamed != 0)
#endif
        renamed = ::renameat(dirFd_, temporary_.constData(), dirFd_, name_.constData());
    if (renamed != 0)
        return cannot + reason(errno) + u'.';
    temporary_.clear();
    return {};
}

ExportTarget::~ExportTarget()
{
    file_.reset();
    if (!temporary_.isEmpty())
        ::unlinkat(dirFd_, temporary_.constData(), 0);
    if (dirFd_ >= 0)
        ::close(dirFd_);
}

} // namespace qm::cli
