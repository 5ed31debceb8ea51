// SPDX-License-Identifier: GPL-3.0-or-later
#include "main_window/TreemapView.h"

#include "platform/Numbers.h"
#include "platform/Recordset.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QSplitter>
#include <QToolTip>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <SQLiteCpp/Database.h>

namespace qm {

TreemapView::TreemapView(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("treemap"));
    setMinimumSize(200, 150);
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(false);
}

void TreemapView::setTree(TreemapTree tree)
{
    tree_ = std::move(tree);
    root_ = 0;
    history_.clear();
    laidOut_ = false;
    update();
    emit rootChanged(root_);
}

void TreemapView::enter(int entry)
{
    if (entry < 0 || static_cast<size_t>(entry) >= tree_.entries.size() || !tree_.entries[static_cast<size_t>(entry)].folder
        || entry == root_)
        return;
    history_.push_back(root_);
    root_ = entry;
    laidOut_ = false;
    update();
    emit rootChanged(root_);
}

bool TreemapView::back()
{
    if (history_.empty())
        return false;
    root_ = history_.back();
    history_.pop_back();
    laidOut_ = false;
    update();
    emit rootChanged(root_);
    return true;
}

const std::vector<TreemapTile>& TreemapView::tiles()
{
    if (!laidOut_) {
        tiles_ = tree_.empty() ? std::vector<TreemapTile>() : layoutTreemap(tree_, root_, QRectF(rect()));
        laidOut_ = true;
    }
    return tiles_;
}

int TreemapView::entryAt(const QPointF& point) const
{
    // Children come after their parents: the last tile holding the point
    // is the deepest.
    for (auto it = tiles_.rbegin(); it != tiles_.rend(); ++it)
        if (it->rect.contains(point))
            return it->entry;
    return -1;
}

int TreemapView::childAt(const QPointF& point) const
{
    for (const TreemapTile& t : tiles_)
        if (t.depth == 0 && t.rect.contains(point))
            return t.entry;
    return -1;
}

QColor TreemapView::colourOf(const QString& name, bool folder)
{
    if (folder)
        return QColor(200, 200, 200);
    const qsizetype dot = name.lastIndexOf(u'.');
    const QString ext = dot > 0 ? name.mid(dot + 1).toLower() : QString();
    if (ext.isEmpty())
        return QColor(150, 150, 150);
    // FNV-1a of the extension: a hue that is the same on every run.
    quint32 hash = 2166136261u;
    for (const QChar c : ext) {
        hash ^= c.unicode();
        hash *= 16777619u;
    }
    return QColor::fromHsv(static_cast<int>(hash % 360), 140 + static_cast<int>((hash >> 9) % 80), 230);
}

void TreemapView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), palette().window());
    if (tree_.empty()) {
        p.drawText(rect(), Qt::AlignCenter, QStringLiteral("The scan holds no records."));
        return;
    }
    const QPen edge(QColor(60, 60, 60));
    p.setPen(edge);
    for (const TreemapTile& t : tiles()) {
        const TreemapTree::Entry& e = tree_.entries[static_cast<size_t>(t.entry)];
        QColor fill = colourOf(e.name, e.folder);
        if (e.folder)
            fill = fill.darker(100 + 8 * std::min(t.depth, 8));
        if (t.rect.width() < 3 || t.rect.height() < 3)
            p.fillRect(t.rect, fill);
        else {
            p.setBrush(fill);
            p.drawRect(t.rect);
        }
        if (t.depth == 0 && t.rect.width() > 60 && t.rect.height() > 16)
            p.drawText(t.rect.adjusted(3, 1, -3, -1), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                p.fontMetrics().elidedText(e.name, Qt::ElideRight, static_cast<int>(t.rect.width()) - 6));
    }
}

void TreemapView::resizeEvent(QResizeEvent* event)
{
    laidOut_ = false;
    QWidget::resizeEvent(event);
}

void TreemapView::mouseReleaseEvent(QMouseEvent* event)
{
    tiles();
    if (event->button() == Qt::LeftButton)
        enter(childAt(event->position()));
    else if (event->button() == Qt::RightButton || event->button() == Qt::BackButton)
        back();
}

void TreemapView::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Backspace)
        back();
    else
        QWidget::keyPressEvent(event);
}

bool TreemapView::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        tiles();
        const int entry = entryAt(help->pos());
        if (entry < 0) {
            QToolTip::hideText();
            event->ignore();
        } else {
            const auto& e = tree_.entries[static_cast<size_t>(entry)];
            QToolTip::showText(help->globalPos(), tree_.pathOf(entry) + u'\n' + readableSize(static_cast<std::uint64_t>(e.bytes)), this);
        }
        return true;
    }
    return QWidget::event(event);
}

TreemapWindow::TreemapWindow(const QString& store, const QString& catalogue, const QString& topKey, QWidget* parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("TreemapWindow"));
    auto db = openConnection(store);
    TreemapTree tree = readScanTree(*db, catalogue, topKey);
    setWindowTitle(QStringLiteral("Where the space went: ") + (tree.topPath.isEmpty() ? topKey : tree.topPath));

    view = new TreemapView(this);
    backButton = new QPushButton(QStringLiteral("&Back"), this);
    backButton->setObjectName(QStringLiteral("backButton"));
    pathLabel = new QLabel(this);
    pathLabel->setObjectName(QStringLiteral("pathLabel"));
    pathLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    biggest = new QTreeWidget(this);
    biggest->setObjectName(QStringLiteral("biggest"));
    biggest->setHeaderLabels({QStringLiteral("Biggest files and folders"), QStringLiteral("Size")});
    biggest->setRootIsDecorated(false);
    biggest->header()->setSectionResizeMode(0, QHeaderView::Stretch);

    auto* top = new QHBoxLayout;
    top->addWidget(backButton);
    top->addWidget(pathLabel, 1);
    auto* left = new QWidget(this);
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    leftLayout->addLayout(top);
    leftLayout->addWidget(view, 1);
    auto* split = new QSplitter(this);
    split->addWidget(left);
    split->addWidget(biggest);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(split);
    resize(1000, 640);

    QList<QTreeWidgetItem*> items;
    for (const int entry : biggestEntries(tree, 100)) {
        const auto& e = tree.entries[static_cast<size_t>(entry)];
        auto* item = new QTreeWidgetItem({tree.pathOf(entry), readableSize(static_cast<std::uint64_t>(e.bytes))});
        item->setData(0, Qt::UserRole, entry);
        item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
        items << item;
    }
    biggest->addTopLevelItems(items);

    connect(view, &TreemapView::rootChanged, this, &TreemapWindow::showRoot);
    connect(backButton, &QPushButton::clicked, view, [this] { view->back(); });
    connect(biggest, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) {
        const int entry = item->data(0, Qt::UserRole).toInt();
        const auto& e = view->tree().entries[static_cast<size_t>(entry)];
        view->enter(e.folder ? entry : e.parent);
    });
    view->setTree(std::move(tree));
}

void TreemapWindow::showRoot(int entry)
{
    const TreemapTree& tree = view->tree();
    backButton->setEnabled(entry != 0);
    if (tree.empty()) {
        pathLabel->clear();
        return;
    }
    pathLabel->setText(tree.pathOf(entry) + QStringLiteral("  ")
        + readableSize(static_cast<std::uint64_t>(tree.entries[static_cast<size_t>(entry)].bytes)));
}

} // namespace qm
