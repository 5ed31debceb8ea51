// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a walk hands down the scan pipeline: entries in the order their
// records are stored, a batch at a time, with the texts they point into.
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
};

// What the fingerprint stage read of a file entry.
struct ItemContent {
    FileFingerprint fingerprint;
    bool read = false; // false: not asked for, not readable, or the scan stopped first
};

struct ScanBatch {
    std::vector<ScanItem> items;
    std::string text;
    int records = 0; // the items that are files or folders
    // One for each item when a stage reads contents; empty otherwise.
    std::vector<ItemContent> contents;
    // One for each item when the media stage runs; empty otherwise.
    std::vector<MediaDetails> media;

    void clear()
    {
        items.clear();
        text.clear();
        records = 0;
        contents.clear();
        media.clear();
    }
};

// An entry left out because it could not be read.
struct SkippedEntry {
    QString path;
    QString reason;
};

} // namespace qm
