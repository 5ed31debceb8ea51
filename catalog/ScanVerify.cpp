// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/ScanVerify.h"

#include "catalog/Scans.h"
#include "catalog/scan/FingerprintStage.h"
#include "catalog/update/UpdateSafety.h"
#include "catalog/scan/FolderWalker.h"
#include "catalog/scan/ScanPipeline.h"
#include "catalog/scan/ScanTexts.h"
#include "platform/FileSystem.h"
#include "platform/Numbers.h"
#include "platform/Recordset.h"

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>

#include <algorithm>
#include <cstring>

namespace qm {
namespace {

// The scan's records on the disk (not the members of archives, which the
// walk does not list), each with its fingerprint where one holds for the
// record's size and time.
constexpr const char* kStoredForVerify
    = "SELECT m.SrNO, m.ID, CAST(coalesce(m.raw_path, m.path) AS BLOB), coalesce(m.bytes, 0), "
      "coalesce(m.modified, 0), "
      "CASE WHEN length(f.Hash) = 16 AND f.Bytes = m.bytes "
      "AND (f.ModifiedNs - ((f.ModifiedNs % 1000000000) + 1000000000) % 1000000000) / 1000000000 = m.modified "
      "THEN f.Hash END, f.ModifiedNs "
      "FROM main m LEFT JOIN fingerprints f ON f.SrNO = m.SrNO "
      "WHERE m.dbaseName = ? AND m.delKey = ? AND m.path IS NOT NULL AND coalesce(m.in_archive, 0) = 0 "
      "ORDER BY m.SrNO";

std::int64_t seconds(std::int64_t ns)
{
    const std::int64_t s = ns / 1000000000;
    return (ns % 1000000000 < 0) ? s - 1 : s;
}

} // namespace

ScanVerify::ScanVerify(SQLite::Database& db, const QString& catalogue, const TopFolder& top,
    ScanListener* listener, FileSystem& fs)
    : db_(db)
    , catalogue_(catalogue)
    , top_(top)
    , listener_(listener)
    , fs_(fs)
{
}

void ScanVerify::load()
{
    const QByteArray top = top_.path.toUtf8();
    topPath_.assign(top.constData(), static_cast<size_t>(top.size()));
    if (topPath_.empty() || topPath_.back() != '/')
        topPath_.push_back('/');
    SQLite::Transaction read(db_);
    SQLite::Statement st(db_, kStoredForVerify);
    st.bind(1, catalogue_.toStdString());
    st.bind(2, top_.key.toStdString());
    while (st.executeStep()) {
        const SQLite::Column path = st.getColumn(2);
        Stored s {st.getColumn(0).getInt64(), st.getColumn(1).getString(),
            static_cast<std::uint64_t>(st.getColumn(3).getInt64()), st.getColumn(4).getInt64(), false, {}, 0};
        if (const SQLite::Column hash = st.getColumn(5); !hash.isNull()) {
            s.hashed = true;
            std::memcpy(s.hash.data(), hash.getBlob(), s.hash.size());
            s.hashModifiedNs = st.getColumn(6).getInt64();
        }
        // Of two records of one path the first stands for it.
        stored_.try_emplace(std::string(static_cast<const char*>(path.getBlob()), static_cast<size_t>(path.getBytes())),
            std::move(s));
    }
    read.commit();
}

bool ScanVerify::run()
{
    try {
        load();
    } catch (const std::exception& e) {
        failure_ = QStringLiteral("The catalogue cannot be read: ") + QString::fromUtf8(e.what());
        return false;
    }
    // Another disk, or none, where the scan's disk was mounted would have
    // every entry told as missing: that is said instead.
    std::optional<ScanInfo> recorded;
    try {
        recorded = scanInfo(db_, catalogue_, top_.key);
    } catch (const std::exception&) {
        // A scan without its disk recorded is walked where it was.
    }
    if (const QString reason = diskReason(recorded, top_.fileName, top_.path, diskOf(top_.path)); !reason.isEmpty()) {
        failure_ = reason + QStringLiteral(" Nothing was verified.");
        return false;
    }
    int error = 0;
    std::unique_ptr<Folder> start = fs_.open(topPath_, error);
    EntryInfo info;
    if (start)
        error = fs_.stat(*start, info);
    if (!start || error != 0) {
        failure_ = QStringLiteral("The folder ") + top_.fileName + QStringLiteral(" cannot be read: ")
            + errorText(error) + QStringLiteral(". Is its disk mounted there?");
        return false;
    }
    // The top-level folder is there: its own record is matched.
    if (auto it = stored_.find(std::string_view(topPath_)); it != stored_.end())
        it->second.matched = true;

    FolderWalker walker(fs_);
    walker.setDevice(info.device);
    walker.setProgress(listener_ != nullptr, interval_);
    walker.keepUnreadPaths(true);
    FingerprintStage contents(info.device, FingerprintStage::readersFor(info.device));
    QString lost;
    {
        ScanPipeline pipeline({&contents});
        contents.attach(&pipeline, listener_ != nullptr, interval_);
        contents_ = &contents;
        lost = pipeline.run(
            [&walker, &start, this](ScanPipeline& p) { walker.walk(std::move(start), topPath_, p); }, *this);
        contents.attach(nullptr, false, interval_);
    }
    lastProgress_ = contents.progress();
    contents_ = nullptr;
    counts_.bytesRead = static_cast<std::int64_t>(lastProgress_.read);
    if (walkFailure_) {
        failure_ = *walkFailure_;
        return false;
    }
    if (walker.cancelled() || contents.cancelled()) {
        cancelled_ = true;
        return false;
    }
    if (!walker.failure().isEmpty() || !lost.isEmpty()) {
        failure_ = !walker.failure().isEmpty() ? walker.failure() : lost;
        return false;
    }
    afterWalk(walker.unreadPaths());
    std::stable_sort(findings_.begin(), findings_.end(),
        [](const VerifyFinding& a, const VerifyFinding& b) { return a.path < b.path; });
    return true;
}

ContentProgress ScanVerify::contentProgress() const
{
    return contents_ ? contents_->progress() : lastProgress_;
}

void ScanVerify::store(ScanBatch& batch)
{
    if (walkFailure_)
        return;
    for (size_t i = 0; i < batch.items.size(); ++i) {
        const ScanItem& item = batch.items[i];
        if (item.kind != ScanItem::File && item.kind != ScanItem::Folder)
            continue;
        const std::string_view path(batch.text.data() + item.path, item.pathLength);
        if (item.kind == ScanItem::Folder) {
            const auto it = stored_.find(path);
            if (it == stored_.end() || it->second.matched)
                add(VerifyKind::New, path, nullptr, {});
            else
                it->second.matched = true;
            continue;
        }
        checkFile(path, item, batch.contents.empty() ? nullptr : &batch.contents[i]);
    }
}

void ScanVerify::checkFile(std::string_view path, const ScanItem& item, const ItemContent* content)
{
    const auto it = stored_.find(path);
    Stored* s = it == stored_.end() || it->second.matched ? nullptr : &it->second;
    if (s)
        s->matched = true;
    // Whatever else is true of it, a file that cannot be read is said so.
    if (content && !content->read && content->error != 0) {
        add(VerifyKind::Unreadable, path, s, contentReadError(content->error));
        return;
    }
    if (!s) {
        add(VerifyKind::New, path, nullptr, readableSize(item.bytes));
        return;
    }
    QStringList differs;
    if (s->bytes != item.bytes)
        differs << QStringLiteral("size ") + readableSize(item.bytes) + QStringLiteral(", was ")
                + readableSize(s->bytes);
    if (s->modified != item.modified)
        differs << QStringLiteral("modified ") + dateText(item.modified) + QStringLiteral(", was ")
                + dateText(s->modified);
    if (!differs.isEmpty()) {
        add(VerifyKind::Changed, path, s, differs.join(QStringLiteral("; ")));
        return;
    }
    if (!content || !content->read) {
        // Not read: the check was stopped before it came to this file.
        return;
    }
    const FileFingerprint& now = content->fingerprint;
    if (now.bytes != s->bytes || seconds(now.modifiedNs) != s->modified) {
        add(VerifyKind::Changed, path, s, QStringLiteral("it changed while it was checked"));
        return;
    }
    if (!s->hashed) {
        ++counts_.same; // by size and time alone: no fingerprint to compare
        return;
    }
    if (now.hash != s->hash) {
        if (now.modifiedNs != s->hashModifiedNs)
            add(VerifyKind::Changed, path, s,
                QStringLiteral("its contents were rewritten within the second its recorded modification time "
                               "names"));
        else
            add(VerifyKind::Corrupt, path, s,
                QStringLiteral("its contents differ from their fingerprint although its size and modification "
                               "time are as recorded"));
        return;
    }
    ++counts_.same;
    ++counts_.sameByContent;
}

void ScanVerify::afterWalk(const std::unordered_set<std::string>& unread)
{
    // Whether `path` or a folder above it (below the top) could not be read.
    auto underUnread = [&](const std::string& path) {
        std::string_view p(path);
        if (p.ends_with('/'))
            p.remove_suffix(1);
        while (p.size() >= topPath_.size()) {
            if (unread.count(std::string(p)))
                return true;
            const size_t slash = p.rfind('/');
            if (slash == std::string_view::npos || slash + 1 < topPath_.size())
                break;
            p = p.substr(0, slash);
        }
        return false;
    };
    std::vector<const std::pair<const std::string, Stored>*> gone;
    for (const auto& entry : stored_)
        if (!entry.second.matched)
            gone.push_back(&entry);
    std::sort(gone.begin(), gone.end(), [](auto* a, auto* b) { return a->first < b->first; });
    for (const auto* entry : gone) {
        if (underUnread(entry->first))
            add(VerifyKind::Unreadable, entry->first, &entry->second,
                QStringLiteral("it, or a folder it is in, could not be read"));
        else
            add(VerifyKind::Missing, entry->first, &entry->second, {});
    }
    // What could not be read and the scan does not hold.
    for (const std::string& path : unread) {
        if (stored_.count(path) || stored_.count(path + '/'))
            continue;
        add(VerifyKind::Unreadable, path, nullptr, QStringLiteral("it could not be read"));
    }
}

void ScanVerify::add(VerifyKind kind, std::string_view path, const Stored* record, QString detail)
{
    if (path.starts_with(topPath_))
        path.remove_prefix(topPath_.size());
    VerifyFinding f {kind, displayPath(path), record ? record->srNo : 0,
        record ? QString::fromStdString(record->key) : QString(), std::move(detail)};
    findings_.push_back(std::move(f));
    switch (kind) {
    case VerifyKind::Missing:
        ++counts_.missing;
        break;
    case VerifyKind::New:
        ++counts_.added;
        break;
    case VerifyKind::Changed:
        ++counts_.changed;
        break;
    case VerifyKind::Corrupt:
        ++counts_.corrupt;
        break;
    case VerifyKind::Unreadable:
        ++counts_.unreadable;
        break;
    }
}

bool ScanVerify::progress(std::int64_t entries, const QString& folder)
{
    if (!listener_)
        return true;
    entriesShown_ = std::max(entriesShown_, entries);
    const bool goOn = contents_ ? listener_->contentProgress(entriesShown_, folder, contents_->progress())
                                : listener_->progress(entriesShown_, folder);
    if (!goOn && contents_)
        contents_->cancel();
    return goOn;
}

void ScanVerify::failed(const QString& why)
{
    if (!walkFailure_)
        walkFailure_ = why;
}

QString verifySummary(const VerifyCounts& c)
{
    const QLocale locale = figureLocale();
    return QStringLiteral("%1 missing, %2 new, %3 changed, %4 corrupt, %5 could not be read, %6 the same (%7 read "
                          "and found as fingerprinted, %8 by size and time alone)")
        .arg(locale.toString(c.missing), locale.toString(c.added), locale.toString(c.changed),
            locale.toString(c.corrupt), locale.toString(c.unreadable), locale.toString(c.same),
            locale.toString(c.sameByContent), locale.toString(c.same - c.sameByContent));
}

QString verifyKindText(VerifyKind kind)
{
    switch (kind) {
    case VerifyKind::Missing:
        return QStringLiteral("missing");
    case VerifyKind::New:
        return QStringLiteral("new");
    case VerifyKind::Changed:
        return QStringLiteral("changed");
    case VerifyKind::Corrupt:
        return QStringLiteral("corrupt");
    case VerifyKind::Unreadable:
        return QStringLiteral("could not be read");
    }
    return {};
}

} // namespace qm
