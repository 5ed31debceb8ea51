// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/scan/ArchiveMembers.h"

#include <archive.h>
#include <archive_entry.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <memory>
#include <unordered_map>

namespace qm {
namespace {

QString bytesText(std::string_view bytes)
{
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

bool endsWith(std::string_view text, std::string_view end)
{
    if (text.size() < end.size())
        return false;
    for (size_t i = 0; i < end.size(); ++i) {
        char c = text[text.size() - end.size() + i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != end[i])
            return false;
    }
    return true;
}

// A name that would leave the archive's own tree were it joined to a path:
// it stays one name, directly below the archive.
bool leavesTree(std::string_view path)
{
    if (path.empty() || path.front() == '/' || path.front() == '\\')
        return true;
    if (path.size() >= 2 && path[1] == ':')
        return true; // a drive letter
    size_t start = 0;
    while (start <= path.size()) {
        size_t slash = path.find_first_of("/\\", start);
        if (slash == std::string_view::npos)
            slash = path.size();
        if (path.substr(start, slash - start) == "..")
            return true;
        start = slash + 1;
    }
    return false;
}

struct ArchiveCloser {
    void operator()(archive* a) const { archive_read_free(a); }
};
using ArchivePtr = std::unique_ptr<archive, ArchiveCloser>;

ArchivePtr reader()
{
    ArchivePtr a(archive_read_new());
    if (!a)
        return a;
    archive_read_support_filter_all(a.get());
    archive_read_support_format_zip(a.get());
    archive_read_support_format_tar(a.get());
    archive_read_support_format_gnutar(a.get());
    archive_read_support_format_7zip(a.get());
    archive_read_support_format_rar(a.get());
    archive_read_support_format_rar5(a.get());
    archive_read_support_format_iso9660(a.get());
    archive_read_support_format_cab(a.get());
    return a;
}

QString errorOf(archive* a, const char* otherwise)
{
    const char* text = archive_error_string(a);
    return QString::fromUtf8(text && *text ? text : otherwise);
}

// The tree of members as the archive's headers give it.
class Builder {
public:
    explicit Builder(std::int64_t modified)
        : modified_(modified)
    {
        nodes_.push_back(Node {}); // the archive itself
        nodes_[0].folder = true;
    }

    // Adds a member; returns its node.
    size_t add(std::string_view path, bool folder, std::uint64_t bytes, std::int64_t modified)
    {
        if (leavesTree(path)) {
            Node n;
            n.name.assign(path);
            while (n.name.size() > 1 && n.name.back() == '/')
                n.name.pop_back();
            n.folder = folder;
            n.bytes = folder ? 0 : bytes;
            n.modified = modified;
            return attach(0, std::move(n));
        }
        // "./a//b/" reads as "a/b".
        std::vector<std::string_view> parts;
        size_t start = 0;
        while (start < path.size()) {
            size_t slash = path.find('/', start);
            if (slash == std::string_view::npos)
                slash = path.size();
            const std::string_view part = path.substr(start, slash - start);
            if (!part.empty() && part != ".")
                parts.push_back(part);
            start = slash + 1;
        }
        if (parts.empty())
            return 0;
        size_t parent = 0;
        std::string folderPath;
        const size_t folders = folder ? parts.size() : parts.size() - 1;
        for (size_t i = 0; i < folders; ++i) {
            folderPath.append(parts[i]).push_back('/');
            auto [it, added] = folderByPath_.try_emplace(folderPath, 0);
            if (added) {
                Node n;
                n.name.assign(parts[i]);
                n.folder = true;
                n.modified = modified_;
                it->second = attach(parent, std::move(n));
            }
            parent = it->second;
        }
        if (folder) {
            nodes_[parent].modified = modified; // listed, not only implied
            return parent;
        }
        Node n;
        n.name.assign(parts.back());
        n.bytes = bytes;
        n.modified = modified;
        return attach(parent, std::move(n));
    }

    void setInner(size_t node, std::vector<ArchiveMember> members)
    {
        nodes_[node].inner = std::move(members);
        nodes_[node].container = true;
    }

    std::vector<ArchiveMember> members(bool inner)
    {
        std::vector<ArchiveMember> out;
        out.reserve(nodes_.size());
        total(0);
        for (size_t child : nodes_[0].children)
            lay(child, std::string(), 0, inner, out);
        return out;
    }

private:
    struct Node {
        std::string name;
        std::uint64_t bytes = 0;
        std::int64_t modified = 0;
        bool folder = false, container = false;
        std::vector<size_t> children;
        std::vector<ArchiveMember> inner;
    };

    size_t attach(size_t parent, Node n)
    {
        nodes_.push_back(std::move(n));
        nodes_[parent].children.push_back(nodes_.size() - 1);
        return nodes_.size() - 1;
    }

    std::uint64_t total(size_t node)
    {
        Node& n = nodes_[node];
        if (!n.folder)
            return n.bytes;
        std::uint64_t sum = 0;
        for (size_t i = 0; i < n.children.size(); ++i)
            sum += total(nodes_[node].children[i]);
        nodes_[node].bytes = sum;
        return sum;
    }

    void lay(
        size_t node, const std::string& parentPath, int level, bool inner, std::vector<ArchiveMember>& out)
    {
        const Node& n = nodes_[node];
        ArchiveMember m;
        m.name = n.name;
        m.path = parentPath + n.name;
        if (n.folder)
            m.path.push_back('/');
        m.bytes = n.bytes;
        m.modified = n.modified;
        m.level = level;
        m.folder = n.folder;
        m.container = n.container;
        m.inner = inner;
        const std::string path = m.path;
        out.push_back(std::move(m));
        if (n.container) {
            for (const ArchiveMember& below : n.inner) {
                ArchiveMember moved = below;
                moved.path = path + '/' + below.path;
                moved.level += level + 1;
                out.push_back(std::move(moved));
            }
            return;
        }
        for (size_t child : n.children)
            lay(child, path, level + 1, inner, out);
    }

    std::int64_t modified_;
    std::vector<Node> nodes_;
    std::unordered_map<std::string, size_t> folderByPath_;
};

enum class Nested { Read, TooLarge, Broken };

// Reads the current member's data, a nested archive, into `data`, up to the
// limit: past it the rest is left to be skipped.
Nested readNested(archive* a, std::string& data)
{
    std::array<char, 65536> buffer;
    for (;;) {
        const la_ssize_t n = archive_read_data(a, buffer.data(), buffer.size());
        if (n == 0)
            return Nested::Read;
        if (n < 0)
            return Nested::Broken;
        if (data.size() + static_cast<size_t>(n) > ArchiveMembers::kNestedMaxBytes)
            return Nested::TooLarge;
        data.append(buffer.data(), static_cast<size_t>(n));
    }
}

ArchiveListing listOpen(archive* a, std::int64_t modified, bool nested)
{
    ArchiveListing listing;
    Builder tree(modified);
    std::uint64_t total = 0;
    size_t count = 0;
    for (;;) {
        archive_entry* entry = nullptr;
        const int rc = archive_read_next_header(a, &entry);
        if (rc == ARCHIVE_EOF)
            break;
        if (rc < ARCHIVE_WARN) {
            listing.problem = errorOf(a, "it is truncated or damaged");
            return listing;
        }
        if (archive_entry_is_encrypted(entry)) {
            listing.problem = QStringLiteral("it is encrypted");
            return listing;
        }
        const char* utf8 = archive_entry_pathname_utf8(entry);
        const char* raw = utf8 ? utf8 : archive_entry_pathname(entry);
        const std::string_view path = raw ? std::string_view(raw) : std::string_view();
        if (count == ArchiveMembers::kMaxMembers) {
            listing.notes.push_back(QStringLiteral("it holds more than %1 members; the first %1 are listed")
                                        .arg(ArchiveMembers::kMaxMembers));
            break;
        }
        const bool folder
            = archive_entry_filetype(entry) == AE_IFDIR || (!path.empty() && path.back() == '/');
        std::uint64_t bytes = 0;
        if (!folder && archive_entry_size_is_set(entry)) {
            const la_int64_t claimed = archive_entry_size(entry);
            if (claimed < 0 || static_cast<std::uint64_t>(claimed) > ArchiveMembers::kAbsurdBytes
                || total + static_cast<std::uint64_t>(claimed) > ArchiveMembers::kAbsurdBytes) {
                listing.notes.push_back(QStringLiteral("its member ") + bytesText(path)
                    + QStringLiteral(" claims a size no disk holds (%1 bytes); listing stopped there")
                          .arg(static_cast<qint64>(claimed)));
                break;
            }
            bytes = static_cast<std::uint64_t>(claimed);
            total += bytes;
        }
        if (path.empty())
            continue; // nothing to call it by
        ++count;
        const std::int64_t time = archive_entry_mtime_is_set(entry) ? archive_entry_mtime(entry) : modified;
        const size_t node = tree.add(path, folder, bytes, time);
        if (!nested && !folder && node != 0 && ArchiveMembers::looksLikeArchive(path)) {
            std::string data;
            const Nested read
                = bytes <= ArchiveMembers::kNestedMaxBytes ? readNested(a, data) : Nested::TooLarge;
            if (read == Nested::Broken) {
                // The outer archive's data gives out: nothing more of it can be trusted.
                listing.problem = errorOf(a, "it is truncated or damaged");
                return listing;
            }
            if (read == Nested::Read) {
                ArchiveListing inner = ArchiveMembers::listMemory(data.data(), data.size(), time, true);
                if (!inner.problem.isEmpty())
                    listing.notes.push_back(
                        bytesText(path) + QStringLiteral(" inside it cannot be listed: ") + inner.problem);
                for (const QString& note : inner.notes)
                    listing.notes.push_back(bytesText(path) + QStringLiteral(" inside it: ") + note);
                if (inner.problem.isEmpty())
                    tree.setInner(node, std::move(inner.members));
                continue;
            }
            listing.notes.push_back(bytesText(path)
                + QStringLiteral(" inside it is not listed: it is larger than %1 MiB")
                      .arg(ArchiveMembers::kNestedMaxBytes >> 20));
        }
        if (archive_read_data_skip(a) < ARCHIVE_WARN) {
            listing.problem = errorOf(a, "it is truncated or damaged");
            return listing;
        }
    }
    listing.members = tree.members(nested);
    return listing;
}

} // namespace

bool ArchiveMembers::looksLikeArchive(std::string_view name)
{
    static constexpr std::array<std::string_view, 18> kEndings {".zip", ".tar", ".tgz", ".tar.gz", ".tbz",
        ".tbz2", ".tar.bz2", ".txz", ".tar.xz", ".tzst", ".tar.zst", ".7z", ".rar", ".iso", ".cab", ".jar",
        ".cbz", ".cbr"};
    return std::any_of(
        kEndings.begin(), kEndings.end(), [&](std::string_view end) { return endsWith(name, end); });
}

ArchiveListing ArchiveMembers::list(const std::string& path, std::int64_t modified)
{
    ArchiveListing listing;
    // Not through a link, and not a FIFO or a device, which would block or never end.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        listing.problem = QString::fromLocal8Bit(std::strerror(errno));
        return listing;
    }
    struct stat info { };
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        listing.problem = QStringLiteral("it is not a plain file");
        return listing;
    }
    ArchivePtr a = reader();
    if (!a) {
        ::close(fd);
        listing.problem = QStringLiteral("out of memory");
        return listing;
    }
    if (archive_read_open_fd(a.get(), fd, 65536) != ARCHIVE_OK) {
        listing.problem = errorOf(a.get(), "it is not an archive this program reads");
        a.reset();
        ::close(fd);
        return listing;
    }
    listing = listOpen(a.get(), modified, false);
    a.reset();
    ::close(fd);
    return listing;
}

ArchiveListing ArchiveMembers::listMemory(
    const void* data, std::size_t size, std::int64_t modified, bool nested)
{
    ArchivePtr a = reader();
    ArchiveListing listing;
    if (!a) {
        listing.problem = QStringLiteral("out of memory");
        return listing;
    }
    if (archive_read_open_memory(a.get(), data, size) != ARCHIVE_OK) {
        listing.problem = errorOf(a.get(), "it is not an archive this program reads");
        return listing;
    }
    return listOpen(a.get(), modified, nested);
}

} // namespace qm
