// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Archive files made by the tests: through libarchive's writer where it
// writes the format, and byte by byte for rar, cab and a zip that lies
// about a member's size.
#include <QString>

#include <cstdint>
#include <string>
#include <vector>

namespace qmtest {

struct Entry {
    std::string path;
    std::string data; // ignored for a folder
    bool folder = false;
};

// Formats and filters as libarchive's writer names them ("zip", "7zip",
// "pax", "iso9660"; "gzip", "bzip2", "xz", "zstd" or none); a passphrase
// encrypts a zip. Returns the archive's bytes; throws when libarchive cannot.
std::string writeArchive(const std::string& format, const std::string& filter,
    const std::vector<Entry>& entries, const std::string& passphrase = {});
// A RAR 4 archive of stored files.
std::string rarArchive(const std::vector<Entry>& files);
// A cabinet of uncompressed files in one folder.
std::string cabArchive(const std::vector<Entry>& files);
// A zip of one stored member whose headers claim `claimed` bytes for it.
std::string zipClaiming(const std::string& name, std::uint64_t claimed);

// Writes `bytes` to `path`, making its folders.
void writeFile(const QString& path, const std::string& bytes);

} // namespace qmtest
