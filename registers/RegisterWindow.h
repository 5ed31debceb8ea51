// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A register window: one record of a register table at a time, walking,
// adding for the catalogue node chosen in the main window, changing,
// deleting, searching by file name and exporting the table.
#include "registers/RegisterDefinitions.h"

#include <QWidget>

#include <vector>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace qm {

class DataControl;
class Recordset;

class RegisterWindow : public QWidget {
    Q_OBJECT
public:
    // A window in its design state; Form_Load opens its record source.
    explicit RegisterWindow(const RegisterDefinition& definition, QWidget* parent = nullptr);
    ~RegisterWindow() override;

    // The one window of `definition`: brings an open one to the front (it
    // keeps the node it was opened for), or opens a new one for the node given.
    // Returns nullptr when the register cannot be opened; the reason has been
    // shown in a message.
    static RegisterWindow* showFor(
        const RegisterDefinition& definition, const QString& nodeText, const QString& nodeKey);
    // The open window of `definition`, or nullptr.
    static RegisterWindow* instance(const RegisterDefinition& definition);

    // Captures the node and opens the record source. False, after a message
    // naming the table or field, when the register table cannot be used.
    bool Form_Load(const QString& nodeText, const QString& nodeKey);
    // Stores what was begun or typed and closes the record source.
    void Form_Unload();

    void Command1_Click(); // Next
    void Command2_Click(); // Previous
    void Command3_Click(); // Update
    void Command4_Click(); // Add
    void Command5_Click(); // Save
    void Command6_Click(); // Close
    void Command7_Click(); // Delete
    void Command8_Click(); // Move to First
    void Command9_Click(); // Move to Last
    void Command10_Click(); // Search
    void Command11_Click(); // Search next
    void Command12_Click(); // Stop
    void Check1_Click(); // Modify

    const RegisterDefinition& definition() const { return def_; }
    QString nodeText() const { return nodeText_; }
    QString nodeKey() const { return nodeKey_; }
    // The bound field boxes, top-down; the ID box, the status label.
    const std::vector<QLineEdit*>& fieldBoxes() const { return fieldBoxes_; }
    QLineEdit* idBox() const { return idBox_; }
    QLabel* statusLabel() const { return statusLabel_; }
    // Where Save writes the table: <table>.csv beside database.mdb.
    QString exportPath() const;

    // --- controls, by their designer names (nullptr where a register has none) ---
    QLabel* Label5 = nullptr;
    QLabel* lblSerial = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    QLineEdit* Text1 = nullptr;
    QLineEdit* Text2 = nullptr;
    QLineEdit* Text3 = nullptr;
    QLineEdit* Text4 = nullptr;
    QLineEdit* Text5 = nullptr;
    QLineEdit* Text6 = nullptr;
    QLabel* Label6 = nullptr;
    QLabel* Label7 = nullptr;
    QCheckBox* Check1 = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* Command2 = nullptr;
    QPushButton* Command3 = nullptr;
    QPushButton* Command4 = nullptr;
    QPushButton* Command5 = nullptr;
    QPushButton* Command6 = nullptr;
    QPushButton* Command7 = nullptr;
    QPushButton* Command8 = nullptr;
    QPushButton* Command9 = nullptr;
    QPushButton* Command10 = nullptr;
    QPushButton* Command11 = nullptr;
    QPushButton* Command12 = nullptr;
    DataControl* Adodc1 = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildControls();
    // The member of a designer name ("Label4", "Text6"); the definitions name only these.
    QLabel** labelSlot(const QString& name);
    QLineEdit** boxSlot(const QString& name);
    Recordset& records();
    // Runs a handler body; a refusal of the record source becomes a message
    // and the window stays usable. Without a current record afterwards the
    // field boxes show nothing.
    template <typename F> void guarded(F&& body);
    bool fileNameIs(const QString& name) const;
    void setSearching(bool matching);

    const RegisterDefinition& def_;
    QString nodeText_;
    QString nodeKey_;
    std::vector<QLineEdit*> fieldBoxes_;
    QLineEdit* idBox_ = nullptr;
    QLabel* statusLabel_ = nullptr;
    int fileNameIndex_ = -1;
    bool unloaded_ = false;
};

} // namespace qm
