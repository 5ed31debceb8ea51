// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The About window: title, version and description; OK closes it.
#include <QDialog>
#include <QImage>

class QFrame;
class QLabel;
class QPushButton;

namespace qm {

class frmAbout : public QDialog {
    Q_OBJECT
public:
    explicit frmAbout(QWidget* parent = nullptr);
    ~frmAbout() override;

    // The open window, or nullptr when none is open.
    static frmAbout* current();
    // Brings the open window forward, or creates, loads and shows a new one.
    static frmAbout* showWindow();

    // --- controls, by their designer names ---
    QLabel* picIcon = nullptr;
    QLabel* lblTitle = nullptr;
    QLabel* lblVersion = nullptr;
    QLabel* lblDescription = nullptr;
    QFrame* Line1 = nullptr; // etched separator
    QPushButton* cmdOK = nullptr;

    // --- handlers ---
    void Form_Load();
    void cmdOK_Click();

    // The window's 32 x 32, 24-bit picture.
    static QImage picture();
};

} // namespace qm
