// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The "Read" menu beside the designed ones: what a scan reads beyond names,
// sizes and dates. Each choice is remembered between runs.
#include <QObject>

class QAction;

namespace qm {

class Form1;

class ReadOptions : public QObject {
public:
    explicit ReadOptions(Form1& form);

    // List the members of archive files as records below theirs.
    bool archives() const;
    // Keep a thumbnail of every picture.
    bool thumbnails() const;
    // Read what photos, music and videos say about themselves.
    bool media() const;

private:
    QAction* archives_;
    QAction* thumbnails_;
    QAction* media_;
};

} // namespace qm
