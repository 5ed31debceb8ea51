// SPDX-License-Identifier: GPL-3.0-or-later
#include "find/IndexFile.h"

#include "platform/UserFolders.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <xxhash.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>

namespace qm::find {
namespace {

constexpr char kMagic[8] = {'Q', 'M', 'I', 'N', 'D', 'E', 'X', '\n'};
// Names in a block of this many records start at an offset kept in the file;
// within a block a record is found by counting the names before it.
constexpr std::uint32_t kBlock = 32;
constexpr std::uint8_t kFarStep = 0xFF;

struct Header {
    char magic[8];
    std::uint32_t format;
    std::uint32_t headerBytes;
    std::uint64_t device, inode;
    std::int64_t lastSrNo, logSeq;
    std::uint64_t sample;
    std::uint64_t records, catalogueBytes, namesBytes, noted, far;
    std::uint64_t checksum; // XXH3-64 of the header (this field 0) and all that follows
};
static_assert(sizeof(Header) == 104);

std::size_t padded(std::size_t n)
{
    return (n + 7) & ~std::size_t(7);
}

std::uint64_t checksumOf(const Header& header, const char* rest, std::size_t restBytes)
{
    Header h = header;
    h.checksum = 0;
    XXH3_state_t* state = XXH3_createState();
    if (!state)
        return 0;
    XXH3_64bits_reset(state);
    XXH3_64bits_update(state, &h, sizeof h);
    XXH3_64bits_update(state, rest, restBytes);
    const std::uint64_t sum = XXH3_64bits_digest(state);
    XXH3_freeState(state);
    return sum;
}

template <class T> void put(std::string& out, std::span<const T> values)
{
    out.append(reinterpret_cast<const char*>(values.data()), values.size_bytes());
    out.resize(padded(out.size()));
}

// A file whose checksum matched once is not hashed again while stat says
// the same of it: a pass over every byte costs as much as a search. Written
// beside it, as these numbers and the checksum they vouch for. Any write to
// the file moves its change time, except one within the clock's grain of the
// check itself: so a file is vouched for only once it has been still for a
// while (a file damaged then is found at the next check).
constexpr std::int64_t kStillSeconds = 1;

QByteArray stillStamp(const struct stat& st, std::uint64_t checksum)
{
    return QByteArray::number(static_cast<qulonglong>(st.st_dev)) + ' '
        + QByteArray::number(static_cast<qulonglong>(st.st_ino)) + ' '
        + QByteArray::number(static_cast<qlonglong>(st.st_size)) + ' '
        + QByteArray::number(static_cast<qlonglong>(st.st_mtim.tv_sec)) + '.'
        + QByteArray::number(static_cast<qlonglong>(st.st_mtim.tv_nsec)) + ' '
        + QByteArray::number(static_cast<qlonglong>(st.st_ctim.tv_sec)) + '.'
        + QByteArray::number(static_cast<qlonglong>(st.st_ctim.tv_nsec)) + ' '
        + QByteArray::number(static_cast<qulonglong>(checksum), 16) + '\n';
}

QString stampFileOf(const QString& file)
{
    return file + QStringLiteral(".checked");
}

bool vouchedFor(const QString& file, const struct stat& st, std::uint64_t checksum)
{
    QFile stamp(stampFileOf(file));
    return stamp.open(QIODevice::ReadOnly) && stamp.read(256) == stillStamp(st, checksum);
}

void vouchFor(const QString& file, const struct stat& st, std::uint64_t checksum)
{
    if (std::max(st.st_ctim.tv_sec, st.st_mtim.tv_sec) + kStillSeconds >= QDateTime::currentSecsSinceEpoch())
        return;
    // Best effort: without it the next search checks the whole file again.
    QSaveFile stamp(stampFileOf(file));
    if (stamp.open(QIODevice::WriteOnly) && stamp.write(stillStamp(st, checksum)) > 0)
        stamp.commit();
}

QString errnoText()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

bool writeAll(int fd, const char* data, std::size_t n)
{
    while (n > 0) {
        const ssize_t w = ::write(fd, data, n);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            return false;
        data += w;
        n -= static_cast<std::size_t>(w);
    }
    return true;
}

} // namespace

IndexPlace indexPlaceOf(const QString& storePath)
{
    const QString cache = userCacheHome();
    if (cache.isEmpty())
        return {{}, noHomeFolderText()};
    // Named by the store's own path: two stores never share an index, and
    // the store's folder is never written to.
    QString canonical = QFileInfo(storePath).canonicalFilePath();
    if (canonical.isEmpty())
        canonical = QFileInfo(storePath).absoluteFilePath();
    const QByteArray path = QFile::encodeName(canonical);
    const std::uint64_t hash = XXH3_64bits(path.constData(), static_cast<size_t>(path.size()));
    return {QDir(cache).filePath(QStringLiteral("quillmark/find/%1.index").arg(hash, 16, 16, QLatin1Char('0'))),
        {}};
}

std::uint64_t sampleOf(std::string_view catalogue, std::string_view name)
{
    std::string both;
    both.append(catalogue).push_back('\0');
    both.append(name);
    return XXH3_64bits(both.data(), both.size());
}

namespace coarse {

std::uint8_t sizeCode(std::int64_t bytes)
{
    if (bytes < 0)
        return kAnySize;
    if (bytes < 16)
        return static_cast<std::uint8_t>(1 + bytes);
    const int e = std::bit_width(static_cast<std::uint64_t>(bytes)) - 1; // 4..62
    const auto m = static_cast<int>((static_cast<std::uint64_t>(bytes) >> (e - 2)) & 3);
    return static_cast<std::uint8_t>(17 + (e - 4) * 4 + m); // at most 252
}

std::pair<std::int64_t, std::int64_t> sizeRange(std::uint8_t code)
{
    if (code <= 16)
        return {code - 1, code - 1};
    const int e = (code - 17) / 4 + 4;
    const std::int64_t m = (code - 17) % 4;
    const std::int64_t lo = (4 + m) << (e - 2);
    // The step less one first: the highest code ends exactly at INT64_MAX.
    return {lo, lo + ((std::int64_t(1) << (e - 2)) - 1)};
}

namespace {
constexpr std::int64_t kDaySeconds = 86400;
constexpr std::int64_t kDaysTo1970 = 25567; // from 1900-01-01
} // namespace

std::uint16_t dayOf(std::int64_t seconds)
{
    const std::int64_t day = seconds >= 0 ? seconds / kDaySeconds : -((-(seconds + 1)) / kDaySeconds) - 1;
    const std::int64_t code = day + kDaysTo1970;
    return code < 0 || code >= kAnyDay ? kAnyDay : static_cast<std::uint16_t>(code);
}

std::pair<std::int64_t, std::int64_t> dayRange(std::uint16_t code)
{
    const std::int64_t lo = (std::int64_t(code) - kDaysTo1970) * kDaySeconds;
    return {lo, lo + kDaySeconds - 1};
}

} // namespace coarse

QString writeIndexFile(const QString& file, const IndexContent& content)
{
    const std::size_t n = content.srNo.size();
    std::string body;
    body.reserve(n * 12 + content.names.size() + 4096);
    for (const std::string& name : content.catalogues) {
        const auto length = static_cast<std::uint32_t>(name.size());
        body.append(reinterpret_cast<const char*>(&length), sizeof length);
        body.append(name);
    }
    body.resize(padded(body.size()));
    const std::size_t catalogueBytes = body.size();
    std::vector<std::uint32_t> blockStart, blockSrNo, far;
    std::vector<std::uint8_t> step(n);
    blockStart.reserve(n / kBlock + 1);
    blockSrNo.reserve(n / kBlock + 1);
    std::size_t at = 0;
    for (std::size_t i = 0; i < n; ++i) {
        if (i % kBlock == 0) {
            blockStart.push_back(static_cast<std::uint32_t>(at));
            blockSrNo.push_back(content.srNo[i]);
        } else if (const std::uint32_t d = content.srNo[i] - content.srNo[i - 1]; d < kFarStep) {
            step[i] = static_cast<std::uint8_t>(d);
        } else {
            step[i] = kFarStep;
            far.push_back(static_cast<std::uint32_t>(i));
            far.push_back(content.srNo[i]);
        }
        at = content.names.find('\0', at) + 1;
    }
    if (content.names.size() > UINT32_MAX || at != content.names.size())
        return QStringLiteral("the names do not fit the index");
    put<std::uint32_t>(body, blockSrNo);
    put<std::uint8_t>(body, step);
    put<std::uint32_t>(body, far);
    put<std::uint8_t>(body, content.size);
    put<std::uint16_t>(body, content.day);
    put<std::uint8_t>(body, content.tag);
    put<std::uint32_t>(body, blockStart);
    put<std::int64_t>(body, content.noted);
    body.append(content.names);

    Header h {};
    std::memcpy(h.magic, kMagic, sizeof kMagic);
    h.format = kIndexFormat;
    h.headerBytes = sizeof(Header);
    h.device = content.stamp.device;
    h.inode = content.stamp.inode;
    h.lastSrNo = content.stamp.lastSrNo;
    h.logSeq = content.stamp.logSeq;
    h.sample = content.stamp.sample;
    h.records = n;
    h.catalogueBytes = catalogueBytes;
    h.namesBytes = content.names.size();
    h.noted = content.noted.size();
    h.far = far.size() / 2;
    h.checksum = checksumOf(h, body.data(), body.size());

    const QFileInfo info(file);
    if (!QDir().mkpath(info.absolutePath()))
        return QStringLiteral("cannot make the folder %1").arg(info.absolutePath());
    // What a writer killed before its rename left behind (an hour gives any
    // live writer time to finish).
    for (const QFileInfo& left : QDir(info.absolutePath()).entryInfoList({info.fileName() + QStringLiteral(".??????")},
             QDir::Files | QDir::Hidden))
        if (left.lastModified().secsTo(QDateTime::currentDateTime()) > 3600)
            QFile::remove(left.absoluteFilePath());
    QByteArray temp = QFile::encodeName(file) + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0)
        return errnoText();
    const bool written = writeAll(fd, reinterpret_cast<const char*>(&h), sizeof h)
        && writeAll(fd, body.data(), body.size()) && ::fsync(fd) == 0;
    const QString problem = written ? QString() : errnoText();
    ::close(fd);
    if (!written || ::rename(temp.constData(), QFile::encodeName(file).constData()) != 0) {
        const QString why = written ? errnoText() : problem;
        ::unlink(temp.constData());
        return why;
    }
    // The rename itself reaches the disk with the folder.
    if (const int dir = ::open(QFile::encodeName(info.absolutePath()).constData(), O_RDONLY | O_DIRECTORY); dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return {};
}

std::unique_ptr<MappedIndex> MappedIndex::open(const QString& file, QString& problem)
{
    const int fd = ::open(QFile::encodeName(file).constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        problem = errno == ENOENT ? QStringLiteral("there is none yet") : errnoText();
        return nullptr;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < static_cast<off_t>(sizeof(Header))) {
        ::close(fd);
        problem = QStringLiteral("it is not an index");
        return nullptr;
    }
    const auto length = static_cast<std::size_t>(st.st_size);
    void* map = ::mmap(nullptr, length, PROT_READ, MAP_PRIVATE, fd, 0);
    ::close(fd);
    if (map == MAP_FAILED) {
        problem = errnoText();
        return nullptr;
    }
    std::unique_ptr<MappedIndex> index(new MappedIndex);
    index->map_ = map;
    index->length_ = length;
    const char* base = static_cast<const char*>(map);
    Header h;
    std::memcpy(&h, base, sizeof h);
    if (std::memcmp(h.magic, kMagic, sizeof kMagic) != 0 || h.headerBytes != sizeof(Header)) {
        problem = QStringLiteral("it is not an index");
        return nullptr;
    }
    if (h.format != kIndexFormat) {
        problem = QStringLiteral("it is of another format (%1)").arg(h.format);
        return nullptr;
    }
    // Every size is checked before it is added to another: a file made to
    // look like an index cannot lead a read past its end.
    const std::uint64_t n = h.records;
    constexpr std::uint64_t kMost = std::uint64_t(1) << 40;
    std::size_t expected = sizeof(Header);
    bool sane = n < UINT32_MAX && h.catalogueBytes < kMost && h.namesBytes < UINT32_MAX && h.noted <= n
        && h.far <= n;
    const std::uint64_t blocks = (n + kBlock - 1) / kBlock;
    if (sane)
        expected += padded(h.catalogueBytes) + padded(blocks * 4) + padded(n) + padded(h.far * 8) + padded(n)
            + padded(n * 2) + padded(n)
            + padded(blocks * 4) + padded(h.noted * 8) + h.namesBytes;
    if (!sane || expected != length) {
        problem = QStringLiteral("it is damaged (its sizes do not add up)");
        return nullptr;
    }
    const char* rest = base + sizeof(Header);
    if (!vouchedFor(file, st, h.checksum)) {
        if (checksumOf(h, rest, length - sizeof(Header)) != h.checksum) {
            problem = QStringLiteral("it is damaged (its checksum does not match)");
            return nullptr;
        }
        vouchFor(file, st, h.checksum);
    }
    index->stamp_ = {h.device, h.inode, h.lastSrNo, h.logSeq, h.sample};
    const char* at = rest;
    for (const char* end = rest + h.catalogueBytes; end - at >= 4;) {
        std::uint32_t size = 0;
        std::memcpy(&size, at, 4);
        if (size == 0 && end - at < 8)
            break; // the padding
        if (size > static_cast<std::uint64_t>(end - at - 4)) {
            problem = QStringLiteral("it is damaged (a catalogue name)");
            return nullptr;
        }
        index->catalogues_.push_back(QString::fromUtf8(at + 4, static_cast<qsizetype>(size)));
        at += 4 + size;
    }
    at = rest + padded(h.catalogueBytes);
    auto take = [&](auto& span, std::size_t count) {
        using T = typename std::remove_reference_t<decltype(span)>::element_type;
        span = {reinterpret_cast<T*>(at), count};
        at += padded(count * sizeof(T));
    };
    take(index->blockSrNo_, blocks);
    take(index->step_, n);
    take(index->far_, h.far * 2);
    take(index->size_, n);
    take(index->day_, n);
    take(index->tag_, n);
    take(index->blockStart_, blocks);
    take(index->noted_, h.noted);
    index->names_ = std::string_view(at, h.namesBytes);
    if (n > 0 && (index->names_.empty() || index->names_.back() != '\0')) {
        problem = QStringLiteral("it is damaged (its names)");
        return nullptr;
    }
    for (std::size_t b = 0; b < index->blockStart_.size(); ++b)
        if (index->blockStart_[b] >= h.namesBytes || (b > 0 && index->blockStart_[b] <= index->blockStart_[b - 1])) {
            problem = QStringLiteral("it is damaged (its blocks)");
            return nullptr;
        }
    ::madvise(map, length, MADV_WILLNEED);
    return index;
}

MappedIndex::~MappedIndex()
{
    if (map_)
        ::munmap(map_, length_);
}

std::uint32_t MappedIndex::entryAt(std::size_t offset) const
{
    const auto it = std::upper_bound(blockStart_.begin(), blockStart_.end(), static_cast<std::uint32_t>(offset));
    const auto block = static_cast<std::uint32_t>(std::max<std::ptrdiff_t>(it - blockStart_.begin() - 1, 0));
    std::uint32_t entry = block * kBlock;
    const char* p = names_.data() + blockStart_[block];
    const char* target = names_.data() + offset;
    while (p < target) {
        const auto* nul = static_cast<const char*>(std::memchr(p, '\0', static_cast<size_t>(target - p)));
        if (!nul)
            break;
        ++entry;
        p = nul + 1;
    }
    return std::min(entry, records() - 1);
}

std::pair<std::uint32_t, std::size_t> MappedIndex::blockOf(std::uint32_t entry) const
{
    return {entry / kBlock * kBlock, blockStart_[entry / kBlock]};
}

std::uint32_t MappedIndex::srNoAt(std::uint32_t entry) const
{
    const std::uint32_t first = entry / kBlock * kBlock;
    std::uint32_t srNo = blockSrNo_[entry / kBlock];
    for (std::uint32_t i = first + 1; i <= entry; ++i) {
        if (step_[i] != kFarStep) {
            srNo += step_[i];
            continue;
        }
        // Kept apart as (entry, SrNO) pairs, in order of entry.
        std::size_t lo = 0, hi = far_.size() / 2;
        while (lo < hi) {
            const std::size_t mid = (lo + hi) / 2;
            if (far_[2 * mid] < i)
                lo = mid + 1;
            else
                hi = mid;
        }
        if (lo < far_.size() / 2 && far_[2 * lo] == i)
            srNo = far_[2 * lo + 1];
    }
    return srNo;
}

std::uint32_t MappedIndex::entryOf(std::int64_t srNo) const
{
    if (srNo < 0 || srNo > UINT32_MAX || blockSrNo_.empty())
        return records();
    const auto it = std::upper_bound(blockSrNo_.begin(), blockSrNo_.end(), static_cast<std::uint32_t>(srNo));
    if (it == blockSrNo_.begin())
        return records();
    const auto first = static_cast<std::uint32_t>(it - blockSrNo_.begin() - 1) * kBlock;
    for (std::uint32_t e = first; e < std::min(records(), first + kBlock); ++e)
        if (const std::uint32_t at = srNoAt(e); at >= srNo)
            return at == srNo ? e : records();
    return records();
}

} // namespace qm::find
