-- SPDX-License-Identifier: GPL-3.0-or-later
-- Format 9: thumbnails of pictures, made when the user asks for them.

-- One row a picture's record: a JPEG of at most 160 pixels on its long side,
-- turned as the picture is seen, and its size in pixels.
CREATE TABLE thumbnails (
  SrNO   INTEGER PRIMARY KEY, -- the record of main
  Width  INTEGER NOT NULL,
  Height INTEGER NOT NULL,
  Image  BLOB NOT NULL
);

-- A record's thumbnail goes with it, however it is deleted or renumbered.
CREATE TRIGGER main_thumbnail_delete AFTER DELETE ON main
BEGIN
  DELETE FROM thumbnails WHERE SrNO = OLD.SrNO;
END;
CREATE TRIGGER main_thumbnail_renumber AFTER UPDATE OF SrNO ON main WHEN NEW.SrNO IS NOT OLD.SrNO
BEGIN
  UPDATE thumbnails SET SrNO = NEW.SrNO WHERE SrNO = OLD.SrNO;
END;
-- A file whose size or modification time changed shows another picture now:
-- its old thumbnail goes when the record learns of the change.
CREATE TRIGGER main_thumbnail_stale AFTER UPDATE OF bytes, modified ON main
  WHEN NEW.bytes IS NOT OLD.bytes OR NEW.modified IS NOT OLD.modified
BEGIN
  DELETE FROM thumbnails WHERE SrNO = NEW.SrNO;
END;
