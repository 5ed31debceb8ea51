-- SPDX-License-Identifier: GPL-3.0-or-later
-- Format 4: trees that load a folder's children when it is opened.

-- What a tree of each catalogue holds beyond its records' own fields: the
-- records it cannot place (parent missing or stored later, key taken, a field
-- without a value) and the highest key value among those it places. Kept for
-- the state of main that `stamp` names (its serial counter and the newest
-- change of a record); a reader whose stamp differs works it out again.
CREATE TABLE tree_checks (
  dbaseName  TEXT PRIMARY KEY,
  stamp      TEXT NOT NULL,
  unplaced   INTEGER NOT NULL,
  highestKey INTEGER NOT NULL,
  keysFit    INTEGER NOT NULL
);
CREATE TABLE tree_unplaced (
  dbaseName TEXT NOT NULL,
  SrNO      INTEGER NOT NULL,
  PRIMARY KEY (dbaseName, SrNO)
) WITHOUT ROWID;
