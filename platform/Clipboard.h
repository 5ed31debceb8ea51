// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QString>

namespace qm {

// The plain-text clipboard that carries the file list's row counter.
class Clipboard {
public:
    virtual ~Clipboard() = default;
    virtual void Clear() = 0;
    virtual void SetText(const QString& text) = 0;
    virtual QString GetText() const = 0;
};

// The system clipboard through QClipboard.
class SystemClipboard final : public Clipboard {
public:
    void Clear() override;
    void SetText(const QString& text) override;
    QString GetText() const override;
};

// A private clipboard for tests and for headless runs.
class MemoryClipboard final : public Clipboard {
public:
    void Clear() override { text_.clear(); }
    void SetText(const QString& text) override { text_ = text; }
    QString GetText() const override { return text_; }

private:
    QString text_;
};

// The clipboard the program uses; the system one unless replaced.
Clipboard& clipboard();
void setClipboard(Clipboard* replacement); // nullptr restores the system clipboard

} // namespace qm
