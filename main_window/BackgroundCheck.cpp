// SPDX-License-Identifier: GPL-3.0-or-later
#include "main_window/BackgroundCheck.h"

#include "catalog/store/Store.h"
#include "platform/MessageBox.h"

#include <QDateTime>
#include <QFileInfo>
#include <QTimer>
#include <QWidget>

#include <SQLiteCpp/Database.h>
#include <sqlite3.h>

namespace qm {
namespace {

constexpr int kRetryMilliseconds = 60 * 1000;

} // namespace

BackgroundCheck::BackgroundCheck(const QString& store, QWidget* window)
    : QObject(window)
    , store_(QFileInfo(store).absoluteFilePath())
    , window_(window)
{
}

BackgroundCheck::~BackgroundCheck()
{
    stop_ = true;
    {
        std::lock_guard lock(handleLock_);
        if (handle_)
            sqlite3_interrupt(handle_);
    }
    if (thread_.joinable())
        thread_.join();
}

void BackgroundCheck::startIfDue()
{
    if (running())
        return;
    if (const QString damage = Store::rememberedDamage(store_); !damage.isEmpty()) {
        MsgBox(damage, window_);
        return;
    }
    if (Store::fullCheckDue(Store::markOf(store_), QDateTime::currentSecsSinceEpoch()))
        start();
}

void BackgroundCheck::start()
{
    if (running() || stop_)
        return;
    thread_ = std::thread([this] {
        QString damage;
        bool gaveWay = false;
        try {
            SQLite::Database db(store_.toStdString(), SQLite::OPEN_READONLY | SQLite::OPEN_NOMUTEX);
            db.setBusyTimeout(5000);
            struct Published {
                BackgroundCheck* check;
                Published(BackgroundCheck* c, sqlite3* handle) : check(c)
                {
                    std::lock_guard lock(check->handleLock_);
                    check->handle_ = handle;
                }
                ~Published()
                {
                    std::lock_guard lock(check->handleLock_);
                    check->handle_ = nullptr;
                }
            } published(this, db.getHandle());
            const Store::GivesWay toWrites(db.getHandle());
            damage = Store::damage(db, Store::CheckDepth::Full, [this] { return !stop_ && !Store::WriteWanted::now(); });
        } catch (const Store::CheckStopped&) {
            gaveWay = true;
        } catch (const std::exception&) {
            // Busy or unreadable now: the writes' own checks still guard the
            // store; this one is tried again later.
            gaveWay = true;
        }
        QMetaObject::invokeMethod(this, [this, damage, gaveWay] { ended(damage, gaveWay); }, Qt::QueuedConnection);
    });
}

void BackgroundCheck::ended(const QString& damage, bool gaveWay)
{
    if (thread_.joinable())
        thread_.join();
    if (!damage.isEmpty())
        MsgBox(damage, window_);
    else if (gaveWay && !stop_)
        QTimer::singleShot(kRetryMilliseconds, this, [this] { start(); });
    if (onEnded)
        onEnded();
}

} // namespace qm
