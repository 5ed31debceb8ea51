// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The catalogue tree: a node collection with keys, texts, images, parents and
// insertion order, shown through a QTreeView.
#include "platform/NodeKey.h"

#include <QAbstractItemModel>
#include <QHash>
#include <QIcon>
#include <QTreeView>

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace qm {

// The tree refused a node (duplicate key, unknown relative).
class TreeError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct Node {
    QString Key;
    QString Text;
    int Image = 0; // 1-based index into the image list; 0 for none
    int SelectedImage = 0; // likewise
    Node* Parent = nullptr;
    std::vector<Node*> Children;
    std::int64_t Index = 0; // 1-based, in the order nodes were added
    int row = 0; // position among its parent's children
    bool expanded = false;
    // Its children are still in the store: the model's source adds them when
    // the node is opened or reached.
    bool unfetched = false;
};

class NodeModel;

// Where a lazily built tree finds the children of a node it has not filled.
class ChildSource {
public:
    virtual ~ChildSource() = default;
    // Adds the node's children through NodeModel::appendChildren.
    virtual void fetchChildren(NodeModel& nodes, Node* parent) = 0;
    // Whether fetching would add any child, without adding them.
    virtual bool hasChildren(const NodeModel& nodes, const Node* parent) = 0;
    // The keys from a top-level record down to the record keyed `key` of the
    // catalogue, itself last; empty when no record places it. `srNo`, when
    // not 0, names that record and lets its path lead the way down.
    virtual std::vector<QString> keysDownTo(const QString& catalogue, const QString& key, std::int64_t srNo) = 0;
};

// A child about to be added in one insertion.
struct NodeSpec {
    QString key;
    QString text;
    int image = 0;
    int selectedImage = 0;
    bool mayHaveChildren = true; // false when the store holds no child record of it
};

class NodeModel : public QAbstractItemModel {
    Q_OBJECT
public:
    explicit NodeModel(QObject* parent = nullptr);

    // Adds a node as the last child of the node keyed `relative` (top level
    // when `relative` is empty). Throws TreeError when the key is taken or the
    // relative is unknown.
    Node* Add(const QString& relative, const QString& key, const QString& text, int image = 0,
        int selectedImage = 0);
    // The same below a node already at hand (nullptr for the top level).
    Node* AddChild(
        Node* parent, const QString& key, const QString& text, int image = 0, int selectedImage = 0);
    void Clear();
    std::int64_t Count() const { return static_cast<std::int64_t>(nodes_.size()); }
    Node* Item(std::int64_t index) const; // 1-based; nullptr when out of range
    Node* find(const QString& key) const;

    // The highest numeric key value among all nodes (rounded, halves to even);
    // `false` when some key does not fit a 64-bit number. A lazily built tree
    // counts the nodes it has not fetched through noteKey.
    std::int64_t highestKeyValue() const { return highestKey_; }
    bool keysFit() const { return keysFit_; }
    void noteKey(std::int64_t value, bool fits = true);

    // A lazily built tree: nodes marked unfetched get their children from the
    // source when opened, reached by `reveal`, or asked through fetchChildren.
    void setSource(std::unique_ptr<ChildSource> source);
    ChildSource* source() const { return source_.get(); }
    void fetchChildren(Node* node);
    // Adds the children in one insertion; with `unfetched`, those that may
    // have children of their own leave them in the store.
    void appendChildren(Node* parent, const std::vector<NodeSpec>& children, bool unfetched);
    // The node keyed `key` of `catalogue`, fetching the branches above it;
    // nullptr when the tree does not place it.
    // With the record's SrNO (`srNo`) the way down is found quickly.
    Node* reveal(const QString& catalogue, const QString& key, std::int64_t srNo = 0);
    // The same in the tree's catalogue, then in the other branches' ones.
    Node* reveal(const QString& key);

    // Many adds as one change: the view is reset once at the end.
    void beginBatch();
    void endBatch();
    bool inBatch() const { return batch_ > 0; }

    void setShowImages(bool show) { showImages_ = show; }

    // The catalogue the tree was built for. A top-level folder that a scan
    // added under another catalogue's name carries that name for its whole
    // branch; `catalogueOf` tells whose records a node stands for.
    const QString& catalogue() const { return catalogue_; }
    void setCatalogue(const QString& name) { catalogue_ = name; }
    void setBranchCatalogue(const Node* topLevel, const QString& name);
    const QString& catalogueOf(const Node* node) const;
    // The top-level folders whose branch belongs to another catalogue.
    const QHash<const Node*, QString>& otherBranches() const { return otherBranches_; }

    QModelIndex indexOf(const Node* node) const;
    Node* nodeAt(const QModelIndex& index) const;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;

private:
    QIcon iconFor(const Node& node) const;
    Node* addNode(Node* parent, const QString& key, const QString& text, int image, int selectedImage);

    std::deque<Node> nodes_; // stable addresses, one allocation per block
    std::vector<Node*> top_;
    // Keys are short digit strings; a plain string hash is several times
    // cheaper than Qt's seeded one on a scan of many thousand nodes.
    struct KeyHash {
        size_t operator()(const QString& key) const noexcept
        {
            return std::hash<std::u16string_view>()(std::u16string_view(
                reinterpret_cast<const char16_t*>(key.utf16()), static_cast<size_t>(key.size())));
        }
    };
    std::unordered_map<QString, Node*, KeyHash> byKey_;
    std::vector<Node*> byNumber_; // nodes by the number of a "123>" key
    std::int64_t highestKey_ = 0;
    bool keysFit_ = true;
    int batch_ = 0;
    bool showImages_ = true;
    QString catalogue_;
    QHash<const Node*, QString> otherBranches_;
    mutable QHash<int, QIcon> icons_;
    std::unique_ptr<ChildSource> source_;
};

class TreeView : public QTreeView {
    Q_OBJECT
public:
    explicit TreeView(QWidget* parent = nullptr);

    NodeModel& Nodes() { return *model_; }
    const NodeModel& Nodes() const { return *model_; }

    Node* SelectedItem() const;
    void setSelectedItem(Node* node);
    void Expand(Node* node);
    bool isExpanded(const Node* node) const;

    // Expands what the collection marks as expanded; run after a batch.
    void restoreExpansion();

signals:
    // A node was clicked or reached with the keyboard.
    void NodeClick(qm::Node* node);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    NodeModel* model_;
};

} // namespace qm
