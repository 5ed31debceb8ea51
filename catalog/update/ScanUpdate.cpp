// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/update/ScanUpdate.h"

#include "catalog/CatalogueKeys.h"
#include "catalog/ThumbnailStore.h"
#include "catalog/scan/MediaDetails.h"
#include "catalog/tree/TreeCheck.h"
#include "catalog/NodeKeys.h"
#include "platform/Numbers.h"
#include "catalog/store/Queries.h"
#include "catalog/Scans.h"
#include "catalog/store/Store.h"
#include "catalog/scan/FolderSizes.h"
#include "catalog/scan/FolderWalker.h"
#include "catalog/scan/KnownStage.h"
#include "catalog/scan/ScanPipeline.h"

#include <QByteArrayView>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Exception.h>
#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>
#include <sqlite3.h>

#include <future>
#include <stdexcept>
#include <unordered_map>
#include <unordered_set>

namespace qm {
namespace {

std::string utf8(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

// What the table's state is: its highest serial number and the change log's
// newest entry. A record added, changed or deleted moves one of them.
std::pair<std::int64_t, std::int64_t> changeMark(SQLite::Database& db)
{
    SQLite::Statement marks(db, Queries::kStoreChangeMark);
    marks.executeStep();
    return {marks.getColumn(0).getInt64(), marks.getColumn(1).getInt64()};
}

// Rolls the write transaction back unless it was committed.
class WriteTransaction {
public:
    explicit WriteTransaction(SQLite::Database& db)
        : db_(db)
    {
        // The write lock at once: the records compared are the records written.
        db_.exec("BEGIN IMMEDIATE");
    }
    ~WriteTransaction()
    {
        if (open_)
            sqlite3_exec(db_.getHandle(), "ROLLBACK", nullptr, nullptr, nullptr);
    }
    WriteTransaction(const WriteTransaction&) = delete;
    WriteTransaction& operator=(const WriteTransaction&) = delete;
    void commit()
    {
        db_.exec("COMMIT");
        open_ = false;
    }

private:
    SQLite::Database& db_;
    bool open_ = true;
};

} // namespace

// The scan's records, read down from its top-level folder through the index
// on (catalogue, parent): the cost follows the scan, not the table. Records
// of one path after the first go to `duplicates`.
ScanUpdate::StoredScan ScanUpdate::loadScan(SQLite::Database& db, const std::string& catalogue, const std::string& topKey,
    LoadWhat what, std::int64_t expected)
{
    StoredScan out;
    if (expected > 0) { // the count the scan's last run left: no growing on the way
        out.records.reserve(static_cast<size_t>(expected));
        out.byPath.reserve(static_cast<size_t>(expected));
    }
    out.mark = changeMark(db);
    SQLite::Statement st(
        db, what.fingerprints ? Queries::kScanChildrenToUpdateWithFingerprints : Queries::kScanChildrenToUpdate);
    std::vector<std::string> folders {"0>"};
    std::unordered_set<std::string> visited;
    while (!folders.empty()) {
        const std::string parent = std::move(folders.back());
        folders.pop_back();
        if (!visited.insert(parent).second)
            continue; // a key met twice (hand-edited records) is read once
        st.bind(1, catalogue);
        st.bind(2, parent);
        st.bind(3, topKey);
        while (st.executeStep()) {
            if (st.getColumn(3).isNull()) {
                ++out.withoutPath; // it stands for no entry; it is left as it is
                continue;
            }
            auto number = [&](int column) {
                const SQLite::Column c = st.getColumn(column);
                return c.isNull() ? std::nullopt : std::optional<std::int64_t>(c.getInt64());
            };
            std::string path = st.getColumn(3).getString();
            if (path.ends_with('/'))
                folders.push_back(st.getColumn(1).getString());
            // Entries are known by the bytes of their path.
            if (const SQLite::Column raw = st.getColumn(9); !raw.isNull())
                path.assign(static_cast<const char*>(raw.getBlob()), static_cast<size_t>(raw.getBytes()));
            // Of two records of one path the first one stays; the other goes.
            Stored record {st.getColumn(0).getInt64(), st.getColumn(1).getString(), parent,
                st.getColumn(4).getString(), st.getColumn(5).getString(), number(6), number(7), number(8)};
            if (what.fingerprints || what.members || what.thumbnails || what.media)
                loadKnown(db, catalogue, st, record, path, what);
            const auto [it, added] = out.byPath.try_emplace(std::move(path), out.records.size());
            if (added) {
                out.records.push_back(std::move(record));
                continue;
            }
            Stored& first = out.records[it->second];
            if (record.srNo < first.srNo)
                std::swap(first, record);
            out.duplicates.emplace_back(record.srNo, std::move(record.key));
        }
        st.reset();
    }
    return out;
}

QString updateSummary(const UpdateCounts& c)
{
    const QLocale locale = figureLocale();
    QString text = QStringLiteral("%1 added, %2 removed").arg(locale.toString(c.added), locale.toString(c.removed));
    if (c.moved > 0)
        text += QStringLiteral(", %1 moved").arg(locale.toString(c.moved));
    text += QStringLiteral(", %1 changed, %2 unchanged").arg(locale.toString(c.changed), locale.toString(c.unchanged));
    if (c.unread > 0)
        text += QStringLiteral(", %1 kept as they were (could not be read)").arg(locale.toString(c.unread));
    return text;
}

ScanUpdate::ScanUpdate(SQLite::Database& db, const QString& catalogue, const TopFolder& top,
    ScanListener* listener, FileSystem& fs)
    : db_(db)
    , catalogue_(catalogue)
    , top_(top)
    , listener_(listener)
    , fs_(fs)
{
}

bool ScanUpdate::run()
{
    lastProgress_ = std::chrono::steady_clock::now();
    // The store's health is checked beside the walk, on a connection of its
    // own; nothing is written to a damaged store.
    const std::string file = db_.getFilename();
    Store::KeptMark mark(db_);
    auto health = std::async(std::launch::async, [file] {
        SQLite::Database reader(file, SQLite::OPEN_READONLY);
        reader.setBusyTimeout(5000);
        return Store::damageSinceChecked(reader);
    });
    // The scan's stored records are read beside the walk too (the disk the
    // folder is on is asked after it, on this thread: UDisks2 may be asked).
    const std::string catalogue = utf8(catalogue_);
    const std::string topKey = utf8(top_.key);
    loadWhat_ = LoadWhat {fingerprints_, archives_, thumbnails_, media_};
    loaded_ = std::async(std::launch::async, [file, catalogue, topKey, top = top_.key, name = catalogue_,
                                                 what = loadWhat_] {
        // This thread's own connection: no locking of it on every column.
        SQLite::Database reader(file, SQLite::OPEN_READONLY | SQLite::OPEN_NOMUTEX);
        reader.setBusyTimeout(5000);
        SQLite::Transaction snapshot(reader); // the records and their mark of one state
        const auto scan = scanInfo(reader, name, top);
        return std::make_shared<StoredScan>(loadScan(reader, catalogue, topKey, what, scan ? scan->records : 0));
    }).share();
    try {
        if (!walk())
            return false;
        QString damage;
        bool checked = false;
        try {
            damage = health.get();
            checked = true;
        } catch (const std::exception&) {
            // A check that cannot run leaves it to the store's own errors.
        }
        if (!damage.isEmpty()) {
            failure_ = damage;
            return false;
        }
        if (!confirmRisk())
            return false;
        write();
        if (checked) {
            mark.foundSound();
            mark.committed();
        }
        return true;
    } catch (const Stop&) {
        cancelled_ = true;
    } catch (const Refused& r) {
        failure_ = r.why;
    } catch (const SQLite::Exception& e) {
        failure_ = Store::isDamageError(e.getErrorCode())
            ? Store::foundDamaged(QString::fromStdString(file), QString::fromUtf8(e.what()))
            : QString::fromUtf8(e.what());
    } catch (const std::exception& e) {
        failure_ = QString::fromUtf8(e.what());
    }
    counts_ = {};
    return false;
}

bool ScanUpdate::walk()
{
    std::string path = utf8(top_.path);
    if (path.empty() || path.back() != '/')
        path.push_back('/');
    int error = 0;
    std::unique_ptr<Folder> start = fs_.open(path, error);
    EntryInfo info;
    if (start)
        error = fs_.stat(*start, info);
    if (!start || error != 0) {
        failure_ = QStringLiteral("The folder %1 cannot be read: %2. Nothing was changed.")
                       .arg(top_.fileName, errorText(error));
        return false;
    }
    device_ = info.device;
    entries_.push_back(Entry {path, 0, -1, true, false, info});
    open_.assign(1, 0);

    // The folder scan's walk and sizes, with this update storing nothing
    // yet: it compares. Entries that could not be read keep their records.
    FolderWalker walker(fs_);
    walker.setDevice(device_);
    walker.setProgress(listener_ != nullptr, interval_);
    walker.keepUnreadPaths(true);
    // Reading stages, told first what the store holds for each file.
    FolderSizes sizes;
    std::vector<ScanStage*> stages {&sizes};
    std::optional<KnownStage> known;
    std::optional<FingerprintStage> prints;
    if (fingerprints_ || archives_ || thumbnails_ || media_) {
        known.emplace(knownLookup());
        stages.insert(stages.begin(), &*known);
    }
    if (fingerprints_) {
        prints.emplace(device_, FingerprintStage::readersFor(device_));
        stages.insert(stages.begin() + 1, &*prints);
    }
    if (archives_) {
        // Archives bring their members into the batch: short batches keep the writer busy.
        walker.setRowsPerBatch(32);
        stages.push_back(&archiveStage_);
    }
    // After the archive stage: what it adds lines up with the final entries.
    if (media_) {
        mediaStage_ = std::make_unique<MediaStage>(FingerprintStage::readersFor(device_));
        stages.push_back(mediaStage_.get());
    }
    // Last: the archive stage adds items, and thumbnails go by item.
    if (thumbnails_) {
        thumbnailStage_ = std::make_unique<ThumbnailStage>(device_, ThumbnailStage::inFlightFor(device_));
        stages.push_back(thumbnailStage_.get());
    }
    ScanPipeline pipeline(std::move(stages));
    if (thumbnailStage_)
        thumbnailStage_->attach(&pipeline);
    if (prints) {
        prints->attach(&pipeline, listener_ != nullptr, interval_);
        prints_ = &*prints;
    }
    const QString lost
        = pipeline.run([&walker, &start, &path](ScanPipeline& p) { walker.walk(std::move(start), path, p); }, *this);
    prints_ = nullptr;
    if (thumbnailStage_)
        thumbnailStage_->attach(nullptr);
    seen_ = walker.entriesSeen();
    lastProgress_ = walker.lastProgress();
    skippedCount_ = walker.skippedCount();
    skipped_ = walker.firstSkipped();
    unread_ = walker.unreadPaths();
    if (prints) {
        prints->attach(nullptr, false, interval_);
        filesRead_ = prints->filesRead();
        filesReused_ = prints->filesReused();
        bytesRead_ = prints->bytesRead();
        skippedCount_ += prints->skippedCount();
        for (SkippedEntry& e : prints->firstSkipped())
            if (static_cast<int>(skipped_.size()) < FolderWalker::kSkippedKept)
                skipped_.push_back(std::move(e));
        if (prints->cancelled())
            throw Stop {};
    }
    // Nothing is written after a stop, whatever stopped it: the first cause is told.
    if (walkFailure_)
        throw std::runtime_error(walkFailure_->toStdString());
    if (walker.cancelled())
        throw Stop {};
    if (!walker.failure().isEmpty())
        throw std::runtime_error(walker.failure().toStdString());
    if (!lost.isEmpty())
        throw std::runtime_error(lost.toStdString());
    // Records that came after the walk ended: everything is compared now.
    adoptLoaded(true);
    if (scan_)
        findMoves();
    return true;
}

void ScanUpdate::store(ScanBatch& batch)
{
    if (walkFailure_)
        return; // nothing of it will be written
    adoptLoaded(false);
    for (size_t at = 0; at < batch.items.size(); ++at) {
        const ScanItem& item = batch.items[at];
        switch (item.kind) {
        case ScanItem::File:
        case ScanItem::Folder: {
            const bool folder = item.kind == ScanItem::Folder;
            EntryInfo info;
            info.kind = folder ? EntryKind::Directory : EntryKind::File;
            info.size = item.bytes;
            info.created = item.created;
            info.modified = item.modified;
            info.device = device_;
            const auto index = static_cast<int>(entries_.size());
            // A folder whose walk ended in this batch came with its total.
            const bool sized = !folder || item.sized;
            Entry& e = entries_.emplace_back(Entry {std::string(batch.text, item.path, item.pathLength),
                item.name - item.path, open_.back(), folder, sized, info});
            e.inArchive = item.inArchive;
            e.listed = item.listed;
            if (!batch.contents.empty() && batch.contents[at].read) {
                e.fingerprinted = true;
                e.reused = batch.contents[at].reused;
                e.print = batch.contents[at].fingerprint;
            }
            if (!batch.thumbnails.empty() && !batch.thumbnails[at].image.isEmpty())
                e.thumbnail = std::move(batch.thumbnails[at]);
            if (!batch.media.empty() && item.kind == ScanItem::File && item.inArchive == 0
                && mediaKindOf(std::string_view(batch.text.data() + item.name, item.nameLength)) != MediaKind::None) {
                const KnownEntry* known = batch.knownOf(at);
                e.mediaTried = !(known && known->detailed && known->sized && known->bytes == item.bytes
                    && known->modified == item.modified);
                e.media = std::move(batch.media[at]);
            }
            // An archive's members hang below it as a folder's entries do.
            if (folder || item.container)
                open_.push_back(index);
            if (scan_ && sized)
                compare(e);
            break;
        }
        case ScanItem::Close: {
            Entry& folder = entries_[static_cast<size_t>(open_.back())];
            open_.pop_back();
            if (!folder.sized) {
                folder.info.size = item.bytes;
                folder.sized = true;
                if (scan_)
                    compare(folder);
            }
            break;
        }
        case ScanItem::End: {
            Entry& top = entries_.front();
            top.info.size = item.bytes;
            top.sized = true;
            if (scan_)
                compare(top);
            break;
        }
        }
    }
}

bool ScanUpdate::progress(std::int64_t entries, const QString& folder)
{
    if (!prints_)
        return listener_->progress(entries, folder);
    // The walker and the reads both ask; the walker's count is ahead.
    seen_ = std::max(seen_, entries);
    const bool goOn = listener_->contentProgress(seen_, folder, prints_->progress());
    if (!goOn)
        prints_->cancel();
    return goOn;
}

void ScanUpdate::failed(const QString& why)
{
    if (!walkFailure_)
        walkFailure_ = why;
}

// ---- The write transaction ----

void ScanUpdate::write()
{
    const std::string catalogue = utf8(catalogue_);
    const std::string topKey = utf8(top_.key);
    WriteTransaction transaction(db_);

    // Compared beside the walk with the records read then; read and compared
    // again here when the table changed since (or they could not be read).
    if (!scan_ || scan_->mark != changeMark(db_)) {
        scan_ = std::make_shared<StoredScan>(loadScan(db_, catalogue, topKey, loadWhat_));
        compareAll();
        findMoves();
        recheckRemovals();
    }
    StoredScan& scan = *scan_;
    const Entry& top = entries_.front();
    if (!top.record || top.record->key != topKey)
        throw DbError(QStringLiteral("The catalogue \"%1\" no longer holds the folder %2; another window or "
                                     "program deleted it. Nothing was changed.")
                          .arg(catalogue_, top_.fileName)
                          .toStdString());

    // The catalogue's kept tree check follows what is written: records stay
    // where they were, some go, new ones are appended.
    CheckCarry carry(db_, catalogue_);
    SQLite::Statement update(db_, Queries::kUpdateScannedRecord);
    SQLite::Statement reparent(db_, Queries::kReparentScannedRecord);
    SQLite::Statement insert(db_, Queries::kInsertScanRecordWithRawPath);
    SQLite::Statement remove(db_, Queries::kDeleteRecord);
    SQLite::Statement members(db_, Queries::kArchiveMembers);
    std::optional<SQLite::Statement> prints;
    if (fingerprints_)
        prints.emplace(db_, Queries::kInsertFingerprint);
    std::optional<SQLite::Statement> thumbnails;
    if (thumbnails_)
        thumbnails.emplace(db_, kInsertThumbnail);
    // Records of archive members removed and added: never among the records read.
    std::int64_t membersGone = 0, membersAdded = 0;
    KeyReservation keys(db_, catalogue, 1);
    std::vector<std::string> keyOf(entries_.size());
    for (size_t i = 0; i < entries_.size(); ++i) {
        const Entry& e = entries_[i];
        if ((i & 1023) == 0)
            checkProgress(seen_ + static_cast<std::int64_t>(i), top.path);
        const std::string& parent = e.parent < 0 ? "0>" : keyOf[static_cast<size_t>(e.parent)];
        const auto bytes = static_cast<std::int64_t>(e.info.size);
        const Stored* s = e.record;
        if (s && !e.moved) {
            keyOf[i] = s->key;
            if (e.rewrite) {
                formatTexts(e);
                update.bind(1, size_);
                update.bind(2, date_);
                update.bind(3, static_cast<int64_t>(bytes));
                update.bind(4, static_cast<int64_t>(e.info.created));
                update.bind(5, static_cast<int64_t>(e.info.modified));
                update.bind(6, static_cast<int64_t>(s->srNo));
                update.exec();
                update.reset();
            }
            // Parent is indexed: written only when it differs.
            const bool moved = s->parent != parent;
            if (moved) {
                carry.drop();
                reparent.bind(1, parent);
                reparent.bind(2, static_cast<int64_t>(s->srNo));
                reparent.exec();
                reparent.reset();
            }
            // An archive listed again: the new listing's members follow it.
            if (e.listed) {
                const std::int64_t gone = removeMembers(members, remove, s->key, carry);
                counts_.removed += gone;
                membersGone += gone;
            }
            if (prints && e.fingerprinted && !e.reused)
                storeFingerprint(*prints, e, s->srNo);
            if (thumbnails && !e.thumbnail.image.isEmpty())
                storeThumbnail(*thumbnails, e, s->srNo);
            if (media_ && e.mediaTried)
                storeMedia(e, s->srNo, e.rewrite);
            ++(e.differs || moved ? counts_.changed : counts_.unchanged);
            continue;
        }
        formatTexts(e);
        if (s) {
            // A file moved: its record goes from where it was and comes back
            // here under its own key, after its new folder's record as every
            // record comes after its folder's. Members stored below it went
            // with the archive's old place; a new listing brings them again.
            carry.drop();
            const std::int64_t gone = removeMembers(members, remove, s->key, carry);
            counts_.removed += gone;
            membersGone += gone;
            remove.bind(1, static_cast<int64_t>(s->srNo));
            remove.exec();
            remove.reset();
            keyOf[i] = s->key;
            ++counts_.moved;
        } else {
            if (e.parent >= 0)
                if (const Stored* folder = entries_[static_cast<size_t>(e.parent)].record)
                    carry.below(folder->key, folder->srNo);
            keyOf[i] = utf8(qm::keyOf(keys.next()));
            ++counts_.added;
            if (e.inArchive != 0)
                ++membersAdded;
        }
        std::string_view name(e.path);
        name = name.substr(e.nameStart, name.size() - e.nameStart - (e.folder ? 1 : 0));
        const bool readable = QByteArrayView(e.path.data(), static_cast<qsizetype>(e.path.size())).isValidUtf8();
        insert.bind(1, keyOf[i]);
        insert.bind(2, parent);
        insert.bind(3, catalogue);
        insert.bind(4, readable ? std::string(name) : utf8(displayPath(name)));
        insert.bind(5, readable ? e.path : utf8(displayPath(e.path)));
        if (e.inArchive != 0)
            insert.bind(12, static_cast<int>(e.inArchive));
        else
            insert.bind(12);
        if (readable)
            insert.bind(13);
        else
            insert.bind(13, e.path.data(), static_cast<int>(e.path.size()));
        insert.bind(6, size_);
        insert.bind(7, date_);
        insert.bind(8, topKey);
        insert.bind(9, static_cast<int64_t>(bytes));
        insert.bind(10, static_cast<int64_t>(e.info.created));
        insert.bind(11, static_cast<int64_t>(e.info.modified));
        insert.exec();
        insert.reset();
        const std::int64_t srNo = db_.getLastInsertRowid();
        if (prints && e.fingerprinted)
            storeFingerprint(*prints, e, srNo);
        if (thumbnails && !e.thumbnail.image.isEmpty())
            storeThumbnail(*thumbnails, e, srNo);
        if (media_ && e.mediaTried)
            storeMedia(e, srNo, false);
    }

    std::vector<std::string> goneKeys;
    for (const auto& [srNo, key] : scan.duplicates) {
        carry.gone(key, srNo);
        remove.bind(1, static_cast<int64_t>(srNo));
        remove.exec();
        remove.reset();
        ++counts_.removed;
        goneKeys.push_back(key);
    }
    for (const auto& [path, index] : scan.byPath) {
        const Stored& s = scan.records[index];
        if (s.matched)
            continue;
        if (unread(path)) {
            ++counts_.unread;
            continue;
        }
        carry.gone(s.key, s.srNo);
        remove.bind(1, static_cast<int64_t>(s.srNo));
        remove.exec();
        remove.reset();
        ++counts_.removed;
        goneKeys.push_back(s.key);
    }
    // The members of an archive that is gone go with it: the walk never
    // lists them, so they would be left below no record at all.
    for (const std::string& key : goneKeys) {
        const std::int64_t gone = removeMembers(members, remove, key, carry);
        counts_.removed += gone;
        membersGone += gone;
    }
    carry.finish();
    keys.release();
    // A scan recorded before disks were gets its disk now.
    recordScanStart(db_, catalogue_, top_.key, diskNow(), QDateTime::currentSecsSinceEpoch());
    // What the scan holds now, from what was read and written in this transaction.
    const auto held = static_cast<std::int64_t>(scan.records.size() + scan.duplicates.size()) + scan.withoutPath
        - (counts_.removed - membersGone) + (counts_.added - membersAdded);
    recordScanEnd(db_, catalogue_, top_.key, held);
    checkProgress(seen_ + static_cast<std::int64_t>(entries_.size()), top.path);
    transaction.commit();
}

void ScanUpdate::checkProgress(std::int64_t done, const std::string& where)
{
    const auto now = std::chrono::steady_clock::now();
    if (!listener_ || now - lastProgress_ < interval_)
        return;
    lastProgress_ = now;
    if (!listener_->progress(done, displayPath(where)))
        throw Stop {};
}

} // namespace qm
