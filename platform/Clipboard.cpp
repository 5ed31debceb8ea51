// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Clipboard.h"

#include <QClipboard>
#include <QGuiApplication>

namespace qm {

void SystemClipboard::Clear()
{
    if (auto* cb = QGuiApplication::clipboard())
        cb->clear();
}

void SystemClipboard::SetText(const QString& text)
{
    if (auto* cb = QGuiApplication::clipboard())
        cb->setText(text);
}

QString SystemClipboard::GetText() const
{
    auto* cb = QGuiApplication::clipboard();
    return cb ? cb->text() : QString();
}

namespace {
Clipboard*& current()
{
    static Clipboard* c = nullptr;
    return c;
}
} // namespace

Clipboard& clipboard()
{
    static SystemClipboard system;
    return current() ? *current() : system;
}

void setClipboard(Clipboard* replacement) { current() = replacement; }

} // namespace qm
