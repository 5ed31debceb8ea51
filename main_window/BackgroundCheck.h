// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The full check of the store that runs at least once a day of use, beside
// the window: after start-up, when the last one is a day old or none is
// known, on a thread and a connection of its own. It gives way to the
// window's own writes (its read would hold them off) and is tried again a
// minute later. A store found damaged, now or before, is said in a message;
// a sound one silently.
#include <QObject>
#include <QString>

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

class QWidget;
struct sqlite3;

namespace qm {

class BackgroundCheck : public QObject {
    Q_OBJECT
public:
    BackgroundCheck(const QString& store, QWidget* window);
    ~BackgroundCheck() override;

    // Says a damage found before at once; otherwise starts the check when one is due.
    void startIfDue();
    bool running() const { return thread_.joinable(); }
    // Called on the window's thread whenever a check ended (or gave way).
    std::function<void()> onEnded;

private:
    void start();
    void ended(const QString& damage, bool gaveWay);

    QString store_;
    QWidget* window_;
    std::thread thread_;
    std::atomic<bool> stop_ {false};
    std::mutex handleLock_;
    sqlite3* handle_ = nullptr; // the check's connection while it runs
};

} // namespace qm
