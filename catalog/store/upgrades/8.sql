-- SPDX-License-Identifier: GPL-3.0-or-later
-- Format 8: fingerprints that may stand on the wrong records are taken away.
--
-- A scan that listed archive members and read contents at once stored the
-- fingerprints of the files after the first archive of each batch against
-- later records (the members shifted them). Which ones cannot be told apart
-- now, so every fingerprint from a scan's first member on is dropped, members'
-- own included; `update --fingerprints` reads them again from the disk.
-- Scans without members keep every fingerprint. A catalogue's records run in
-- the order they were stored; a scan begins at its top-level record.
DELETE FROM fingerprints WHERE SrNO IN (
  SELECT SrNO FROM (
    SELECT SrNO,
      max(CASE WHEN Parent = '0>' THEN SrNO END) OVER byCatalogue AS lastTop,
      max(CASE WHEN in_archive > 0 THEN SrNO END) OVER byCatalogue AS lastMember
    FROM main
    WHERE EXISTS (SELECT 1 FROM fingerprints) AND EXISTS (SELECT 1 FROM main WHERE in_archive > 0)
    WINDOW byCatalogue AS (PARTITION BY dbaseName ORDER BY SrNO ROWS UNBOUNDED PRECEDING)
  )
  WHERE lastMember IS NOT NULL AND (lastTop IS NULL OR lastMember > lastTop)
);
