// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Getting the records of a damaged store back: every row SQLite can still
// read is copied, through its own statements, into a new store. A table is
// read in rowid order; where a damaged page stops the read, the next rowid
// that can be reached is found by seeking ever further and then halving the
// distance back, so one damaged page costs the rows it held and a few seeks.
// Values go from row to row as SQLite values (bound, never as SQL text).
#include <QString>

#include <functional>
#include <vector>

namespace qm::Store {

struct Recovered {
    struct Table {
        QString name;
        long long rows = 0; // copied
        int damagedStretches = 0; // places where rows could not be read and were skipped
        bool unreadable = false; // not even its first rows could be reached
    };
    std::vector<Table> tables;
    long long rows() const;
    int damagedStretches() const;
};

// Copies every readable record of the store at `from` into a new store at
// `to`, in this program's format. `to` must not exist in any form (a file,
// a link, even a dangling one, a device); it appears only when the copy has
// ended well, so a stop or a failure leaves nothing behind. Derived data
// (the change log, the kept tree checks) is not copied: a reader works it
// out again. `goOn` is asked with the rows copied so far, every thousand
// rows or so; false stops the copy. Returns an error text, empty when
// `to` was made; `stopped` tells a stop from a failure.
QString recover(const QString& from, const QString& to, Recovered& out,
    const std::function<bool(long long rows)>& goOn = {}, bool* stopped = nullptr);

} // namespace qm::Store
