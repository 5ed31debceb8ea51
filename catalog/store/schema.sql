-- SPDX-License-Identifier: GPL-3.0-or-later
-- The catalogue store as first made. Field order of main is part of the format:
-- readers take fields by position (ID, Parent, dbaseName, file_name, path,
-- size, date, SrNO, delKey). Each later format adds to it in upgrades/<n>.sql;
-- a new store is this file followed by every upgrade.
CREATE TABLE main (
  ID        TEXT,
  Parent    TEXT,
  dbaseName TEXT,
  file_name TEXT,
  path      TEXT,
  size      TEXT,
  date      TEXT,
  SrNO      INTEGER PRIMARY KEY AUTOINCREMENT,
  delKey    TEXT
);
-- Tree loading, the file list and a node's own record look records up by
-- catalogue, parent and key. One index serves them all: every index costs
-- its share of each scanned entry.
CREATE INDEX main_dbase_parent_id ON main (dbaseName, Parent, ID);

CREATE TABLE Projects (
  SrNo      INTEGER PRIMARY KEY AUTOINCREMENT,
  FileName  TEXT,
  Completed TEXT,
  Deadline  TEXT,
  "Group"   TEXT,
  ID        TEXT
);

CREATE TABLE Documents (
  Sr_NO    INTEGER PRIMARY KEY AUTOINCREMENT,
  FileName TEXT,
  Type     TEXT,
  Subject  TEXT,
  ID       TEXT
);

CREATE TABLE Multimedia (
  Sr_NO         INTEGER PRIMARY KEY AUTOINCREMENT,
  Filename      TEXT,
  Type          TEXT,
  CopyrightInfo TEXT,
  LastAccess    TEXT
);

CREATE TABLE InstallNUpdate (
  SrNO        INTEGER PRIMARY KEY AUTOINCREMENT,
  Filename    TEXT,
  Type        TEXT,
  Platform    TEXT,
  Description TEXT,
  ID          TEXT
);

-- Source of the printed report; filled from the file list.
CREATE TABLE temp (
  SrNO      INTEGER,
  file_name TEXT,
  path      TEXT,
  size      TEXT,
  date      TEXT
);
