// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The four registers: each one's table, fields, captions, design texts,
// options and layout. One RegisterWindow class draws and drives any of them.
#include <QString>

#include <array>
#include <vector>

namespace qm {

// A rectangle of the designed layout, in twips.
struct TwipRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

// One field row: a caption label to the left of a box bound to a field.
struct RegisterFieldRow {
    QString box; // designer name of the box, "Text1"
    QString field; // bound field
    QString label; // designer name of the caption label, "Label1"
    QString caption; // the label's text
    QString designText; // what the box holds before the binding fills it
    TwipRect boxRect;
    TwipRect labelRect;
};

// What follows a Delete: stand on the record before the gap, or clear the
// field boxes and leave the cursor on the gap.
enum class AfterDelete { StepBack, BlankBoxes };

struct RegisterDefinition {
    QString windowName; // object name of the window, "Projects"
    QString caption; // title bar
    QString heading; // Label5
    QString table;
    QString serialField;
    QString fileNameField;
    std::vector<RegisterFieldRow> rows; // top-down on the screen; rows.front() is Text1
    QString idBox; // hidden box that receives the node key
    QString idField; // its field; empty when the register stores no key
    QString statusLabel; // receives "(File already exist)"
    bool duplicateCheck = false; // Add first looks for a record of the same file
    AfterDelete afterDelete = AfterDelete::StepBack;

    // Layout, twips.
    int clientWidth = 0;
    int clientHeight = 0;
    int upperOffset = 0; // how much lower than in Projects the upper part lies
    TwipRect headingRect;
    TwipRect serialRect;
    TwipRect check1Rect;
    TwipRect statusRect;
    TwipRect idBoxRect;
    int buttonRow1 = 0; // top of Next / Previous / Delete
    int buttonRow2 = 0; // top of Add / Save / Close

    // The row of box `name`, or nullptr.
    const RegisterFieldRow* row(const QString& boxName) const;
    // Every field a window of this register binds, serial field first.
    std::vector<QString> requiredFields() const;
};

const RegisterDefinition& projectsRegister();
const RegisterDefinition& documentsRegister();
const RegisterDefinition& multimediaRegister();
const RegisterDefinition& installNUpdateRegister();

// The four: Projects, Documents, Multimedia, InstallNUpdate.
std::array<const RegisterDefinition*, 4> allRegisters();

} // namespace qm
