// SPDX-License-Identifier: GPL-3.0-or-later
#include "main_window/ReadableLists.h"

#include "platform/Numbers.h"
#include "platform/Clipboard.h"

#include <QAction>
#include <QCollator>
#include <QHeaderView>
#include <QHelpEvent>
#include <QStyle>
#include <QToolTip>
#include <QTreeWidget>

namespace qm {
namespace {

// The room an item view leaves around a cell's text.
int textMargins(const QWidget& list)
{
    return 2 * (list.style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, &list) + 1);
}

// Shows a cell's whole text where the column cuts it off.
class CellTips : public QObject {
public:
    explicit CellTips(QTreeWidget* list)
        : QObject(list)
        , list_(list)
    {
        list->viewport()->installEventFilter(this);
    }

    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() != QEvent::ToolTip)
            return false;
        const auto* help = static_cast<QHelpEvent*>(event);
        const QModelIndex index = list_->indexAt(help->pos());
        const QString text = index.data().toString();
        const QRect cell = list_->visualRect(index);
        if (index.isValid()
            && list_->fontMetrics().horizontalAdvance(text) + textMargins(*list_) > cell.width())
            QToolTip::showText(help->globalPos(), text, list_->viewport(), cell);
        else
            QToolTip::hideText();
        return true;
    }

private:
    QTreeWidget* list_;
};

// Gives the columns their base widths plus a share of the list's extra width.
class ColumnGrowth : public QObject {
public:
    ColumnGrowth(QTreeWidget* list, const QList<int>& columns)
        : QObject(list)
        , list_(list)
        , columns_(columns)
        , baseListWidth_(list->width())
    {
        for (int c : columns)
            base_ << list->columnWidth(c);
        list->installEventFilter(this);
        connect(list->header(), &QHeaderView::sectionResized, this, [this](int column, int, int width) {
            if (const qsizetype i = columns_.indexOf(column); i >= 0 && !applying_)
                base_[i] = width - share(i);
        });
        apply();
    }

    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Resize)
            apply();
        return false;
    }

private:
    int share(qsizetype i) const
    {
        const int extra = std::max(0, list_->width() - baseListWidth_);
        const auto n = static_cast<int>(columns_.size());
        // The first columns take what does not divide evenly.
        return extra / n + (i < extra % n ? 1 : 0);
    }

    void apply()
    {
        applying_ = true;
        for (qsizetype i = 0; i < columns_.size(); ++i)
            list_->setColumnWidth(columns_[i], base_[i] + share(i));
        applying_ = false;
    }

    QTreeWidget* list_;
    QList<int> columns_;
    QList<int> base_;
    int baseListWidth_;
    bool applying_ = false;
};

} // namespace

ListRow::ListRow(const QStringList& cells, int sizeColumn, int numberColumn)
    : cells_(cells)
    , sizeColumn_(sizeColumn)
    , numberColumn_(numberColumn)
    , number_(numberColumn >= 0 ? numericValue(cells.value(numberColumn)) : 0)
{
}

ListRow::ListRow(const QStringList& cells, int sizeColumn, int numberColumn, double number, qlonglong serial)
    : cells_(cells)
    , sizeColumn_(sizeColumn)
    , numberColumn_(numberColumn)
    , number_(number)
    , serial_(serial)
{
}

QVariant ListRow::data(int column, int role) const
{
    // What is set on the item itself wins; the rest is answered when asked
    // rather than stored in every row.
    if (QVariant set = QTreeWidgetItem::data(column, role); set.isValid())
        return set;
    if ((role == Qt::DisplayRole || role == Qt::EditRole) && column >= 0 && column < cells_.size())
        return cells_.at(column);
    if (role == Qt::TextAlignmentRole && column == sizeColumn_)
        return QVariant(int(Qt::AlignRight | Qt::AlignVCenter));
    if (role == Qt::UserRole && column == 0 && serial_)
        return QVariant::fromValue<qlonglong>(*serial_);
    return {};
}

std::uint64_t ListRow::bytes() const
{
    if (!bytes_)
        bytes_ = bytesOfSizeText(text(sizeColumn_));
    return *bytes_;
}

bool ListRow::operator<(const QTreeWidgetItem& other) const
{
    const int column = treeWidget() ? treeWidget()->sortColumn() : 0;
    if (const auto* row = dynamic_cast<const ListRow*>(&other)) {
        if (column == sizeColumn_)
            return bytes() < row->bytes();
        if (column == numberColumn_)
            return number_ < row->number_;
    }
    static const QCollator collator = [] {
        QCollator c;
        c.setCaseSensitivity(Qt::CaseInsensitive);
        c.setNumericMode(true);
        return c;
    }();
    return collator.compare(text(column), other.text(column)) < 0;
}

void makeReadable(QTreeWidget* list)
{
    // The list sorts itself once a header is clicked and again after each
    // new listing; until then the listing order stands. (A view left to sort
    // by itself puts new rows in one at a time, and in reverse before a
    // column is chosen.)
    QHeaderView* header = list->header();
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(true);
    header->setSortIndicator(-1, Qt::AscendingOrder);
    auto sort = [list] {
        if (const int column = list->header()->sortIndicatorSection(); column >= 0)
            list->sortItems(column, list->header()->sortIndicatorOrder());
    };
    QObject::connect(header, &QHeaderView::sortIndicatorChanged, list, sort);
    QObject::connect(list->model(), &QAbstractItemModel::rowsInserted, list, sort);
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);

    auto* copy = new QAction(QStringLiteral("Copy &selected rows"), list);
    copy->setObjectName(QStringLiteral("CopyRows"));
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WidgetShortcut);
    QObject::connect(copy, &QAction::triggered, list, [list] {
        if (const QString text = selectedRowsText(*list); !text.isEmpty())
            clipboard().SetText(text);
    });
    list->addAction(copy);
    list->setContextMenuPolicy(Qt::ActionsContextMenu);

    new CellTips(list);
}

void fitColumnTo(QTreeWidget* list, int column, const QString& sample)
{
    const int needed = list->fontMetrics().horizontalAdvance(sample) + textMargins(*list);
    if (list->columnWidth(column) < needed)
        list->setColumnWidth(column, needed);
}

void shareExtraWidth(QTreeWidget* list, const QList<int>& columns)
{
    new ColumnGrowth(list, columns);
}

QString selectedRowsText(const QTreeWidget& list)
{
    QStringList lines;
    for (int i = 0; i < list.topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = list.topLevelItem(i);
        if (!item->isSelected())
            continue;
        QStringList cells;
        for (int c = 0; c < list.columnCount(); ++c)
            cells << item->text(c);
        lines << cells.join(u'\t');
    }
    return lines.join(u'\n');
}

} // namespace qm
