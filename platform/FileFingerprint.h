// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A file's content fingerprint: XXH3-128 of every byte, read from start to
// end in sequential reads. Only regular files are read: a link is never
// followed, and a FIFO or a device is refused without waiting on it.
#include <QString>

#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace qm {

// XXH3-128 in its canonical (big-endian) form, as the store keeps it.
using ContentHash = std::array<unsigned char, 16>;

inline constexpr const char* kFingerprintAlgorithm = "XXH3-128";

struct FileFingerprint {
    ContentHash hash {};
    std::uint64_t bytes = 0; // the size the file had while it was read
    std::int64_t modifiedNs = 0; // its modification time then, in nanoseconds
};

// Reads files one after another through a buffer of its own.
class FingerprintReader {
public:
    // Each read copies into a buffer small enough to stay in the core's
    // cache while it is hashed: from the page cache, 64 KiB reads ran three
    // times as fast as 1 MiB ones. The disk still gets large requests: the
    // read-ahead is asked for a MiB at a time, a MiB ahead.
    static constexpr size_t kReadSize = 64 * 1024;
    static constexpr std::int64_t kAheadSize = 1 << 20;

    FingerprintReader();

    // Fingerprints the file at `path`. Returns 0, or an errno value when it
    // cannot be read: ECANCELED when `stop` came up between two reads,
    // EINVAL when it is not a regular file, EXDEV when it lies on another
    // file system than `device` (0: any), EAGAIN when it changed while it
    // was read. `read` grows by every byte read, as it is read.
    int fingerprint(const std::string& path, std::uint64_t device, const std::atomic<bool>& stop,
        std::atomic<std::uint64_t>& read, FileFingerprint& out);

private:
    std::vector<unsigned char> buffer_;
};

// Whether the regular file at `path` (not followed if a link) still has the
// size and modification time, to the nanosecond, it had when `f` was read:
// then `f` names its content without reading it again.
bool unchangedSince(const std::string& path, const FileFingerprint& f);

// Whether the file system `device` lies on a rotating disk, where reads of
// several files at once make the head seek between them. False when the
// system does not say (a file system without a block device, for one).
bool onRotatingDisk(std::uint64_t device);

// 32 lower-case hex digits.
QString hashHex(const ContentHash& hash);

} // namespace qm
