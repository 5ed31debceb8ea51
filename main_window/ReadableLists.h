// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The main window's two report lists made easy to read and use: a click on a
// header sorts, the selected rows copy as text, a cell too narrow for its
// text shows all of it as a tooltip.
#include <QTreeWidgetItem>

#include <cstdint>
#include <optional>

class QTreeWidget;

namespace qm {

// A listed record. Sorted by its size column it orders by bytes, by its
// number column by value, by any other column by text as people read it
// (letter case aside, digits by their value). Sorting moves rows; what each
// row says, its number included, stays. The size column reads right-aligned.
class ListRow : public QTreeWidgetItem {
public:
    ListRow(const QStringList& cells, int sizeColumn, int numberColumn = -1);
    // A numbered record: `number` is the value its number column shows and
    // `serial` (its SrNO, for actions on the listed rows) is its data under
    // Qt::UserRole in column 0. Given as values, neither is parsed back.
    ListRow(const QStringList& cells, int sizeColumn, int numberColumn, double number, qlonglong serial);
    QVariant data(int column, int role) const override;
    bool operator<(const QTreeWidgetItem& other) const override;

private:
    std::uint64_t bytes() const;

    // The cells' texts, answered when asked: a listing of tens of thousands
    // of rows is built far faster than with each text set on the item.
    // A text set on the item later wins.
    QStringList cells_;
    int sizeColumn_;
    int numberColumn_;
    // Read from the size text when a sort first asks: most listings are
    // never sorted by size.
    mutable std::optional<std::uint64_t> bytes_;
    double number_;
    std::optional<qlonglong> serial_;
};

// Rows stay in listing order until a header is clicked; several rows can be
// selected and Ctrl+C copies them; cut-off cells get tooltips.
void makeReadable(QTreeWidget* list);

// Widens `column` when `sample` does not fit its width.
void fitColumnTo(QTreeWidget* list, int column, const QString& sample);

// From now on, as the list grows wider than it is now, `columns` share the
// extra width; a width the user gives a column by hand is kept as its base.
void shareExtraWidth(QTreeWidget* list, const QList<int>& columns);

// The selected rows in the order shown, a line each, cells separated by tabs.
QString selectedRowsText(const QTreeWidget& list);

} // namespace qm
