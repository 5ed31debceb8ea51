// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A read transaction held for a while, for readers that ask many questions.

namespace SQLite {
class Database;
}

namespace qm {

// Holds one state of the store for everything read through `db` while it
// lives: one read transaction, so records committed by other connections
// meanwhile are not seen, and the store's lock is taken once rather than for
// every statement. Inside a transaction of the caller's it adds none.
// In a store with a rollback journal a writer's commit waits (up to its busy
// timeout) until this ends; in a write-ahead-log store it need not.
class OneState {
public:
    explicit OneState(SQLite::Database& db);
    ~OneState();
    OneState(const OneState&) = delete;
    OneState& operator=(const OneState&) = delete;

private:
    SQLite::Database& db_;
    bool began_ = false;
};

} // namespace qm
