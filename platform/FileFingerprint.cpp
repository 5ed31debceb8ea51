// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/FileFingerprint.h"

#include <QByteArray>

#include <algorithm>
#include <cerrno>
#include <fstream>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <xxhash.h>
// The library's own choice of the widest vector unit the processor has (AVX2
// where there is one): the same hash, a third faster than its SSE2 default.
#if (defined(__x86_64__) || defined(__i386__)) && __has_include(<xxh_x86dispatch.h>)
#include <xxh_x86dispatch.h>
#endif

namespace qm {
namespace {

std::int64_t modifiedNs(const struct stat& st)
{
    return static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

// Closes the descriptor however the read ends.
struct Descriptor {
    int fd;
    ~Descriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

} // namespace

FingerprintReader::FingerprintReader()
    : buffer_(kReadSize)
{
}

int FingerprintReader::fingerprint(const std::string& path, std::uint64_t device, const std::atomic<bool>& stop,
    std::atomic<std::uint64_t>& read, FileFingerprint& out)
{
    // Not following a link, and not waiting for a writer on a FIFO: what is
    // not a regular file is refused once it is open.
    const int flags = O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY;
    Descriptor file {::open(path.c_str(), flags | O_NOATIME)};
    if (file.fd < 0 && errno == EPERM) // the access time may be kept only by the owner
        file.fd = ::open(path.c_str(), flags);
    if (file.fd < 0)
        return errno == ELOOP ? EINVAL : errno;
    struct stat before { };
    if (::fstat(file.fd, &before) != 0)
        return errno;
    if (!S_ISREG(before.st_mode))
        return EINVAL;
    if (device != 0 && static_cast<std::uint64_t>(before.st_dev) != device)
        return EXDEV;
    ::posix_fadvise(file.fd, 0, 0, POSIX_FADV_SEQUENTIAL);

    XXH3_state_t* state = XXH3_createState();
    if (!state)
        return ENOMEM;
    struct Freed {
        XXH3_state_t* state;
        ~Freed() { XXH3_freeState(state); }
    } freed {state};
    XXH3_128bits_reset(state);
    std::uint64_t total = 0;
    for (;;) {
        if (stop.load(std::memory_order_relaxed))
            return ECANCELED;
        if (total % kAheadSize == 0)
            ::posix_fadvise(file.fd, static_cast<off_t>(total) + kAheadSize, kAheadSize, POSIX_FADV_WILLNEED);
        const ssize_t got = ::read(file.fd, buffer_.data(), buffer_.size());
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (got == 0)
            break;
        XXH3_128bits_update(state, buffer_.data(), static_cast<size_t>(got));
        total += static_cast<std::uint64_t>(got);
        read.fetch_add(static_cast<std::uint64_t>(got), std::memory_order_relaxed);
    }
    // A file written to meanwhile has no one content to name.
    struct stat after { };
    if (::fstat(file.fd, &after) != 0)
        return errno;
    if (total != static_cast<std::uint64_t>(after.st_size) || after.st_size != before.st_size
        || modifiedNs(after) != modifiedNs(before))
        return EAGAIN;

    XXH128_canonical_t canonical;
    XXH128_canonicalFromHash(&canonical, XXH3_128bits_digest(state));
    static_assert(sizeof canonical.digest == sizeof out.hash);
    std::copy(std::begin(canonical.digest), std::end(canonical.digest), out.hash.begin());
    out.bytes = total;
    out.modifiedNs = modifiedNs(after);
    return 0;
}

bool unchangedSince(const std::string& path, const FileFingerprint& f)
{
    struct stat st { };
    return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)
        && static_cast<std::uint64_t>(st.st_size) == f.bytes && modifiedNs(st) == f.modifiedNs;
}

bool onRotatingDisk(std::uint64_t device)
{
    const auto dev = static_cast<dev_t>(device);
    if (::major(dev) == 0)
        return false; // no block device: tmpfs, a network or a union file system
    const std::string base
        = "/sys/dev/block/" + std::to_string(::major(dev)) + ':' + std::to_string(::minor(dev));
    // A partition's queue is its disk's, one folder up.
    for (const char* queue : {"/queue/rotational", "/../queue/rotational"}) {
        std::ifstream in(base + queue);
        int rotational = 0;
        if (in >> rotational)
            return rotational != 0;
    }
    return false;
}

QString hashHex(const ContentHash& hash)
{
    return QString::fromLatin1(
        QByteArray(reinterpret_cast<const char*>(hash.data()), static_cast<qsizetype>(hash.size())).toHex());
}

} // namespace qm
