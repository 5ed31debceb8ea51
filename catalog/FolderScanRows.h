// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the two halves of FolderScan share: the run (FolderScan.cpp) and the
// writer's side (FolderScanWriter.cpp). Not for use elsewhere.
#include "catalog/FolderScan.h"

#include <QByteArray>
#include <QString>

#include <string>
#include <string_view>

namespace qm {

inline std::string utf8(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

// A row waiting for the insert, with the texts bound to it.
struct FolderScan::Pending {
    const ScanItem* item;
    const ItemContent* content; // what was read of a file; null when nothing was
    const ItemThumbnail* thumbnail; // the picture's thumbnail; null when none was made
    const MediaDetails* media; // what its headers say; null when not read
    std::int64_t srNo; // once stored
    const char* text; // the batch's
    std::int64_t key;
    std::string keyText, parentBytes, size;
    QString parent;
    char date[20];
    bool announce; // the listener hears of it (not of the top-level folder)
    // A path that is not valid UTF-8 is stored readable, its bytes beside it.
    bool raw;
    std::string shownName, shownPath;
    std::string_view name() const
    {
        return raw ? std::string_view(shownName) : std::string_view(text + item->name, item->nameLength);
    }
    std::string_view path() const
    {
        return raw ? std::string_view(shownPath) : std::string_view(text + item->path, item->pathLength);
    }
};

} // namespace qm
