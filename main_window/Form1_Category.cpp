// SPDX-License-Identifier: GPL-3.0-or-later
// Choosing a register for the selected node.
#include "main_window/Form1.h"

#include "catalog/NodeKeys.h"
#include "platform/MessageBox.h"
#include "platform/TreeView.h"
#include "registers/RegisterDefinitions.h"
#include "registers/RegisterWindow.h"

#include <QCheckBox>

namespace qm {
namespace {

// Opens (or brings to the front) the register window for the selected node;
// the root stands for the whole catalogue and is never registered.
void openRegister(Form1& form, const RegisterDefinition& definition)
{
    const Node* node = form.TreeView1->SelectedItem();
    if (!node) {
        MsgBox(QStringLiteral("Select a node in the database tree first."), &form);
        return;
    }
    if (node->Key == kRootKey) {
        MsgBox(QStringLiteral("Select another node - This is the *root* node"), &form);
        return;
    }
    RegisterWindow::showFor(definition, node->Text, node->Key);
}

// One box checked keeps the other three disabled.
void keepOneChecked(QCheckBox* box, std::initializer_list<QCheckBox*> others)
{
    const bool checked = box->checkState() != Qt::Unchecked;
    for (QCheckBox* other : others)
        other->setEnabled(!checked);
}

} // namespace

void Form1::Project_Click()
{
    openRegister(*this, projectsRegister());
}
void Form1::Multimedia_Click()
{
    openRegister(*this, multimediaRegister());
}
void Form1::Document_Click()
{
    openRegister(*this, documentsRegister());
}
void Form1::InstallNUpdate_Click()
{
    openRegister(*this, installNUpdateRegister());
}

void Form1::Check1_Click()
{
    keepOneChecked(Check1, {Check2, Check3, Check4});
}
void Form1::Check2_Click()
{
    keepOneChecked(Check2, {Check1, Check3, Check4});
}
void Form1::Check3_Click()
{
    keepOneChecked(Check3, {Check1, Check2, Check4});
}
void Form1::Check4_Click()
{
    keepOneChecked(Check4, {Check1, Check2, Check3});
}

void Form1::Command6_Click()
{
    const struct {
        QCheckBox* box;
        void (Form1::*open)();
    } categories[] = {{Check1, &Form1::Project_Click}, {Check2, &Form1::Multimedia_Click},
        {Check3, &Form1::Document_Click}, {Check4, &Form1::InstallNUpdate_Click}};
    for (const auto& c : categories) {
        if (c.box->checkState() != Qt::Unchecked) {
            // Clearing the box runs its handler, which enables the other three.
            c.box->setChecked(false);
            (this->*c.open)();
        }
    }
}

} // namespace qm
