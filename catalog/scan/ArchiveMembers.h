// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The members of an archive file (zip, tar and its compressed forms, 7z, rar,
// iso9660, cab), read through libarchive from headers only: no member's data
// is read, except that of a member that is itself an archive, whose members
// are listed in turn (one level deep, from memory, up to a size).
//
// Nothing is ever written to disk, and a member's name is only ever text: a
// name with ".." or a leading "/" stays one name, never joined into a path
// that is opened. Broken input is told, not followed: an encrypted, truncated
// or unreadable archive gives no members and a reason; too many members or a
// size no disk could hold stops the listing where it is, with a note.
#include <QString>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

// One member, in the order the records go in: every folder before what it
// holds, whether the archive lists it or only implies it by a member's path;
// a nested archive's members right after it.
struct ArchiveMember {
    std::string name; // its own name, as the archive has it (bytes)
    std::string path; // below the archive: "2019/a.jpg", "2019/" for a folder
    std::uint64_t bytes = 0; // uncompressed; a folder's, the total below it
    std::int64_t modified = 0;
    int level = 0; // how deep below the archive: 0 for what it holds directly
    bool folder = false;
    bool container = false; // a nested archive: the members after it, one level deeper, are its
    bool inner = false; // a member of a nested archive
};

struct ArchiveListing {
    std::vector<ArchiveMember> members;
    // Why nothing was listed (encrypted, truncated, not an archive ...);
    // the archive's own record stands alone then.
    QString problem;
    // Why the listing stopped early, or what of a nested archive could not
    // be listed; the members listed are kept.
    std::vector<QString> notes;
};

class ArchiveMembers {
public:
    // A listing stops after this many members.
    static constexpr std::size_t kMaxMembers = 100000;
    // A member claiming more than this (1 PiB), or members together, is no
    // real file: a listing that meets one stops there.
    static constexpr std::uint64_t kAbsurdBytes = std::uint64_t {1} << 50;
    // A nested archive is read into memory, so only up to this size.
    static constexpr std::uint64_t kNestedMaxBytes = std::uint64_t {64} << 20;

    // Whether `name` is one the scan lists as an archive, by its ending.
    static bool looksLikeArchive(std::string_view name);

    // Lists the archive at `path`, which is opened without following a link
    // and read only if it is a plain file. `modified` dates the folders the
    // archive only implies.
    static ArchiveListing list(const std::string& path, std::int64_t modified);
    // The same over bytes in memory.
    // The same over bytes in memory; a nested archive is listed so, without
    // archives nested in it in turn.
    static ArchiveListing listMemory(
        const void* data, std::size_t size, std::int64_t modified, bool nested = false);
};

} // namespace qm
