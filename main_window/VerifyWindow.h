// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Catalogue > Verify Folder: a scan's disk, mounted where it was scanned,
// walked and read again and checked against the catalogue
// (catalog/ScanVerify.h), with progress and Cancel; nothing is written to the
// store. One row a finding; a row of an entry the catalogue holds opens its
// node in the main window.
#include "catalog/ScanVerify.h"

#include <QPointer>
#include <QWidget>

class QComboBox;
class QLabel;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace qm {

class Form1;

class VerifyWindow : public QWidget {
    Q_OBJECT
public:
    explicit VerifyWindow(Form1* form, QWidget* parent = nullptr);
    ~VerifyWindow() override;

    static VerifyWindow* current();
    static VerifyWindow* showWindow(Form1* form);

    QComboBox* scanBox = nullptr;
    QPushButton* verifyButton = nullptr;
    QTreeWidget* findingView = nullptr;
    QLabel* statusLabel = nullptr;

    void refreshChoices();
    // Verifies the chosen scan; false when it did not run to its end.
    bool verify();
    bool showEntry(QTreeWidgetItem* item);
    const std::vector<VerifyFinding>& findings() const { return findings_; }

private:
    QPointer<Form1> form_;
    std::vector<VerifyFinding> findings_;
    QString catalogue_;
    bool running_ = false;
};

} // namespace qm
