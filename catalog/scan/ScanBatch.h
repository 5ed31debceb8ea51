// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a walk hands down the scan pipeline: entries in the order their
// records are stored, a batch at a time, with the texts they point into.
#include "catalog/scan/Thumbnails.h"
#include "catalog/scan/MediaDetails.h"
#include "platform/FileFingerprint.h"

#include <QString>

#include <cstdint>
#include <string>
#include <vector>

namespace qm {

// One entry of a walk, or the end of a listed folder's walk, or the end of
// the walk itself. The walker fills in what it read; stages add to it.
struct ScanItem {
    // File: its size, from the walker. Folder: its total once known (then
    // `sized`). Close: from the walker, the bytes of what lies directly in the
    // folder without a record of its own (hidden entries, and all below them);
    // after the sizes, the folder's total. End: likewise for the walked folder.
    std::uint64_t bytes;
    std::int64_t created, modified;
    std::uint32_t path, pathLength; // in the batch's text
    std::uint32_t name, nameLength;
    enum Kind : std::uint8_t { File, Folder, Close, End } kind;
    bool sized; // a folder's total is in `bytes`; a Close whose folder took it
    // How deep inside archives the entry lies: 0 on disk, 1 a member of an
    // archive, 2 a member of an archive inside one. Nothing opens such a path.
    std::uint8_t inArchive = 0;
    // A File whose members follow it, up to the Close that ends them.
    bool container = false;
    // An archive whose headers the archive stage read (its members, if any,
    // follow it): the records of its members are those of this listing.
    bool listed = false;
};

// What the store already holds for the path of an entry, as an update tells
// its stages (KnownStage.h): a stage may leave an entry alone whose size and
// modification time did not change since it last worked on it.
struct KnownEntry {
    std::uint64_t bytes = 0;
    bool sized = false; // `bytes` is the record's
    std::int64_t modified = 0; // seconds since the epoch
    // The fingerprint stored for the record, with the size and time (ns) the
    // file had when it was read.
    bool fingerprinted = false;
    FileFingerprint fingerprint;
    bool members = false; // records of archive members hang below it
    bool thumbnailed = false; // a thumbnail is kept for the record
    bool detailed = false; // media details are kept for the record
};

// What the fingerprint stage read of a file entry.
struct ItemContent {
    FileFingerprint fingerprint;
    bool read = false; // false: not asked for, not readable, or the scan stopped first
    int error = 0; // why it could not be read (an errno value); 0 when read or not tried
    bool reused = false; // the stored fingerprint, kept for an unchanged file without reading it
};

struct ScanBatch {
    std::vector<ScanItem> items;
    std::string text;
    int records = 0; // the items that are files or folders
    // One for each item when a stage reads contents; empty otherwise.
    std::vector<ItemContent> contents;
    // One for each item when the thumbnail stage runs; empty otherwise.
    std::vector<ItemThumbnail> thumbnails;
    // One for each item when an update tells its stages what the store holds
    // (null: nothing, as for a new entry); empty otherwise.
    std::vector<const KnownEntry*> known;

    const KnownEntry* knownOf(size_t item) const { return known.empty() ? nullptr : known[item]; }
    // One for each item when the media stage runs; empty otherwise.
    std::vector<MediaDetails> media;

    void clear()
    {
        items.clear();
        text.clear();
        records = 0;
        contents.clear();
        thumbnails.clear();
        known.clear();
        media.clear();
    }
};

// An entry left out because it could not be read.
struct SkippedEntry {
    QString path;
    QString reason;
};

} // namespace qm
