// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
class QWidget;

namespace qm {
// Shows a single-instance window again: restored if minimised, raised and
// given the focus.
void bringToFront(QWidget* window);
} // namespace qm
