// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The two file lists of a tree node.
#include <QString>
#include <cstdint>

namespace qm {
class Form1;
namespace XpandFolder {

// Fills ListView2 with the node's own record and ListView1 with the numbered
// records directly inside it, both of the shown catalogue, in SrNO order. The
// clipboard ends at the number of listed rows.
void FillFileList(Form1& form, const QString& key);

// The row counter on the clipboard plus one.
std::int64_t X();

} // namespace XpandFolder
} // namespace qm
