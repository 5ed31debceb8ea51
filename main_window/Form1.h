// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The main window: folder picking, the catalogue tree, the two file lists,
// the catalogue buttons, the category boxes and the menu.
#include "platform/MessageBox.h"
#include "platform/Twips.h"

#include <QMainWindow>
#include <QPointer>

#include <cstdint>
#include <exception>

class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace qm {

class DataControl;
class ReadOptions;
class DirListBox;
class DriveListBox;
class FileListBox;
class GrowingClient;
class StatusReport;
class TreeView;
struct Node;

class Form1 : public QMainWindow {
    Q_OBJECT
public:
    explicit Form1(QWidget* parent = nullptr);
    ~Form1() override;

    // Runs start-up; false when the window could not open its store (told in
    // a message): the program then ends without showing it.
    bool Form_Load();

    // --- controls, by their designer names ---
    DriveListBox* Drive1 = nullptr;
    DirListBox* Dir1 = nullptr;
    FileListBox* File1 = nullptr;
    QLabel* Label1 = nullptr;
    TreeView* TreeView1 = nullptr;
    QLabel* Label2 = nullptr;
    QTreeWidget* ListView2 = nullptr;
    QLabel* Label3 = nullptr;
    QTreeWidget* ListView1 = nullptr;
    DataControl* Adodc1 = nullptr;
    QLineEdit* Text1 = nullptr; // ID
    QLineEdit* Text2 = nullptr; // Parent
    QLineEdit* Text3 = nullptr; // dbaseName
    QLineEdit* Text4 = nullptr; // file_name
    QLineEdit* Text5 = nullptr; // path
    QLineEdit* Text6 = nullptr; // size
    QLineEdit* Text7 = nullptr; // date
    QLineEdit* Text9 = nullptr; // delKey
    QLabel* Label4 = nullptr;
    QLineEdit* Text8 = nullptr; // a NameBox
    QPushButton* Command2 = nullptr; // Add Folder
    QPushButton* Command7 = nullptr; // Delete Folder
    QPushButton* Command5 = nullptr; // Open Database
    QPushButton* Command1 = nullptr; // Add new database
    QPushButton* Command3 = nullptr; // Save to database
    QPushButton* Command6 = nullptr; // Edit
    QPushButton* Command4 = nullptr; // Clear Database, never enabled
    QPushButton* UpdateFolder = nullptr; // beside the designed buttons
    QCheckBox* Check1 = nullptr;
    QCheckBox* Check2 = nullptr;
    QCheckBox* Check3 = nullptr;
    QCheckBox* Check4 = nullptr;

    QMenu* File = nullptr;
    QAction* Find = nullptr;
    QAction* Disks = nullptr; // beside the designed items: the Disks window
    QAction* Tree = nullptr;
    QAction* Report = nullptr;
    QAction* Exit = nullptr;
    QMenu* edit = nullptr;
    QAction* Project = nullptr;
    QAction* Multimedia = nullptr;
    QAction* Document = nullptr;
    QAction* InstallNUpdate = nullptr;
    QAction* About = nullptr;
    QAction* FingerprintContents = nullptr;
    QAction* Duplicates = nullptr;
    QAction* SpaceWent = nullptr;

    // The name "Add Folder" stamps into new records.
    QString currentDatabaseName() const { return currentDatabaseName_; }
    void setCurrentDatabaseName(const QString& name) { currentDatabaseName_ = name; }
    // The catalogue the tree was last built for: the name LoadTree read, or
    // the name "Add new database" started.
    QString shownDatabaseName() const;

    // --- handlers ---
    void Drive1_Change();
    void Dir1_Change();
    void Exit_Click();
    void Form_Unload();

    void Command2_Click(); // Add Folder
    // Walks `fPath` below the node `sParent`; every record carries `delkey`.
    void RecurseFiles2(const QString& fPath, const QString& sParent, const QString& delkey);

    void Command1_Click(); // Add new database
    void Command3_Click(); // Save to database
    void Command5_Click(); // Open Database
    void Command7_Click(); // Delete Folder
    // Walks the selected node's top-level folder again and brings its records
    // up to date in place; its register notes stay on their files.
    void UpdateFolder_Click();
    // Catalogue > Delete Catalogue: the shown catalogue's records, asked first.
    void DeleteCatalogue_Click();
    // Catalogue > Undo, Ctrl+Z, the status bar's "Undo": the records the last
    // big delete of this window took away come back as they were.
    void Undo_Click();
    // Catalogue > Rename Catalogue: the shown catalogue under a new name,
    // asked for first.
    void RenameCatalogue_Click();
    void TreeView1_NodeClick(Node* node);

    void Project_Click();
    void Multimedia_Click();
    void Document_Click();
    void InstallNUpdate_Click();
    void Check1_Click();
    void Check2_Click();
    void Check3_Click();
    void Check4_Click();
    void Command6_Click();

    void Find_Click();
    // Catalogue > Fingerprint file contents: whether scans read every file
    // for its fingerprint; remembered between runs.
    bool fingerprintContents() const;
    void FingerprintContents_Click(bool on);
    // Catalogue > Duplicates: the Duplicates window.
    void Duplicates_Click();
    // File > Disks...: every scan's disk, whether it is connected, where it is kept.
    void Disks_Click();
    // Catalogue > Where the Space Went...: the treemap of the selected node's scan.
    void SpaceWent_Click();
    // Shows the record keyed `key` of `catalogue` as a click on its node
    // would: the catalogue opened if another one is shown, the node's
    // ancestors expanded, the node selected and scrolled to, the two lists
    // filled. False when the catalogue holds no such node. The record's SrNO,
    // when known, finds the way down to a branch the tree has not read.
    bool showRecord(const QString& catalogue, const QString& key, std::int64_t srNo = 0);
    void Tree_Click();
    void Report_Click();
    void About_Click();
    // Hooks of the secondary windows into this one (the file list's menu).
    void setupSecondaryWindows();

    // A double click (or Enter) on a folder row lists that folder, as a click on its node does.
    void ListView1_DblClick(QTreeWidgetItem* item);
    // F5: the tree of the catalogue dbase.name names, built afresh; the file is not written.
    void reloadTree();
    // The status bar: results of scans and deletes, and where the records are.
    StatusReport& status() { return *status_; }
    // The Read menu: what a scan reads beyond names, sizes and dates.
    ReadOptions& readOptions() { return *readOptions_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QString NextNodeKey() const;
    // After a scan's records changed: the tree built again for the shown
    // catalogue, as "Delete Folder" builds it; `rootText` is the text the
    // root had.
    void rebuildTree(const QString& rootText, const QString& shown);
    // The node that stands for a record, when the tree places it; the
    // branches above it are read as they are opened.
    Node* nodeOfRecord(const QString& catalogue, const QString& key, std::int64_t srNo = 0) const;
    void buildControls();
    void buildMenus();
    void addContentMenus();
    void addSpaceMenu();
    void addColumnHeaders();
    void setupGrowth(GrowingClient& client);
    void setupKeyboard();
    void setupLists();
    // Opens at the size of the last run, or the designed one, centred on the screen.
    void placeWindow();
    void saveWindowSize() const;

    QString currentDatabaseName_;
    QString previousDrive_;
    bool unloaded_ = false;
    StatusReport* status_ = nullptr;
    ReadOptions* readOptions_ = nullptr;
};

} // namespace qm
