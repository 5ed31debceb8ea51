// SPDX-License-Identifier: GPL-3.0-or-later
// What an update keeps of file contents: what the reading stages are told
// of each stored record, files that moved with their content, fingerprints
// stored, and the members of archives listed again or gone.
#include "catalog/update/ScanUpdate.h"

#include "catalog/MediaStore.h"
#include "catalog/ThumbnailStore.h"
#include "catalog/scan/ArchiveMembers.h"
#include "catalog/scan/Thumbnails.h"
#include "catalog/store/Queries.h"
#include "catalog/tree/TreeCheck.h"
#include "platform/Numbers.h"

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>
#include <sqlite3.h>

#include <algorithm>
#include <map>
#include <utility>

namespace qm {
namespace {

std::string utf8(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

// The second a time in nanoseconds falls in, before the epoch too.
std::int64_t secondOf(std::int64_t ns)
{
    return ns / 1000000000 - (ns % 1000000000 < 0 ? 1 : 0);
}

} // namespace

QString fingerprintSummary(const ScanUpdate& update)
{
    return QStringLiteral("Fingerprinted the contents of %1 file(s) (%2 read); %3 unchanged file(s) kept their "
                          "fingerprints.")
        .arg(QString::number(update.filesFingerprinted()), readableSize(update.bytesRead()),
            QString::number(update.fingerprintsKept()));
}

QString archiveSummary(const ScanUpdate& update)
{
    const ArchiveStage& stage = update.archiveStage();
    return QStringLiteral("Listed %1 member(s) of %2 archive(s); %3 unchanged archive(s) kept their members.")
        .arg(QString::number(stage.membersAdded()), QString::number(stage.archivesListed()),
            QString::number(stage.archivesKept()));
}

void ScanUpdate::loadKnown(SQLite::Database& db, const std::string& catalogue, SQLite::Statement& st,
    Stored& record, const std::string& path, LoadWhat what)
{
    KnownEntry& known = record.known;
    // A record without its numbers (an older store's) is told as changed.
    known.sized = record.bytes.has_value() && record.modified.has_value();
    known.bytes = static_cast<std::uint64_t>(record.bytes.value_or(0));
    known.modified = record.modified.value_or(0);
    if (path.ends_with('/'))
        return;
    if (what.fingerprints && !st.getColumn(10).isNull()) {
        const SQLite::Column hash = st.getColumn(10);
        if (hash.getBytes() == static_cast<int>(known.fingerprint.hash.size())) {
            const auto* bytes = static_cast<const unsigned char*>(hash.getBlob());
            std::copy(bytes, bytes + known.fingerprint.hash.size(), known.fingerprint.hash.begin());
            known.fingerprint.bytes = static_cast<std::uint64_t>(st.getColumn(11).getInt64());
            known.fingerprint.modifiedNs = st.getColumn(12).getInt64();
            known.fingerprinted = true;
        }
    }
    if (what.thumbnails
        && Thumbnails::looksLikePicture(std::string_view(path).substr(path.rfind('/') + 1))) {
        SQLite::Statement thumbnail(db, "SELECT 1 FROM thumbnails WHERE SrNO = ?");
        thumbnail.bind(1, static_cast<int64_t>(record.srNo));
        known.thumbnailed = thumbnail.executeStep();
    }
    if (what.media && mediaKindOf(std::string_view(path).substr(path.rfind('/') + 1)) != MediaKind::None) {
        SQLite::Statement details(db, "SELECT 1 FROM media WHERE SrNO = ?");
        details.bind(1, static_cast<int64_t>(record.srNo));
        known.detailed = details.executeStep();
    }
    if (what.members) {
        const std::string_view name = std::string_view(path).substr(path.rfind('/') + 1);
        if (!ArchiveMembers::looksLikeArchive(name))
            return;
        SQLite::Statement members(db, Queries::kArchiveHasMembers);
        members.bind(1, catalogue);
        members.bind(2, record.key);
        known.members = members.executeStep();
    }
}

std::function<const KnownEntry*(std::string_view)> ScanUpdate::knownLookup() const
{
    // The records read beside the walk, once they are there: the stage waits
    // for them at its first file. Records that cannot be read tell nothing,
    // and every file is read as new.
    return [loaded = loaded_, scan = std::shared_ptr<StoredScan>(), asked = false](
               std::string_view path) mutable -> const KnownEntry* {
        if (!asked) {
            asked = true;
            try {
                scan = loaded.get();
            } catch (const std::exception&) {
            }
        }
        if (!scan)
            return nullptr;
        const auto found = scan->byPath.find(std::string(path));
        return found == scan->byPath.end() ? nullptr : &scan->records[found->second].known;
    };
}

void ScanUpdate::findMoves()
{
    // Only a fingerprint read in this update says what a new file holds.
    if (!loadWhat_.fingerprints)
        return;
    // Vanished files whose stored fingerprint is of the content their record
    // describes (the size, and the time to the second, agree), by content.
    using Content = std::pair<std::uint64_t, ContentHash>;
    std::map<Content, std::vector<Stored*>> vanished;
    for (const auto& [path, index] : scan_->byPath) {
        Stored& s = scan_->records[index];
        const KnownEntry& k = s.known;
        if (s.matched || !k.fingerprinted || !k.sized || path.ends_with('/') || k.fingerprint.bytes != k.bytes
            || secondOf(k.fingerprint.modifiedNs) != k.modified || unread(path))
            continue;
        vanished[{k.bytes, k.fingerprint.hash}].push_back(&s);
    }
    if (vanished.empty())
        return;
    // Of copies that vanished together, the oldest record goes first.
    for (auto& [content, records] : vanished)
        std::sort(records.begin(), records.end(), [](const Stored* a, const Stored* b) { return a->srNo > b->srNo; });
    for (Entry& e : entries_) {
        if (e.record || e.folder || e.inArchive != 0 || !e.fingerprinted || e.reused)
            continue;
        const auto found = vanished.find({e.print.bytes, e.print.hash});
        if (found == vanished.end() || found->second.empty())
            continue;
        Stored* s = found->second.back();
        found->second.pop_back();
        s->matched = true;
        e.record = s;
        e.moved = e.differs = e.rewrite = true;
    }
}

void ScanUpdate::storeFingerprint(SQLite::Statement& st, const Entry& e, std::int64_t srNo) const
{
    st.bind(1, static_cast<int64_t>(srNo));
    st.bind(2, e.print.hash.data(), static_cast<int>(e.print.hash.size()));
    st.bind(3, static_cast<int64_t>(e.print.bytes));
    st.bind(4, static_cast<int64_t>(e.print.modifiedNs));
    st.exec();
    st.reset();
}

void ScanUpdate::storeThumbnail(SQLite::Statement& st, const Entry& e, std::int64_t srNo) const
{
    st.bind(1, static_cast<int64_t>(srNo));
    st.bind(2, e.thumbnail.width);
    st.bind(3, e.thumbnail.height);
    st.bind(4, e.thumbnail.image.constData(), static_cast<int>(e.thumbnail.image.size()));
    st.exec();
    st.reset();
}

void ScanUpdate::storeMedia(const Entry& e, std::int64_t srNo, bool changed)
{
    auto prepared = [this](auto& st, const char* sql) {
        if (!st) {
            sqlite3_stmt* raw = nullptr;
            if (sqlite3_prepare_v2(db_.getHandle(), sql, -1, &raw, nullptr) != SQLITE_OK)
                throw SQLite::Exception(db_.getHandle(), sqlite3_errcode(db_.getHandle()));
            st = std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)>(raw, sqlite3_finalize);
        }
        return st.get();
    };
    // Details of the content the record described before go, even when the
    // new content gives none.
    sqlite3_stmt* st = nullptr;
    if (changed && !e.media.read()) {
        st = prepared(dropMedia_, "DELETE FROM media WHERE SrNO = ?");
        sqlite3_bind_int64(st, 1, srNo);
    } else if (e.media.read()) {
        st = prepared(insertMedia_, kInsertMedia);
        bindMedia(st, srNo, e.media);
    } else
        return;
    const int rc = sqlite3_step(st);
    sqlite3_reset(st);
    if (rc != SQLITE_DONE)
        throw SQLite::Exception(db_.getHandle(), rc);
}

std::int64_t ScanUpdate::removeMembers(
    SQLite::Statement& below, SQLite::Statement& remove, std::string key, CheckCarry& carry)
{
    const std::string catalogue = utf8(catalogue_);
    std::int64_t removed = 0;
    std::vector<std::string> parents {std::move(key)};
    while (!parents.empty()) {
        const std::string parent = std::move(parents.back());
        parents.pop_back();
        below.bind(1, catalogue);
        below.bind(2, parent);
        std::vector<std::pair<std::int64_t, std::string>> found;
        while (below.executeStep())
            found.emplace_back(below.getColumn(0).getInt64(), below.getColumn(1).getString());
        below.reset();
        for (auto& [srNo, member] : found) {
            carry.gone(member, srNo);
            remove.bind(1, static_cast<int64_t>(srNo));
            remove.exec();
            remove.reset();
            ++removed;
            parents.push_back(std::move(member));
        }
    }
    return removed;
}

} // namespace qm
