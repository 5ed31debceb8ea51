// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The search index kept on disk: derived data, rebuilt from the store at any
// time, so it lives in the user's cache folder (a store on read-only media or
// a removable disk can still have one, and backups skip it).
//
// Per record it keeps only what a query tests cheaply: the folded name (laid
// end to end, swept like the in-memory copy's), the SrNO, a coarse size, the
// creation minute, the catalogue and three flags. Every hit it gives is
// confirmed against the store's row before it is shown, so a coarse field
// costs a read of the row at worst, never a wrong row.
//
// The file is written to a temporary file beside it, synced and renamed over
// the old one: a reader maps either the old or the new one, whole. Its header
// says which store it belongs to and how far into that store's change log it
// reaches; a checksum covers everything.
#include <QString>

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qm::find {

inline constexpr std::uint32_t kIndexFormat = 1;

// Where the index of the store at `storePath` lives; empty with `problem`
// said when no cache folder is known.
struct IndexPlace {
    QString file;
    QString problem;
};
IndexPlace indexPlaceOf(const QString& storePath);

// What the index reflects of its store.
struct IndexStamp {
    std::uint64_t device = 0, inode = 0; // of the store file
    std::int64_t lastSrNo = 0; // every record up to it is held
    std::int64_t logSeq = 0; // and every change logged up to it
    std::uint64_t sample = 0; // sampleOf() the record lastSrNo
};
std::uint64_t sampleOf(std::string_view catalogue, std::string_view name);

namespace coarse {
// A size in 16 bits: exact below 1 KiB, then to a 1024th of itself.
inline constexpr std::uint16_t kNoSize = 0; // the store holds none
inline constexpr std::uint16_t kAnySize = 0xFFFF; // cannot be said: always looked at
std::uint16_t sizeCode(std::int64_t bytes);
// The bytes a code stands for, inclusive.
std::pair<std::int64_t, std::int64_t> sizeRange(std::uint16_t code);
// The creation time to the minute (a day starts on a whole minute in every zone).
inline constexpr std::int32_t kNoMinute = INT32_MIN;
inline constexpr std::int32_t kAnyMinute = INT32_MAX;
std::int32_t minuteOf(std::int64_t seconds);

// The tag: the catalogue's number and three flags.
inline constexpr std::uint16_t kFolderTag = 0x8000;
inline constexpr std::uint16_t kWideTag = 0x4000; // the name is not all ASCII
inline constexpr std::uint16_t kArchiveTag = 0x2000; // a member of an archive
inline constexpr std::uint16_t kCatalogueMask = 0x1FFF;
inline constexpr std::uint16_t kOtherCatalogue = 0x1FFF; // past the numbered ones: always looked at
} // namespace coarse

// The index as it is written.
struct IndexContent {
    IndexStamp stamp;
    std::vector<std::string> catalogues; // by number
    std::vector<std::uint32_t> srNo;
    std::vector<std::uint16_t> size;
    std::vector<std::int32_t> minute;
    std::vector<std::uint16_t> tag;
    std::string names; // folded, each closed by a NUL
    std::vector<std::int64_t> noted; // SrNOs of records with register notes
};

// Writes `content` to `file` (a temporary file first, synced, then renamed
// over it). Empty when it was written, else what went wrong.
QString writeIndexFile(const QString& file, const IndexContent& content);

// An index file mapped for reading.
class MappedIndex {
public:
    // Null, with `problem` said, when the file is missing, unreadable,
    // damaged, of another format or not an index.
    static std::unique_ptr<MappedIndex> open(const QString& file, QString& problem);
    ~MappedIndex();
    MappedIndex(const MappedIndex&) = delete;
    MappedIndex& operator=(const MappedIndex&) = delete;

    const IndexStamp& stamp() const { return stamp_; }
    std::uint32_t records() const { return static_cast<std::uint32_t>(size_.size()); }
    std::uint32_t srNoAt(std::uint32_t entry) const;
    std::span<const std::uint16_t> size() const { return size_; }
    std::span<const std::int32_t> minute() const { return minute_; }
    std::span<const std::uint16_t> tag() const { return tag_; }
    std::string_view names() const { return names_; }
    std::span<const std::int64_t> noted() const { return noted_; }
    const std::vector<QString>& catalogues() const { return catalogues_; }
    std::size_t fileBytes() const { return length_; }

    // The record whose name holds the byte at `offset` of names().
    std::uint32_t entryAt(std::size_t offset) const;
    // The record of an SrNO, or records() when none.
    std::uint32_t entryOf(std::int64_t srNo) const;

private:
    MappedIndex() = default;
    void* map_ = nullptr;
    std::size_t length_ = 0;
    IndexStamp stamp_;
    // SrNOs: the first of each block, then each record's step from the one
    // before (most are 1); a step of kFarStep or more is kept apart, by entry.
    std::span<const std::uint32_t> blockSrNo_, blockStart_, far_;
    std::span<const std::uint8_t> step_;
    std::span<const std::uint16_t> size_, tag_;
    std::span<const std::int32_t> minute_;
    std::span<const std::int64_t> noted_;
    std::string_view names_;
    std::vector<QString> catalogues_;
};

} // namespace qm::find
