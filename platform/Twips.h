// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Windows are laid out in twips, as designed: 15 twips make a pixel at 96 dpi.
#include <QString>
#include <QWidget>

namespace qm {

constexpr int tw(int twips)
{
    return twips / 15;
}

// Names a control by its designer name and puts it where the design has it.
template <typename W> W* place(W* widget, const QString& name, int left, int top, int width, int height)
{
    widget->setObjectName(name);
    widget->setGeometry(tw(left), tw(top), tw(width), tw(height));
    return widget;
}

template <typename W> W* place(W* widget, const char* name, int left, int top, int width, int height)
{
    return place(widget, QString::fromLatin1(name), left, top, width, height);
}

} // namespace qm
