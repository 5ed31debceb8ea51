// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The tree editor: a second catalogue tree over its own connection, the
// fields of the clicked node's record in editable bound boxes beside a
// visible data control, and a name of its own to save into dbase.name.
#include <QPointer>
#include <QString>
#include <QWidget>

#include <cstdint>

class QLabel;
class QLineEdit;
class QPushButton;

namespace qm {

class DataControl;
class TreeView;
struct Node;

class frmTree : public QWidget {
    Q_OBJECT
public:
    explicit frmTree(QWidget* parent = nullptr);
    ~frmTree() override;

    // The open window, or nullptr when none is open.
    static frmTree* current();
    // Brings the open window forward, or creates, loads and shows a new one.
    // nullptr when the window could not open its store (the user was told).
    static frmTree* showWindow();

    // --- controls, by their designer names ---
    DataControl* Adodc1 = nullptr;
    TreeView* TreeView1 = nullptr;
    QLabel* Label1 = nullptr;
    QLineEdit* Text3 = nullptr; // file_name
    QLabel* Label2 = nullptr;
    QLineEdit* Text4 = nullptr; // path
    QLabel* Label3 = nullptr;
    QLineEdit* Text5 = nullptr; // size
    QLabel* Label4 = nullptr;
    QLineEdit* Text6 = nullptr; // date
    QLabel* Label7 = nullptr;
    QLineEdit* Text8 = nullptr; // the name to save, not bound
    QPushButton* Command2 = nullptr; // Open
    QPushButton* Command1 = nullptr; // Save database
    QLabel* Label5 = nullptr;
    QLineEdit* Text1 = nullptr; // ID
    QLabel* Label6 = nullptr;
    QLineEdit* Text2 = nullptr; // Parent
    QLabel* Label8 = nullptr;
    QLineEdit* Text7 = nullptr; // dbaseName

    // The catalogue the tree was last built for.
    QString shownDatabaseName() const { return shownDatabaseName_; }

    // --- handlers ---
    // Opens the data control when it is not open yet and builds the tree for
    // the catalogue named in dbase.name. False when the store cannot be opened.
    bool Form_Load();
    void TreeView1_NodeClick(Node* node);
    void Command1_Click(); // Save database
    void Command2_Click(); // Open
    void Form_Unload();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildControls();
    void buildTree();
    // Stores what the boxes hold into the current record, if anything changed.
    void storePendingEdit();

    QString shownDatabaseName_;
    bool unloaded_ = false;
};

} // namespace qm
