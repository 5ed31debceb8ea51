-- SPDX-License-Identifier: GPL-3.0-or-later
-- Format 6: taken by work merged beside this branch; nothing here.
SELECT 1;
