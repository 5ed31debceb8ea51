-- SPDX-License-Identifier: GPL-3.0-or-later
-- Format 2: where each scan came from.

-- One row per scan of a catalogue, keyed by its top-level folder's key (the
-- delKey of its records): the disk it was read from when it was scanned or
-- last updated, and how many records the catalogue held of it then.
CREATE TABLE scans (
  dbaseName  TEXT NOT NULL,
  topKey     TEXT NOT NULL,
  scanned    INTEGER, -- when the scan or its last update started, seconds since the epoch
  label      TEXT,
  uuid       TEXT,
  fsType     TEXT,
  mountPoint TEXT,
  device     TEXT,
  totalBytes INTEGER,
  freeBytes  INTEGER,
  records    INTEGER, -- records of the scan when it ended
  PRIMARY KEY (dbaseName, topKey)
);
