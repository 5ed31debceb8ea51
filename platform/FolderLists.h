// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The drive list, the folder list and the file list of the main window.
#include <QComboBox>
#include <QElapsedTimer>
#include <QListWidget>

namespace qm {

// Mounted volumes; the system root first.
class DriveListBox : public QComboBox {
    Q_OBJECT
public:
    explicit DriveListBox(QWidget* parent = nullptr);
    QString Drive() const; // the root path of the chosen volume
    // Chooses the volume whose root is `root` (adding it when unknown); a
    // change raises Change.
    void setDrive(const QString& root);
    void refreshVolumes();

signals:
    void Change();

private:
    QString current_;
};

// A folder picker: the chain of folders down to the open one, then its
// sub-folders. A double click (or Enter) opens a folder; Path is the open one.
class DirListBox : public QListWidget {
    Q_OBJECT
public:
    explicit DirListBox(QWidget* parent = nullptr);
    QString Path() const { return path_; }
    // Opens `path`; false (and nothing changes) when it cannot be listed.
    bool setPath(const QString& path);
    // Typed letters find a folder by the start of its name.
    void keyboardSearch(const QString& search) override;

signals:
    void Change();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void openItem(QListWidgetItem* item);
    QString path_;
    QString typed_;
    QElapsedTimer typing_;
};

// The plain files of one folder.
class FileListBox : public QListWidget {
    Q_OBJECT
public:
    explicit FileListBox(QWidget* parent = nullptr);
    QString Path() const { return path_; }
    void setPath(const QString& path);

private:
    QString path_;
};

} // namespace qm
