-- Format 2 belongs to another change being made at the same time; this
-- placeholder gives way to it.
SELECT 1;
