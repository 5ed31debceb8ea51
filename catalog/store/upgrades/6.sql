-- SPDX-License-Identifier: GPL-3.0-or-later
-- Format 6: the members of archives as records of their own.

-- A record read from inside an archive rather than from the disk: how many
-- archives deep it lies (1, or 2 for a member of an archive inside another);
-- NULL for everything on disk. Nothing opens the path of a marked record.
-- A column rather than a table beside main, so that every delete, undo,
-- recovery and export carries the mark with its record and nothing else
-- needs to keep it in step.
ALTER TABLE main ADD COLUMN in_archive INTEGER;
