// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/WindowFront.h"

#include <QWidget>

namespace qm {
void bringToFront(QWidget* window)
{
    if (!window)
        return;
    window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    window->show();
    window->raise();
    window->activateWindow();
}
} // namespace qm
