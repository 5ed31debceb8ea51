-- SPDX-License-Identifier: GPL-3.0-or-later
-- Format 3: a change log that lets a reader keep a copy of main (the search's
-- in-memory form) exactly in step with the store. New records need no entry:
-- SrNO only grows, so a reader fetches those above the last it holds. Every
-- record changed or deleted, and every change of a register, leaves one row.
CREATE TABLE change_log (
  seq  INTEGER PRIMARY KEY,
  SrNO INTEGER -- the record of main; NULL for a change in a register
);
-- The log is pruned from its oldest end and always keeps its newest row, so
-- seq never goes back and a reader tells a pruned gap from no change.
INSERT INTO change_log (seq, SrNO) VALUES (1, NULL);

-- One statement a change: a scan fills in each folder's size after its walk,
-- and this trigger is all the log costs it.
CREATE TRIGGER main_logged_update AFTER UPDATE ON main
BEGIN
  INSERT INTO change_log (SrNO) VALUES (OLD.SrNO);
END;
CREATE TRIGGER main_logged_renumber AFTER UPDATE OF SrNO ON main WHEN NEW.SrNO IS NOT OLD.SrNO
BEGIN
  INSERT INTO change_log (SrNO) VALUES (NEW.SrNO);
END;
CREATE TRIGGER main_logged_delete AFTER DELETE ON main
BEGIN
  INSERT INTO change_log (SrNO) VALUES (OLD.SrNO);
END;

CREATE TRIGGER projects_logged_insert AFTER INSERT ON Projects BEGIN INSERT INTO change_log (SrNO) VALUES (NULL); END;
CREATE TRIGGER projects_logged_update AFTER UPDATE ON Projects BEGIN INSERT INTO change_log (SrNO) VALUES (NULL); END;
CREATE TRIGGER projects_logged_delete AFTER DELETE ON Projects BEGIN INSERT INTO change_log (SrNO) VALUES (NULL); END;
CREATE TRIGGER documents_logged_insert AFTER INSERT ON Documents BEGIN INSERT INTO change_log (SrNO) VALUES (NULL); END;
CREATE TRIGGER documents_logged_update AFTER UPDATE ON Documents BEGIN INSERT INTO change_log (SrNO) VALUES (NULL); END;
CREATE TRIGGER documents_logged_delete AFTER DELETE ON Documents BEGIN INSERT INTO change_log (SrNO) VALUES (NULL); END;
CREATE TRIGGER multimedia_logged_insert AFTER INSERT ON Multimedia BEGIN INSERT INTO change_log (SrNO) VALUES (NULL); END;
CREATE TRIGGER multimedia_logged_update AFTER UPDATE ON Multimedia BEGIN INSERT INTO change_log (SrNO) VALUES (NULL); END;
CREATE TRIGGER multimedia_logged_delete AFTER DELETE ON Multimedia BEGIN INSERT INTO change_log (SrNO) VALUES (NULL); END;
CREATE TRIGGER installnupdate_logged_insert AFTER INSERT ON InstallNUpdate BEGIN INSERT INTO change_log (SrNO) VALUES (NULL); END;
CREATE TRIGGER installnupdate_logged_update AFTER UPDATE ON InstallNUpdate BEGIN INSERT INTO change_log (SrNO) VALUES (NULL); END;
CREATE TRIGGER installnupdate_logged_delete AFTER DELETE ON InstallNUpdate BEGIN INSERT INTO change_log (SrNO) VALUES (NULL); END;
