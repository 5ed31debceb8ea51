// SPDX-License-Identifier: GPL-3.0-or-later
// The update's comparing: each entry the walk found against the record of
// its path, as soon as the records read beside the walk are there.
#include "catalog/update/ScanUpdate.h"

#include "platform/Numbers.h"

#include <chrono>

namespace qm {

void ScanUpdate::adoptLoaded(bool wait)
{
    if (adopted_ || !loaded_.valid()
        || (!wait && loaded_.wait_for(std::chrono::seconds(0)) != std::future_status::ready))
        return;
    adopted_ = true;
    try {
        scan_ = loaded_.get();
    } catch (const std::exception&) {
        return; // read in the write transaction instead
    }
    compareAll();
}

void ScanUpdate::compareAll()
{
    for (Entry& e : entries_)
        if (e.sized)
            compare(e);
}

void ScanUpdate::compare(Entry& e)
{
    e.record = nullptr;
    e.differs = e.rewrite = e.moved = false;
    if (e.inArchive != 0)
        return; // nothing stored is compared with a member: an archive listed again has all new ones
    const auto found = scan_->byPath.find(e.path);
    if (found == scan_->byPath.end() || scan_->records[found->second].matched)
        return; // a new entry
    Stored& s = scan_->records[found->second];
    s.matched = true;
    e.record = &s;
    formatTexts(e);
    const auto bytes = static_cast<std::int64_t>(e.info.size);
    e.differs = s.size != size_ || s.date != date_ || (s.bytes && *s.bytes != bytes)
        || (s.modified && *s.modified != e.info.modified);
    // Numbers an older store could not give are filled in quietly.
    e.rewrite = e.differs || !s.bytes || !s.created || !s.modified || *s.created != e.info.created;
}

void ScanUpdate::formatTexts(const Entry& e)
{
    size_.clear();
    appendSizeText(e.info.size, size_);
    dates_.format(e.info.created, date_);
}

} // namespace qm
