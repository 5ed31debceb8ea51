// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Building the main window's catalogue tree.
namespace qm {
class Form1;
namespace XpandTree {

// Builds TreeView1 for the catalogue named in dbase.name: the root "0>" with
// that name and one node per record of that catalogue in SrNO order. The
// caller empties the tree first. Records that cannot be placed (parent
// missing or later, key taken, a field empty of any value) are passed over
// and counted in one message. Throws on a store failure.
void LoadTree(Form1& form);

} // namespace XpandTree
} // namespace qm
