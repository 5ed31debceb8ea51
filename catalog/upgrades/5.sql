-- SPDX-License-Identifier: GPL-3.0-or-later
-- Format 5: taken by work merged beside this branch; nothing here.
SELECT 1;
