// SPDX-License-Identifier: GPL-3.0-or-later
#include "main_window/ThumbnailTips.h"

#include "catalog/ThumbnailStore.h"

#include <QEvent>
#include <QHelpEvent>
#include <QToolTip>
#include <QTreeWidget>

#include <SQLiteCpp/Database.h>

namespace qm {
namespace {

class ThumbnailTips : public QObject {
public:
    ThumbnailTips(QTreeWidget* list, std::function<std::shared_ptr<SQLite::Database>()> connection)
        : QObject(list)
        , list_(list)
        , connection_(std::move(connection))
    {
        // Installed after the list's other tooltips, so asked before them.
        list->viewport()->installEventFilter(this);
    }

    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() != QEvent::ToolTip)
            return false;
        const auto* help = static_cast<QHelpEvent*>(event);
        QTreeWidgetItem* item = list_->itemAt(help->pos());
        if (!item)
            return false;
        const QVariant serial = item->data(0, Qt::UserRole);
        if (!serial.isValid())
            return false;
        std::optional<ItemThumbnail> thumbnail;
        try {
            if (const auto db = connection_())
                thumbnail = storedThumbnail(*db, serial.toLongLong());
        } catch (const std::exception&) {
            // A store that cannot tell leaves the row its usual tooltip.
        }
        if (!thumbnail)
            return false;
        const QString tip = thumbnailHtml(*thumbnail) + QStringLiteral("<br>") + item->text(1).toHtmlEscaped();
        QToolTip::showText(help->globalPos(), tip, list_->viewport(), list_->visualItemRect(item));
        return true;
    }

private:
    QTreeWidget* list_;
    std::function<std::shared_ptr<SQLite::Database>()> connection_;
};

} // namespace

void showThumbnailTips(QTreeWidget* list, std::function<std::shared_ptr<SQLite::Database>()> connection)
{
    new ThumbnailTips(list, std::move(connection));
}

} // namespace qm
