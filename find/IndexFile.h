// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The search index kept on disk: derived data, rebuilt from the store at any
// time, so it lives in the user's cache folder (a store on read-only media or
// a removable disk can still have one, and backups skip it).
//
// Per record it keeps only what a query tests cheaply: the folded name (laid
// end to end, swept like the in-memory copy's), the SrNO, a coarse size, the
// creation day, the catalogue and three flags: five bytes beside the name. Every hit it gives is
// confirmed against the store's row before it is shown, so a coarse field
// costs a read of the row at worst, never a wrong row.
//
// The file is written to a temporary file beside it, synced and renamed over
// the old one: a reader maps either the old or the new one, whole. Its header
// says which store it belongs to and how far into that store's change log it
// reaches; a checksum covers everything, checked in full when the file is
// first met and again whenever stat says it changed.
#include <QString>

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qm::find {

// 2: a byte for the size and the tag, the day for the minute.
inline constexpr std::uint32_t kIndexFormat = 2;

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
// A size in a byte: exact below 16, then to a quarter of its power of two
// (a filter's bound cuts through few records, and those are read).
inline constexpr std::uint8_t kNoSize = 0; // the store holds none
inline constexpr std::uint8_t kAnySize = 0xFF; // cannot be said: always looked at
std::uint8_t sizeCode(std::int64_t bytes);
// The bytes a code stands for, inclusive.
std::pair<std::int64_t, std::int64_t> sizeRange(std::uint8_t code);
// The creation time to the UTC day, from 1900 to 2079; a date filter's
// local midnight cuts through one day, whose records are read.
inline constexpr std::uint16_t kNoDay = 0xFFFF;
inline constexpr std::uint16_t kAnyDay = 0xFFFE; // outside those years
std::uint16_t dayOf(std::int64_t seconds);
// The seconds a day code stands for, inclusive.
std::pair<std::int64_t, std::int64_t> dayRange(std::uint16_t code);

// The tag: the catalogue's number and three flags.
inline constexpr std::uint8_t kFolderTag = 0x80;
inline constexpr std::uint8_t kWideTag = 0x40; // the name is not all ASCII
inline constexpr std::uint8_t kArchiveTag = 0x20; // a member of an archive
inline constexpr std::uint8_t kCatalogueMask = 0x1F;
inline constexpr std::uint8_t kOtherCatalogue = 0x1F; // past the numbered ones: always looked at
} // namespace coarse

// The index as it is written.
struct IndexContent {
    IndexStamp stamp;
    std::vector<std::string> catalogues; // by number
    std::vector<std::uint32_t> srNo;
    std::vector<std::uint8_t> size;
    std::vector<std::uint16_t> day;
    std::vector<std::uint8_t> tag;
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
    std::span<const std::uint8_t> size() const { return size_; }
    std::span<const std::uint16_t> day() const { return day_; }
    std::span<const std::uint8_t> tag() const { return tag_; }
    std::string_view names() const { return names_; }
    std::span<const std::int64_t> noted() const { return noted_; }
    const std::vector<QString>& catalogues() const { return catalogues_; }
    std::size_t fileBytes() const { return length_; }

    // The first record of the block that holds `entry`, and where that
    // record's name begins in names().
    std::pair<std::uint32_t, std::size_t> blockOf(std::uint32_t entry) const;
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
    std::span<const std::uint8_t> size_, tag_;
    std::span<const std::uint16_t> day_;
    std::span<const std::int64_t> noted_;
    std::string_view names_;
    std::vector<QString> catalogues_;
};

} // namespace qm::find
