// SPDX-License-Identifier: GPL-3.0-or-later
// The Find window's way into the main window: opening it, and landing on a
// record it found.
#include "main_window/Form1.h"

#include "find/FindWindow.h"
#include "platform/TreeView.h"
#include "platform/WindowFront.h"

#include <QLineEdit>

namespace qm {

void Form1::Find_Click()
{
    find::FindWindow::showWindow(this);
}

Node* Form1::nodeOfRecord(const QString& catalogue, const QString& key, std::int64_t srNo) const
{
    NodeModel& nodes = TreeView1->Nodes();
    Node* node = nodes.reveal(catalogue, key, srNo);
    return node && node->Parent && nodes.catalogueOf(node) == catalogue ? node : nullptr;
}

bool Form1::showRecord(const QString& catalogue, const QString& key, std::int64_t srNo)
{
    Node* node = nodeOfRecord(catalogue, key, srNo);
    if (!node) {
        // Another catalogue, or a tree built before the record was stored:
        // the catalogue is opened as the user opens one.
        Text8->setText(catalogue);
        Command5_Click();
        node = nodeOfRecord(catalogue, key, srNo);
    }
    if (!node)
        return false;
    for (Node* up = node->Parent; up; up = up->Parent)
        TreeView1->Expand(up);
    TreeView1->setSelectedItem(node);
    TreeView1->scrollTo(TreeView1->Nodes().indexOf(node));
    TreeView1_NodeClick(node);
    bringToFront(this);
    return true;
}

} // namespace qm
