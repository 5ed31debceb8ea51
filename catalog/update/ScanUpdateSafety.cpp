// SPDX-License-Identifier: GPL-3.0-or-later
// The update's own checks against a slip (UpdateSafety.h): kept apart from
// the judging texts, which verify uses without the update's readers.
#include "catalog/update/ScanUpdate.h"
#include "catalog/update/UpdateSafety.h"

#include "platform/Numbers.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

namespace qm {
namespace {

std::string utf8(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

} // namespace

const DiskIdentity& ScanUpdate::diskNow()
{
    if (!diskNow_)
        diskNow_ = diskOf(top_.path);
    return *diskNow_;
}

std::int64_t ScanUpdate::plannedRemovals(std::unordered_set<std::string>* keys) const
{
    std::int64_t removed = static_cast<std::int64_t>(scan_->duplicates.size());
    if (keys)
        for (const auto& duplicate : scan_->duplicates)
            keys->insert(duplicate.second);
    for (const auto& [path, index] : scan_->byPath) {
        const Stored& s = scan_->records[index];
        if (s.matched || unread(path))
            continue;
        ++removed;
        if (keys)
            keys->insert(s.key);
    }
    return removed;
}

std::int64_t ScanUpdate::scanRecords() const
{
    return static_cast<std::int64_t>(scan_->records.size() + scan_->duplicates.size()) + scan_->withoutPath;
}

UpdateRisk ScanUpdate::judge()
{
    if (!scan_) { // not read beside the walk: read here
        scan_ = std::make_shared<StoredScan>(loadScan(db_, utf8(catalogue_), utf8(top_.key), loadWhat_));
        compareAll();
        findMoves();
    }
    UpdateRisk risk;
    risk.records = scanRecords();
    risk.removed = plannedRemovals(nullptr);
    risk.reason = diskReason(scanInfo(db_, catalogue_, top_.key), top_.fileName, top_.path, diskNow());
    if (!risk.risky() && risk.removed > 0) {
        // Nothing recorded tells of the disk (or it looks the same): what the walk found does.
        if (entries_.size() == 1 && unread_.empty())
            risk.reason = QStringLiteral("The folder ") + top_.fileName
                + QStringLiteral(" is empty now; the disk it was catalogued from may not be mounted.");
        else if (risk.removed * 2 > risk.records)
            risk.reason = QStringLiteral("Most of what was catalogued from ") + top_.fileName
                + QStringLiteral(" is not there now.");
    }
    if (risk.risky()) {
        std::unordered_set<std::string> keys;
        plannedRemovals(&keys);
        risk.notes = notesOn(db_, keys);
    }
    return risk;
}

bool ScanUpdate::confirmRisk()
{
    const UpdateRisk risk = judge();
    allowedRemovals_ = risk.removed;
    if (!risk.risky() || (confirm_ && confirm_(risk)))
        return true;
    refused_ = true;
    failure_ = riskText(risk) + QStringLiteral(" Nothing was changed.");
    return false;
}

void ScanUpdate::recheckRemovals()
{
    // Read again in the write transaction: another writer changed the table
    // since the user was asked. More to remove than was agreed, and most of
    // the scan, is not done without asking again.
    const std::int64_t removed = plannedRemovals(nullptr);
    if (removed <= allowedRemovals_ || removed * 2 <= scanRecords())
        return;
    refused_ = true;
    UpdateRisk risk;
    risk.removed = removed;
    risk.reason = QStringLiteral("The catalogue changed while ") + top_.fileName
        + QStringLiteral(" was being walked, and most of it is not there now.");
    throw Refused {riskText(risk) + QStringLiteral(" Nothing was changed.")};
}

bool ScanUpdate::unread(const std::string& path) const
{
    // An entry the walk could not read may still be there: its records stay,
    // and so do the records of everything below it.
    if (unread_.empty())
        return false;
    std::string_view p(path);
    if (p.size() > 1 && p.back() == '/')
        p.remove_suffix(1);
    for (;;) {
        if (unread_.count(std::string(p)))
            return true;
        const size_t slash = p.rfind('/');
        if (slash == std::string_view::npos)
            return false;
        if (slash == 0)
            return unread_.count("/") > 0;
        p = p.substr(0, slash);
    }
}

} // namespace qm
