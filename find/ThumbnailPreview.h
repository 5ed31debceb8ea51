// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Find window's preview of the current hit: the thumbnail the catalogue
// keeps of it, read from the store alone, so it shows with the disk
// unplugged. Beside the results; it moves none of the window's controls.
#include <QLabel>

#include <cstdint>
#include <memory>

namespace SQLite {
class Database;
}

namespace qm::find {

class ThumbnailPreview : public QLabel {
public:
    // Reads the store at `storePath` through a connection of its own, opened
    // when first needed.
    ThumbnailPreview(const QString& storePath, QWidget* parent = nullptr);
    ~ThumbnailPreview() override;

    // Shows the thumbnail of the record `srNo`, or says there is none.
    void showRecord(std::int64_t srNo, const QString& name);
    // Shows nothing: no hit is current.
    void clearPreview();
    // Whether a thumbnail is shown now.
    bool showsThumbnail() const { return shows_; }

private:
    QString storePath_;
    std::shared_ptr<SQLite::Database> db_;
    bool shows_ = false;
};

} // namespace qm::find
