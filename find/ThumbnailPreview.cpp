// SPDX-License-Identifier: GPL-3.0-or-later
#include "find/ThumbnailPreview.h"

#include "catalog/ThumbnailStore.h"
#include "platform/Recordset.h"

#include <QPixmap>

#include <SQLiteCpp/Database.h>

namespace qm::find {

ThumbnailPreview::ThumbnailPreview(const QString& storePath, QWidget* parent)
    : QLabel(parent)
    , storePath_(storePath)
{
    setObjectName(QStringLiteral("thumbnailPreview"));
    const int side = Thumbnails::kSide + 8;
    setFixedWidth(side);
    setMinimumHeight(side);
    setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    setWordWrap(true);
    setEnabled(false); // grey text; the picture shows as it is
}

ThumbnailPreview::~ThumbnailPreview() = default;

void ThumbnailPreview::clearPreview()
{
    shows_ = false;
    clear();
}

void ThumbnailPreview::showRecord(std::int64_t srNo, const QString& name)
{
    shows_ = false;
    std::optional<ItemThumbnail> thumbnail;
    QString why = QStringLiteral("No thumbnail of ") + name;
    try {
        if (!db_)
            db_ = openConnection(storePath_);
        thumbnail = storedThumbnail(*db_, srNo);
    } catch (const std::exception& e) {
        // The results stay usable; the preview says why it shows nothing.
        db_.reset();
        why = QStringLiteral("The thumbnail cannot be read: ") + QString::fromUtf8(e.what());
    }
    QPixmap picture;
    if (thumbnail && picture.loadFromData(thumbnail->image, "JPEG")) {
        setEnabled(true);
        setPixmap(picture);
        setToolTip(name);
        shows_ = true;
        return;
    }
    setEnabled(false);
    setText(why);
    setToolTip(QString());
}

} // namespace qm::find
