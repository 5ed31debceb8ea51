// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Reading folders for the scan: the file system's own listing order, entry
// kinds, sizes and creation times. Entries are looked at where they stand
// (a symbolic link is never followed), and folders are opened relative to
// their parent, so a path of any length can be walked.
#include <QString>

#include <cstdint>
#include <memory>
#include <string>

namespace qm {

enum class EntryKind { File, Directory, Other };

struct EntryInfo {
    EntryKind kind = EntryKind::Other;
    std::uint64_t size = 0; // bytes, as the file system reports them
    std::int64_t created = 0; // seconds since the epoch: birth time, else modification time
    std::int64_t modified = 0; // seconds since the epoch
    std::uint64_t device = 0; // the file system the entry lives on
};

// An open folder: a listing position and a handle its entries are read through.
// However deep a walk goes, only so many folders hold a descriptor at once:
// the ones used longest ago are closed (parked) and opened again where their
// listing stood when the walk comes back to them.
class Folder {
public:
    ~Folder();
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;

    // How many folders of one walk hold a descriptor at once: an eighth of
    // the process's descriptor limit, at most 128.
    static int openLimit();

private:
    friend class FileSystem;
    Folder(void* dir, Folder* parent, std::string name);
    int fd(); // opens a parked folder again; -1 when it cannot be
    void park();
    int reopen();
    int resume(int fd); // a parked folder's listing continued on `fd`
    void link();
    void unlink();
    void parkBeyondLimit();

    void* dir_; // DIR*; null while parked
    Folder* parent_; // null for a folder opened by its path
    std::string name_; // its name in the parent, or its path
    long read_ = 0; // entries its listing has given
    std::uint64_t device_ = 0, inode_ = 0; // taken when parked: what to find again
    Folder* older_ = nullptr; // the folders holding a descriptor, least recently used first
    Folder* newer_ = nullptr;
    struct Chain* chain_; // of the folder the walk began with: its folders' descriptors
};

// The platform's folders. Every call answers 0 or an errno value. Tests put
// a derived file system in place to make chosen entries fail.
class FileSystem {
public:
    virtual ~FileSystem() = default;

    // Opens a folder by its full path (links within the path are followed).
    virtual std::unique_ptr<Folder> open(const std::string& path, int& error);
    // Opens the sub-folder `name` of `parent`; a symbolic link is refused.
    virtual std::unique_ptr<Folder> open(Folder& parent, const char* name, int& error);
    // The next name of the listing ("." and ".." included); nullptr at the end
    // of the listing or on an error (then `error` is set). The text stays
    // valid until the next call on the folder.
    virtual const char* next(Folder& folder, int& error);
    // The entry `name` of `folder` itself, not what a link points to.
    virtual int stat(Folder& folder, const char* name, EntryInfo& info);
    // The open folder itself.
    virtual int stat(Folder& folder, EntryInfo& info);
};

// The file system in use; `setFileSystem(nullptr)` restores the platform's.
FileSystem& fileSystem();
void setFileSystem(FileSystem* fs);

// Local time as "YYYY-MM-DD HH:MM:SS"; `out` receives 19 characters and a NUL.
void formatDate(std::int64_t secondsSinceEpoch, char (&out)[20]);
QString dateText(std::int64_t secondsSinceEpoch);

// formatDate for many times in a row: the time zone is asked once an hour
// of the times given, not once a time. Not for use by two threads at once.
class DateFormatter {
public:
    void format(std::int64_t secondsSinceEpoch, char (&out)[20]);

private:
    std::int64_t hour_ = -1; // start of the hour whose offset is known
    std::int64_t offset_ = 0; // seconds east of UTC
    bool steady_ = false; // the offset holds for the whole hour
    std::int64_t day_ = -1; // the local day whose text is in date_
    char date_[11] = {}; // "YYYY-MM-DD "
};

// The system's text for an errno value.
QString errorText(int error);

} // namespace qm
