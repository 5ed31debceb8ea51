// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where a scan's space went: its folders as a squarified treemap, coloured
// by file type, and its 100 biggest files and folders, drawn from the
// catalogue alone, so the disk may be on its shelf.
#include "catalog/Treemap.h"

#include <QWidget>

#include <vector>

class QLabel;
class QPushButton;
class QTreeWidget;

namespace qm {

// The picture. A click on a folder goes into it; a right click, Backspace
// or back() goes up again. The tooltip tells the path and size of what is
// under the pointer.
class TreemapView : public QWidget {
    Q_OBJECT
public:
    explicit TreemapView(QWidget* parent = nullptr);
    void setTree(TreemapTree tree);
    const TreemapTree& tree() const { return tree_; }
    int root() const { return root_; }
    // Shows folder `entry` (an index of the tree) filling the picture.
    void enter(int entry);
    // Back to the folder shown before; false at the top.
    bool back();
    // The deepest tile at `point`, -1 when none; and the tile of the shown
    // folder's own child under it (the folder a click goes into).
    int entryAt(const QPointF& point) const;
    int childAt(const QPointF& point) const;
    const std::vector<TreemapTile>& tiles();
    // The colour of a file named `name`: one for each extension, the same on
    // every run; folders are grey.
    static QColor colourOf(const QString& name, bool folder);

signals:
    void rootChanged(int entry);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool event(QEvent* event) override;

private:
    TreemapTree tree_;
    int root_ = 0;
    std::vector<int> history_;
    std::vector<TreemapTile> tiles_;
    bool laidOut_ = false;
};

// The window: the picture with a Back button and the path shown, beside the
// list of the biggest entries (a double click on a folder shows it).
class TreemapWindow : public QWidget {
    Q_OBJECT
public:
    // Reads scan `topKey` of `catalogue` from the store at `store`. Throws
    // SQLite::Exception.
    TreemapWindow(const QString& store, const QString& catalogue, const QString& topKey, QWidget* parent = nullptr);
    TreemapView* view = nullptr;
    QPushButton* backButton = nullptr;
    QLabel* pathLabel = nullptr;
    QTreeWidget* biggest = nullptr;

private:
    void showRoot(int entry);
};

} // namespace qm
