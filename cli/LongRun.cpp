// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/LongRun.h"

#include "cli/Output.h"

#include <atomic>

#include <signal.h>

namespace qm::cli {
namespace {

// The signal may land on a scan's walker thread; the progress report reads it on this one.
std::atomic<bool> interruptedFlag {false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

extern "C" void onInterrupt(int)
{
    interruptedFlag = true;
}

} // namespace

InterruptGuard::InterruptGuard()
{
    interruptedFlag = false;
    struct sigaction action { };
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &oldInt_);
    sigaction(SIGTERM, &action, &oldTerm_);
    sigaction(SIGHUP, &action, &oldHup_);
}

InterruptGuard::~InterruptGuard()
{
    sigaction(SIGINT, &oldInt_, nullptr);
    sigaction(SIGTERM, &oldTerm_, nullptr);
    sigaction(SIGHUP, &oldHup_, nullptr);
}

bool InterruptGuard::interrupted()
{
    return interruptedFlag;
}

bool ProgressLine::progress(std::int64_t entries, const QString& folder)
{
    const auto now = std::chrono::steady_clock::now();
    if (now - last_ >= std::chrono::seconds(1)) {
        last_ = now;
        printLine(stderr,
            QStringLiteral("quillmark: %1 entries, reading %2").arg(QString::number(entries), folder));
    }
    return !InterruptGuard::interrupted();
}

bool ProgressLine::contentProgress(std::int64_t entries, const QString& folder, const ContentProgress& read)
{
    const auto now = std::chrono::steady_clock::now();
    if (now - last_ >= std::chrono::seconds(1)) {
        last_ = now;
        printLine(stderr,
            QStringLiteral("quillmark: %1 entries, ").arg(entries) + read.text() + QStringLiteral(", reading ")
                + folder);
    }
    return !InterruptGuard::interrupted();
}

} // namespace qm::cli
