// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Node keys ("12>", the root "0>") and the file list's row counter.
#include <QString>
#include <cstdint>

namespace qm {

class NodeModel;
class Clipboard;

inline const QString kRootKey = QStringLiteral("0>");

// One more than the highest key value in the tree, or "1>" for a tree that
// holds only the root or on any error. Keys are 64-bit, so a catalogue never
// runs out of them.
QString nextNodeKey(const NodeModel& nodes);

// The key text of a number: its digits followed by ">".
QString keyOf(std::int64_t number);

// The clipboard's number plus one. Throws std::overflow_error past the 64-bit
// range.
std::int64_t rowCounterNext(const Clipboard& clipboard);

} // namespace qm
