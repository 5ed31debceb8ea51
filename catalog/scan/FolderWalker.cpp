// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/scan/FolderWalker.h"

#include "catalog/scan/ScanPipeline.h"
#include "catalog/scan/ScanTexts.h"

#include <cerrno>

namespace qm {
namespace {

bool isDotOrDotDot(const char* name)
{
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

} // namespace

void FolderWalker::walk(std::unique_ptr<Folder> folder, const std::string& path, ScanPipeline& pipeline)
{
    pipeline_ = &pipeline;
    path_ = path;
    failure_.clear();
    unlisted_.assign(1, 0);
    if (!filling_) {
        filling_ = std::make_unique<ScanBatch>();
        filling_->items.reserve(kRowsPerBatch + kRowsPerBatch / 8);
        filling_->text.reserve(kRowsPerBatch * 96);
    }
    try {
        try {
            list(*folder, true);
        } catch (const Stop&) {
        } catch (const std::exception& e) {
            failure_ = QString::fromUtf8(e.what());
        }
        folder.reset();
        // Folders left open by a stop end with what was counted, which is
        // what the catalogue now holds of them.
        while (unlisted_.size() > 1)
            close(ScanItem::Close);
        close(ScanItem::End);
        handOn();
    } catch (const std::exception& e) {
        if (failure_.isEmpty())
            failure_ = QString::fromUtf8(e.what());
    }
    pipeline_ = nullptr;
}

void FolderWalker::list(Folder& folder, bool record)
{
    const size_t pathLength = path_.size();
    int error = 0;
    while (const char* name = fs_.next(folder, error)) {
        if (isDotOrDotDot(name))
            continue;
        if (pipeline_->stopping())
            throw Stop {};
        if ((++seen_ & 15) == 0)
            checkProgress();
        const std::string_view nameView(name);
        EntryInfo info;
        if (const int e = fs_.stat(folder, name, info)) {
            // A vanished entry of a hidden folder loses nothing of the catalogue.
            if (record || e != ENOENT)
                skip(nameView, errorText(e));
            continue;
        }
        if (info.kind == EntryKind::Other || info.device != device_)
            continue;
        const bool recorded = record && name[0] != '.';

        if (info.kind == EntryKind::File) {
            if (recorded)
                add(ScanItem::File, nameView, info);
            else
                unlisted_.back() += info.size;
            continue;
        }

        int openError = 0;
        std::unique_ptr<Folder> sub = fs_.open(folder, name, openError);
        if (!sub) {
            if (record || openError != ENOENT)
                skip(nameView, errorText(openError));
            continue;
        }
        if (recorded) {
            add(ScanItem::Folder, nameView, info);
            unlisted_.push_back(0);
        }
        path_.append(nameView);
        path_.push_back('/');
        list(*sub, recorded);
        if (recorded)
            close(ScanItem::Close);
        path_.resize(pathLength);
    }
    if (error != 0)
        skip({}, errorText(error));
}

void FolderWalker::add(ScanItem::Kind kind, std::string_view name, const EntryInfo& info)
{
    if (filling_->records >= rowsPerBatch_)
        handOn();
    ScanBatch& b = *filling_;
    const auto at = static_cast<std::uint32_t>(b.text.size());
    b.text += path_;
    b.text += name;
    if (kind == ScanItem::Folder)
        b.text.push_back('/');
    const auto length = static_cast<std::uint32_t>(b.text.size()) - at;
    b.items.push_back(ScanItem {kind == ScanItem::File ? info.size : 0, info.created, info.modified, at,
        length, static_cast<std::uint32_t>(at + path_.size()), static_cast<std::uint32_t>(name.size()), kind,
        false});
    ++b.records;
}

void FolderWalker::close(ScanItem::Kind kind)
{
    filling_->items.push_back(ScanItem {unlisted_.back(), 0, 0, 0, 0, 0, 0, kind, false});
    unlisted_.pop_back();
}

void FolderWalker::handOn()
{
    if (filling_->items.empty())
        return;
    filling_ = pipeline_->handOn(std::move(filling_));
    if (filling_->items.capacity() == 0) {
        filling_->items.reserve(kRowsPerBatch + kRowsPerBatch / 8);
        filling_->text.reserve(kRowsPerBatch * 96);
    }
}

void FolderWalker::skipFolder(const std::string& path, const QString& reason)
{
    path_ = path;
    skip({}, reason);
}

void FolderWalker::skip(std::string_view name, const QString& reason)
{
    ++skippedCount_;
    if (keepUnread_) {
        std::string unread = path_;
        unread += name;
        if (unread.size() > 1 && unread.back() == '/')
            unread.pop_back();
        unread_.insert(std::move(unread));
    }
    if (static_cast<int>(skipped_.size()) < kSkippedKept)
        skipped_.push_back({displayPath(path_) + displayPath(name), reason});
}

void FolderWalker::checkProgress()
{
    if (!progressOn_)
        return;
    const auto now = std::chrono::steady_clock::now();
    if (now - lastProgress_ < interval_)
        return;
    lastProgress_ = now;
    // The walk waits for the answer, so that a cancel stops it here.
    const bool goOn = pipeline_->askProgress(seen_, displayPath(path_));
    if (pipeline_->stopping())
        throw Stop {};
    if (!goOn) {
        cancelled_ = true;
        throw Stop {};
    }
}

} // namespace qm
