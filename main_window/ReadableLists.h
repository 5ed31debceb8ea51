#pragma once
// The main window's two report lists made easy to read and use: a click on a
// header sorts, the selected rows copy as text, a cell too narrow for its
// text shows all of it as a tooltip.
#include <QTreeWidgetItem>

#include <cstdint>

class QTreeWidget;

namespace qm {

// A listed record. Sorted by its size column it orders by bytes, by its
// number column by value, by any other column by text as people read it
// (letter case aside, digits by their value). Sorting moves rows; what each
// row says, its number included, stays.
class ListRow : public QTreeWidgetItem {
public:
    ListRow(const QStringList& cells, int sizeColumn, int numberColumn = -1);
    bool operator<(const QTreeWidgetItem& other) const override;

private:
    int sizeColumn_;
    int numberColumn_;
    std::uint64_t bytes_;
    double number_;
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
