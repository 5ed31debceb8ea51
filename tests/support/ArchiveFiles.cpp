// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/ArchiveFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <archive.h>
#include <archive_entry.h>

#include <stdexcept>

namespace qmtest {
namespace {

std::uint32_t crc32(const std::string& bytes, size_t from = 0, size_t to = std::string::npos)
{
    std::uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = from; i < std::min(to, bytes.size()); ++i) {
        crc ^= static_cast<unsigned char>(bytes[i]);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void le(std::string& out, std::uint64_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(i < 8 ? static_cast<char>((value >> (8 * i)) & 0xFF) : '\0');
}

void check(int rc, archive* a)
{
    if (rc < ARCHIVE_WARN)
        throw std::runtime_error(archive_error_string(a) ? archive_error_string(a) : "libarchive failed");
}

} // namespace

std::string writeArchive(const std::string& format, const std::string& filter,
    const std::vector<Entry>& entries, const std::string& passphrase)
{
    archive* a = archive_write_new();
    std::string out(std::size_t {64} << 20, '\0');
    size_t used = 0;
    try {
        check(archive_write_set_format_by_name(a, format.c_str()), a);
        if (!filter.empty())
            check(archive_write_add_filter_by_name(a, filter.c_str()), a);
        if (!passphrase.empty()) {
            check(archive_write_set_options(a, "zip:encryption=zipcrypt"), a);
            check(archive_write_set_passphrase(a, passphrase.c_str()), a);
        }
        check(archive_write_open_memory(a, out.data(), out.size(), &used), a);
        for (const Entry& e : entries) {
            archive_entry* entry = archive_entry_new();
            archive_entry_set_pathname(entry, e.path.c_str());
            archive_entry_set_filetype(entry, e.folder ? AE_IFDIR : AE_IFREG);
            archive_entry_set_perm(entry, e.folder ? 0755 : 0644);
            archive_entry_set_size(entry, e.folder ? 0 : static_cast<la_int64_t>(e.data.size()));
            archive_entry_set_mtime(entry, 1561939200, 0); // 2019-07-01
            check(archive_write_header(a, entry), a);
            if (!e.folder && !e.data.empty())
                archive_write_data(a, e.data.data(), e.data.size());
            archive_entry_free(entry);
        }
        check(archive_write_close(a), a);
    } catch (...) {
        archive_write_free(a);
        throw;
    }
    archive_write_free(a);
    out.resize(used);
    return out;
}

std::string rarArchive(const std::vector<Entry>& files)
{
    std::string out("Rar!\x1a\x07\x00", 7);
    auto block = [&out](std::string body) { // from HEAD_TYPE on
        const auto crc = static_cast<std::uint16_t>(crc32(body) & 0xFFFF);
        le(out, crc, 2);
        out += body;
    };
    std::string main;
    main.push_back('\x73');
    le(main, 0, 2);
    le(main, 13, 2);
    le(main, 0, 6);
    block(main);
    for (const Entry& f : files) {
        std::string h;
        h.push_back('\x74');
        le(h, 0x8000, 2); // the data follows the header
        le(h, 32 + f.path.size(), 2);
        le(h, f.data.size(), 4); // packed
        le(h, f.data.size(), 4); // unpacked
        h.push_back('\x03'); // written on Unix
        le(h, crc32(f.data), 4);
        le(h, (39u << 25) | (7u << 21) | (1u << 16), 4); // 2019-07-01
        h.push_back(20); // version needed
        h.push_back(0x30); // stored
        le(h, f.path.size(), 2);
        le(h, 0x81A4, 4);
        h += f.path;
        block(h);
        out += f.data;
    }
    out += std::string("\xc4\x3d\x7b\x00\x40\x07\x00", 7);
    return out;
}

std::string cabArchive(const std::vector<Entry>& files)
{
    std::string names;
    std::uint64_t total = 0;
    for (const Entry& f : files)
        total += f.data.size();
    size_t fileRecords = 0;
    for (const Entry& f : files)
        fileRecords += 16 + f.path.size() + 1;
    const size_t filesAt = 36 + 8, dataAt = filesAt + fileRecords;
    std::string out("MSCF", 4);
    le(out, 0, 4);
    le(out, dataAt + 8 + total, 4);
    le(out, 0, 4);
    le(out, filesAt, 4);
    le(out, 0, 4);
    out.push_back(3);
    out.push_back(1);
    le(out, 1, 2); // folders
    le(out, files.size(), 2);
    le(out, 0, 6); // flags, set, index
    le(out, dataAt, 4); // the folder's data
    le(out, 1, 2);
    le(out, 0, 2); // not compressed
    std::uint64_t offset = 0;
    for (const Entry& f : files) {
        le(out, f.data.size(), 4);
        le(out, offset, 4);
        le(out, 0, 2);
        le(out, (39u << 9) | (7u << 5) | 1u, 2); // 2019-07-01
        le(out, 0, 2);
        le(out, 0x20, 2);
        out += f.path;
        out.push_back('\0');
        offset += f.data.size();
    }
    le(out, 0, 4); // no checksum
    le(out, total, 2);
    le(out, total, 2);
    for (const Entry& f : files)
        out += f.data;
    return out;
}

std::string zipClaiming(const std::string& name, std::uint64_t claimed)
{
    const std::string data = "tiny!";
    auto zip64 = [&](std::string& out) {
        le(out, 0x0001, 2);
        le(out, 16, 2);
        le(out, claimed, 8);
        le(out, data.size(), 8);
    };
    std::string out;
    le(out, 0x04034b50, 4);
    le(out, 45, 2);
    le(out, 0, 2);
    le(out, 0, 2); // stored
    le(out, 0, 4); // time, date
    le(out, crc32(data), 4);
    le(out, 0xFFFFFFFF, 4);
    le(out, 0xFFFFFFFF, 4);
    le(out, name.size(), 2);
    le(out, 20, 2);
    out += name;
    zip64(out);
    out += data;
    const size_t directory = out.size();
    le(out, 0x02014b50, 4);
    le(out, 45, 2);
    le(out, 45, 2);
    le(out, 0, 2);
    le(out, 0, 2);
    le(out, 0, 4);
    le(out, crc32(data), 4);
    le(out, 0xFFFFFFFF, 4);
    le(out, 0xFFFFFFFF, 4);
    le(out, name.size(), 2);
    le(out, 20, 2);
    le(out, 0, 2 + 2 + 2 + 4 + 4); // comment, disk, attributes, local header at 0
    out += name;
    zip64(out);
    const size_t directorySize = out.size() - directory;
    le(out, 0x06054b50, 4);
    le(out, 0, 4);
    le(out, 1, 2);
    le(out, 1, 2);
    le(out, directorySize, 4);
    le(out, directory, 4);
    le(out, 0, 2);
    return out;
}

void writeFile(const QString& path, const std::string& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw std::runtime_error("cannot write " + path.toStdString());
    f.write(bytes.data(), static_cast<qint64>(bytes.size()));
}

} // namespace qmtest
