-- SPDX-License-Identifier: GPL-3.0-or-later
-- Format 7: where each disk is kept.

-- What the user wrote about a disk: where it sits ("shelf 3, box B") and a
-- note. Keyed by the disk's UUID as table scans records it, for it is the
-- disk that sits on a shelf: every scan of it (two folders of one disk, two
-- catalogues, a scan made again after a delete) shows the same place, and a
-- deleted scan leaves the disk where it was.
CREATE TABLE disk_places (
  uuid     TEXT PRIMARY KEY,
  location TEXT,
  note     TEXT
);
