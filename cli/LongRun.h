// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a long command shares: Ctrl+C, a hang-up or a termination request
// asks the work to stop (what it keeps is its own rule), and a progress line
// on standard error about once a second.
#include "catalog/FolderScan.h"

#include <chrono>
#include <csignal>

namespace qm::cli {

class InterruptGuard {
public:
    InterruptGuard();
    ~InterruptGuard();
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;

    // A signal came since the guard was set.
    static bool interrupted();

private:
    struct sigaction oldInt_ { };
    struct sigaction oldTerm_ { };
    struct sigaction oldHup_ { };
};

// "quillmark: N entries, reading FOLDER"; answers false once interrupted.
class ProgressLine : public ScanListener {
public:
    void entryStored(const ScannedEntry&) override { }
    bool progress(std::int64_t entries, const QString& folder) override;
    // "quillmark: N entries, 1.2 GB of 3.4 GB read, 350 MB/s, about 0:06 left, reading FOLDER"
    bool contentProgress(std::int64_t entries, const QString& folder, const ContentProgress& read) override;

private:
    std::chrono::steady_clock::time_point last_ = std::chrono::steady_clock::now();
};

} // namespace qm::cli
