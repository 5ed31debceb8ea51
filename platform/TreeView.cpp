// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/TreeView.h"

#include "platform/Numbers.h"
#include "platform/NodeImages.h"
#include "platform/NodeKey.h"

#include <QHeaderView>
#include <QKeyEvent>

namespace qm {

NodeModel::NodeModel(QObject* parent)
    : QAbstractItemModel(parent)
{
}

Node* NodeModel::Add(
    const QString& relative, const QString& key, const QString& text, int image, int selectedImage)
{
    Node* parent = nullptr;
    if (!relative.isEmpty()) {
        parent = find(relative);
        if (!parent)
            throw TreeError("Element not found: no node has the key '" + relative.toStdString() + "'");
    }
    return AddChild(parent, key, text, image, selectedImage);
}

Node* NodeModel::AddChild(Node* parent, const QString& key, const QString& text, int image, int selectedImage)
{
    if (!key.isEmpty() && find(key))
        throw TreeError("Key is not unique in collection: '" + key.toStdString() + "'");
    const auto row = static_cast<int>(parent ? parent->Children.size() : top_.size());
    if (!inBatch())
        beginInsertRows(parent ? indexOf(parent) : QModelIndex(), row, row);
    Node* node = addNode(parent, key, text, image, selectedImage);
    if (!inBatch())
        endInsertRows();
    return node;
}

// Adds a node whose key is known to be free, without telling the view.
Node* NodeModel::addNode(Node* parent, const QString& key, const QString& text, int image, int selectedImage)
{
    // Keys the scan makes are dense numbers: they are looked up by index,
    // which is far cheaper than hashing; other keys go to the hash.
    const std::int64_t number = canonicalKeyNumber(key);
    Node** slot = nullptr;
    if (!key.isEmpty()) {
        const auto denseLimit = static_cast<std::int64_t>(4 * nodes_.size() + 4096);
        if (number >= 0 && number < denseLimit) {
            if (static_cast<size_t>(number) >= byNumber_.size())
                byNumber_.resize(static_cast<size_t>(number) + 1, nullptr);
            slot = &byNumber_[static_cast<size_t>(number)];
        } else {
            slot = &byKey_.try_emplace(key, nullptr).first->second;
        }
    }

    std::vector<Node*>& siblings = parent ? parent->Children : top_;
    Node& node = nodes_.emplace_back();
    node.Key = key;
    node.Text = text;
    node.Image = image;
    node.SelectedImage = selectedImage;
    node.Parent = parent;
    node.Index = static_cast<std::int64_t>(nodes_.size());
    node.row = static_cast<int>(siblings.size());
    Node* raw = &node;
    siblings.push_back(raw);
    if (slot)
        *slot = raw;

    const auto value = number >= 0 ? std::optional<std::int64_t>(number) : nodeKeyValue(key);
    if (!value)
        keysFit_ = false;
    else if (*value > highestKey_ || nodes_.size() == 1)
        highestKey_ = *value;
    return raw;
}

void NodeModel::noteKey(std::int64_t value, bool fits)
{
    if (!fits)
        keysFit_ = false;
    else if (value > highestKey_ || nodes_.empty())
        highestKey_ = value;
}

void NodeModel::setSource(std::unique_ptr<ChildSource> source)
{
    source_ = std::move(source);
}

void NodeModel::fetchChildren(Node* node)
{
    if (!node || !node->unfetched)
        return;
    node->unfetched = false;
    if (source_)
        source_->fetchChildren(*this, node);
}

void NodeModel::appendChildren(Node* parent, const std::vector<NodeSpec>& children, bool unfetched)
{
    // A key another node holds, or one met earlier in the batch, passes the
    // child over, as a whole fill does.
    std::vector<const NodeSpec*> added;
    added.reserve(children.size());
    std::unordered_map<QString, bool, KeyHash> taken;
    for (const NodeSpec& child : children)
        if (child.key.isEmpty() || (!find(child.key) && taken.try_emplace(child.key, true).second))
            added.push_back(&child);
    if (added.empty())
        return;
    const auto first = static_cast<int>(parent ? parent->Children.size() : top_.size());
    if (!inBatch())
        beginInsertRows(
            parent ? indexOf(parent) : QModelIndex(), first, first + static_cast<int>(added.size()) - 1);
    for (const NodeSpec* child : added)
        addNode(parent, child->key, child->text, child->image, child->selectedImage)->unfetched
            = unfetched && child->mayHaveChildren;
    if (!inBatch())
        endInsertRows();
}

Node* NodeModel::reveal(const QString& key)
{
    if (Node* node = reveal(catalogue_, key))
        return node;
    for (const QString& other : otherBranches_)
        if (Node* node = reveal(other, key))
            return node;
    return nullptr;
}

Node* NodeModel::reveal(const QString& catalogue, const QString& key, std::int64_t srNo)
{
    if (Node* node = find(key))
        return node;
    if (!source_)
        return nullptr;
    for (const QString& above : source_->keysDownTo(catalogue, key, srNo)) {
        Node* node = find(above);
        if (!node)
            return nullptr;
        if (above == key)
            return node;
        fetchChildren(node);
    }
    return find(key);
}

void NodeModel::Clear()
{
    if (!inBatch())
        beginResetModel();
    nodes_.clear();
    top_.clear();
    byKey_.clear();
    byNumber_.clear();
    highestKey_ = 0;
    keysFit_ = true;
    catalogue_.clear();
    otherBranches_.clear();
    source_.reset();
    if (!inBatch())
        endResetModel();
}

void NodeModel::setBranchCatalogue(const Node* topLevel, const QString& name)
{
    if (name == catalogue_)
        otherBranches_.remove(topLevel);
    else
        otherBranches_.insert(topLevel, name);
}

const QString& NodeModel::catalogueOf(const Node* node) const
{
    if (otherBranches_.isEmpty() || !node)
        return catalogue_;
    // The branch is named by the node just below the root.
    while (node->Parent && node->Parent->Parent)
        node = node->Parent;
    const auto it = otherBranches_.constFind(node);
    return it == otherBranches_.constEnd() ? catalogue_ : *it;
}

Node* NodeModel::Item(std::int64_t index) const
{
    if (index < 1 || index > Count())
        return nullptr;
    return const_cast<Node*>(&nodes_[static_cast<size_t>(index - 1)]);
}

Node* NodeModel::find(const QString& key) const
{
    const std::int64_t number = canonicalKeyNumber(key);
    if (number >= 0 && static_cast<size_t>(number) < byNumber_.size()
        && byNumber_[static_cast<size_t>(number)])
        return byNumber_[static_cast<size_t>(number)];
    if (byKey_.empty())
        return nullptr;
    const auto it = byKey_.find(key);
    return it == byKey_.end() ? nullptr : it->second;
}

void NodeModel::beginBatch()
{
    if (batch_++ == 0)
        beginResetModel();
}

void NodeModel::endBatch()
{
    if (batch_ > 0 && --batch_ == 0)
        endResetModel();
}

QModelIndex NodeModel::indexOf(const Node* node) const
{
    if (!node)
        return {};
    return createIndex(node->row, 0, const_cast<Node*>(node));
}

Node* NodeModel::nodeAt(const QModelIndex& index) const
{
    return index.isValid() ? static_cast<Node*>(index.internalPointer()) : nullptr;
}

QModelIndex NodeModel::index(int row, int column, const QModelIndex& parent) const
{
    if (column != 0 || row < 0)
        return {};
    const std::vector<Node*>& siblings = parent.isValid() ? nodeAt(parent)->Children : top_;
    if (row >= static_cast<int>(siblings.size()))
        return {};
    return createIndex(row, 0, siblings[static_cast<size_t>(row)]);
}

QModelIndex NodeModel::parent(const QModelIndex& child) const
{
    const Node* node = nodeAt(child);
    return node ? indexOf(node->Parent) : QModelIndex();
}

int NodeModel::rowCount(const QModelIndex& parent) const
{
    if (parent.column() > 0)
        return 0;
    return static_cast<int>(parent.isValid() ? nodeAt(parent)->Children.size() : top_.size());
}

int NodeModel::columnCount(const QModelIndex&) const
{
    return 1;
}

QIcon NodeModel::iconFor(const Node& node) const
{
    const int id = node.Image * 16 + node.SelectedImage;
    auto it = icons_.find(id);
    if (it != icons_.end())
        return *it;
    QIcon icon;
    if (node.Image > 0)
        icon.addPixmap(nodeImage(node.Image), QIcon::Normal);
    if (node.SelectedImage > 0)
        icon.addPixmap(nodeImage(node.SelectedImage), QIcon::Selected);
    else if (node.Image > 0)
        icon.addPixmap(nodeImage(node.Image), QIcon::Selected);
    icons_.insert(id, icon);
    return icon;
}

QVariant NodeModel::data(const QModelIndex& index, int role) const
{
    const Node* node = nodeAt(index);
    if (!node)
        return {};
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return node->Text;
    if (role == Qt::DecorationRole && showImages_ && node->Image > 0)
        return iconFor(*node);
    return {};
}

bool NodeModel::hasChildren(const QModelIndex& parent) const
{
    const Node* node = nodeAt(parent);
    if (!node)
        return !top_.empty();
    if (!node->Children.empty())
        return true;
    if (!node->unfetched || !source_)
        return false;
    if (source_->hasChildren(*this, node))
        return true;
    // Nothing to fetch: the node is complete as it is.
    const_cast<Node*>(node)->unfetched = false;
    return false;
}

bool NodeModel::canFetchMore(const QModelIndex& parent) const
{
    const Node* node = nodeAt(parent);
    return node && node->unfetched && source_;
}

void NodeModel::fetchMore(const QModelIndex& parent)
{
    fetchChildren(nodeAt(parent));
}

TreeView::TreeView(QWidget* parent)
    : QTreeView(parent)
    , model_(new NodeModel(this))
{
    setModel(model_);
    setHeaderHidden(true);
    setUniformRowHeights(true);
    setIconSize(QSize(20, 20));
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    connect(this, &QTreeView::clicked, this,
        [this](const QModelIndex& index) { emit NodeClick(model_->nodeAt(index)); });
    connect(model_, &QAbstractItemModel::modelReset, this, &TreeView::restoreExpansion);
}

Node* TreeView::SelectedItem() const
{
    const QModelIndexList selected = selectionModel()->selectedIndexes();
    return selected.isEmpty() ? nullptr : model_->nodeAt(selected.first());
}

void TreeView::setSelectedItem(Node* node)
{
    const QModelIndex index = model_->indexOf(node);
    setCurrentIndex(index);
    if (!node)
        selectionModel()->clearSelection();
}

void TreeView::Expand(Node* node)
{
    if (!node)
        return;
    model_->fetchChildren(node);
    node->expanded = true;
    if (!model_->inBatch())
        expand(model_->indexOf(node));
}

bool TreeView::isExpanded(const Node* node) const
{
    return node && QTreeView::isExpanded(model_->indexOf(node));
}

void TreeView::restoreExpansion()
{
    for (std::int64_t i = 1; i <= model_->Count(); ++i) {
        Node* n = model_->Item(i);
        if (n->expanded)
            expand(model_->indexOf(n));
    }
}

void TreeView::keyPressEvent(QKeyEvent* event)
{
    const QModelIndex before = currentIndex();
    QTreeView::keyPressEvent(event);
    if (currentIndex() != before && currentIndex().isValid())
        emit NodeClick(model_->nodeAt(currentIndex()));
}

} // namespace qm
