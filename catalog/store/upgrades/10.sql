-- SPDX-License-Identifier: GPL-3.0-or-later
-- Format 10: what a photo, a piece of music or a video says about itself,
-- read from its headers when the user asks for it.

-- One row a file record whose details were read. Texts are as the file holds
-- them; a field the file does not have is NULL. Taken is the camera's own
-- clock as "YYYY-MM-DD HH:MM:SS" (photos carry no time zone), so that it
-- sorts and compares as text.
CREATE TABLE media (
  SrNO        INTEGER PRIMARY KEY, -- the record of main
  Kind        INTEGER NOT NULL,    -- 1 image, 2 audio, 3 video
  Taken       TEXT,
  Make        TEXT,
  Model       TEXT,
  Lens        TEXT,
  Width       INTEGER,
  Height      INTEGER,
  Latitude    REAL,
  Longitude   REAL,
  Artist      TEXT,
  Album       TEXT,
  Title       TEXT,
  Track       INTEGER,
  Year        INTEGER,
  DurationMs  INTEGER,
  Codec       TEXT
);

-- A record's details go with it, however it is deleted or renumbered.
CREATE TRIGGER main_media_delete AFTER DELETE ON main
BEGIN
  DELETE FROM media WHERE SrNO = OLD.SrNO;
END;
CREATE TRIGGER main_media_renumber AFTER UPDATE OF SrNO ON main WHEN NEW.SrNO IS NOT OLD.SrNO
BEGIN
  UPDATE media SET SrNO = NEW.SrNO WHERE SrNO = OLD.SrNO;
END;
