// SPDX-License-Identifier: GPL-3.0-or-later
// The Disks window's way in from the File menu.
#include "main_window/Form1.h"

#include "main_window/DisksWindow.h"

namespace qm {

void Form1::Disks_Click()
{
    DisksWindow::showWindow(this);
}

} // namespace qm
