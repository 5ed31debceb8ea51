// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Long work on the main window: the hourglass for as long as it lives, and
// once the work has taken a while, a dialog that tells how far it got and
// can cancel it. Quick work shows no dialog.
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

class QProgressDialog;
class QWidget;

namespace qm {

class WorkProgress {
public:
    // `what` heads the dialog's count: "Entries so far", "Updating".
    WorkProgress(QWidget& window, QString what);
    ~WorkProgress();
    WorkProgress(const WorkProgress&) = delete;
    WorkProgress& operator=(const WorkProgress&) = delete;

    // Shows `entries`, the folder being read and `detail` (a line of its
    // own, when given), lets events pass; false once the user cancelled.
    bool report(std::int64_t entries, const QString& folder, const QString& detail = {});

private:
    QWidget& window_;
    QString what_;
    std::unique_ptr<QProgressDialog> dialog_;
};

// Runs `work` on a thread of its own and returns once it has ended, the
// window painting and answering the desktop meanwhile; what the user types
// or clicks waits until then. Throws what `work` threw. `work` must not touch
// the window's connection or widgets.
void runBeside(const std::function<void()>& work);

} // namespace qm
