#include "cli/LongRun.h"

#include "cli/Output.h"

#include <signal.h>

namespace qm::cli {
namespace {

volatile std::sig_atomic_t interruptedFlag = 0;

extern "C" void onInterrupt(int)
{
    interruptedFlag = 1;
}

} // namespace

InterruptGuard::InterruptGuard()
{
    interruptedFlag = 0;
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
    return interruptedFlag != 0;
}

bool ProgressLine::progress(std::int64_t entries, const QString& folder)
{
    const auto now = std::chrono::steady_clock::now();
    if (now - last_ >= std::chrono::seconds(1)) {
        last_ = now;
        printLine(stderr, QStringLiteral("quillmark: %1 entries, reading %2").arg(entries).arg(folder));
    }
    return !InterruptGuard::interrupted();
}

} // namespace qm::cli
