-- SPDX-License-Identifier: GPL-3.0-or-later
-- Format 1: numbers beside the texts, and node keys that are never given twice.

-- The size in bytes and the creation and modification times in seconds since
-- the epoch, which a search can compare; and for an entry whose path is not
-- valid UTF-8, the path's original bytes (path itself holds a readable form).
ALTER TABLE main ADD COLUMN bytes INTEGER;
ALTER TABLE main ADD COLUMN created INTEGER;
ALTER TABLE main ADD COLUMN modified INTEGER;
ALTER TABLE main ADD COLUMN raw_path BLOB;

-- Records written before have only their texts. The size text is rounded, so
-- its bytes are close, not exact; the date text is read as local time.
UPDATE main SET
  bytes = CASE
    WHEN size LIKE '% MB' THEN CAST(round(CAST(substr(size, 1, length(size) - 3) AS REAL) * 1048576) AS INTEGER)
    WHEN size LIKE '% KB' THEN CAST(round(CAST(substr(size, 1, length(size) - 3) AS REAL) * 1024) AS INTEGER)
    WHEN size <> '' AND size NOT GLOB '*[^0-9]*' THEN CAST(size AS INTEGER)
  END,
  created = CAST(strftime('%s', date, 'utc') AS INTEGER);

-- The highest node key each catalogue ever handed out. Writers reserve keys
-- above it, so two writers never give the same key and a key whose records
-- were deleted is never given again.
CREATE TABLE catalogue_keys (
  dbaseName TEXT PRIMARY KEY,
  lastKey   INTEGER NOT NULL
);
INSERT INTO catalogue_keys (dbaseName, lastKey)
  SELECT dbaseName, max(CAST(ID AS INTEGER)) FROM main GROUP BY dbaseName;

-- A key or a catalogue name edited by hand (the tree editor) raises the mark
-- too; scans reserve their keys before they store them.
CREATE TRIGGER main_key_edit AFTER UPDATE OF ID, dbaseName ON main
BEGIN
  INSERT INTO catalogue_keys (dbaseName, lastKey) VALUES (NEW.dbaseName, CAST(NEW.ID AS INTEGER))
    ON CONFLICT (dbaseName) DO UPDATE SET lastKey = max(lastKey, excluded.lastKey);
END;
