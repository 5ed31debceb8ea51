-- SPDX-License-Identifier: GPL-3.0-or-later
-- Format 5: content fingerprints of files, read when the user asks for them.

-- One row a file record whose contents were read: the hash of every byte in
-- its canonical (big-endian) form, and the size and modification time (in
-- nanoseconds) the file had then. A fingerprint whose size or time no longer
-- match the record's is of an older content and is not trusted.
CREATE TABLE fingerprints (
  SrNO       INTEGER PRIMARY KEY, -- the record of main
  Hash       BLOB NOT NULL,
  Bytes      INTEGER NOT NULL,
  ModifiedNs INTEGER NOT NULL
);
CREATE INDEX fingerprints_hash ON fingerprints (Hash);

-- The hash the fingerprints are made with: one row.
CREATE TABLE fingerprint_algorithm (
  Name TEXT NOT NULL
);
INSERT INTO fingerprint_algorithm (Name) VALUES ('XXH3-128');

-- A record's fingerprint goes with it, however it is deleted or renumbered.
CREATE TRIGGER main_fingerprint_delete AFTER DELETE ON main
BEGIN
  DELETE FROM fingerprints WHERE SrNO = OLD.SrNO;
END;
CREATE TRIGGER main_fingerprint_renumber AFTER UPDATE OF SrNO ON main WHEN NEW.SrNO IS NOT OLD.SrNO
BEGIN
  UPDATE fingerprints SET SrNO = NEW.SrNO WHERE SrNO = OLD.SrNO;
END;
