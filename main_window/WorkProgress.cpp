// SPDX-License-Identifier: GPL-3.0-or-later
#include "main_window/WorkProgress.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QProgressDialog>

#include <exception>
#include <thread>

namespace qm {

WorkProgress::WorkProgress(QWidget& window, QString what)
    : window_(window)
    , what_(std::move(what))
{
    window_.setCursor(Qt::WaitCursor);
}

WorkProgress::~WorkProgress()
{
    dialog_.reset();
    window_.unsetCursor();
}

bool WorkProgress::report(std::int64_t entries, const QString& folder, const QString& detail)
{
    if (!dialog_) {
        dialog_ = std::make_unique<QProgressDialog>(&window_);
        dialog_->setWindowTitle(QStringLiteral("Quillmark"));
        // Events pass while the store is inside a transaction: no window of
        // the program may write to it until the work ends.
        dialog_->setWindowModality(Qt::ApplicationModal);
        dialog_->setCancelButtonText(QStringLiteral("Cancel"));
        dialog_->setRange(0, 0);
        dialog_->setMinimumDuration(0);
        dialog_->setAutoClose(false);
        dialog_->setAutoReset(false);
        dialog_->setMinimumWidth(480);
        dialog_->show();
    }
    const QString shown = dialog_->fontMetrics().elidedText(folder, Qt::ElideMiddle, 440);
    QString text = QStringLiteral("%1: %2\nReading %3").arg(what_, QString::number(entries), shown);
    if (!detail.isEmpty())
        text += u'\n' + detail;
    dialog_->setLabelText(text);
    QCoreApplication::processEvents();
    return !dialog_->wasCanceled();
}

void runBeside(const std::function<void()>& work)
{
    std::exception_ptr failed;
    QEventLoop loop;
    // Nothing runs this thread's events before exec(), so the quit cannot
    // come before the loop that it ends.
    std::thread worker([&] {
        try {
            work();
        } catch (...) {
            failed = std::current_exception();
        }
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    worker.join(); // the loop also ends when the program is quit meanwhile
    if (failed)
        std::rethrow_exception(failed);
}

} // namespace qm
