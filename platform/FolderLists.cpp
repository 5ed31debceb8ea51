// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/FolderLists.h"

#include "platform/NodeImages.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QStorageInfo>

namespace qm {

DriveListBox::DriveListBox(QWidget* parent) : QComboBox(parent)
{
    refreshVolumes();
    connect(this, &QComboBox::activated, this, [this](int index) {
        const QString root = itemData(index).toString();
        if (root != current_) {
            current_ = root;
            emit Change();
        }
    });
}

void DriveListBox::refreshVolumes()
{
    const QSignalBlocker block(this);
    clear();
    addItem(QStringLiteral("/"), QStringLiteral("/"));
    for (const QStorageInfo& v : QStorageInfo::mountedVolumes()) {
        if (!v.isValid() || v.rootPath() == QLatin1String("/"))
            continue;
        const QString label = v.displayName() == v.rootPath()
            ? v.rootPath()
            : QStringLiteral("%1 [%2]").arg(v.rootPath(), v.displayName());
        addItem(label, v.rootPath());
    }
    const int at = findData(current_);
    setCurrentIndex(at < 0 ? 0 : at);
}

QString DriveListBox::Drive() const { return current_; }

void DriveListBox::setDrive(const QString& root)
{
    int at = findData(root);
    if (at < 0) {
        addItem(root, root);
        at = count() - 1;
    }
    setCurrentIndex(at);
    if (root != current_) {
        current_ = root;
        emit Change();
    }
}

DirListBox::DirListBox(QWidget* parent) : QListWidget(parent)
{
    setIconSize(QSize(16, 16));
    connect(this, &QListWidget::itemDoubleClicked, this, &DirListBox::openItem);
}

bool DirListBox::setPath(const QString& path)
{
    QDir dir(path);
    if (!dir.exists() || !QFileInfo(dir.absolutePath()).isReadable())
        return false;
    const QString clean = QDir::cleanPath(dir.absolutePath());
    const QStringList subfolders =
        dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);

    clear();
    const QIcon open(nodeImage(3));
    const QIcon closed(nodeImage(1));
    // The chain from the root down to the open folder.
    QStringList chain;
    for (QString p = clean; !p.isEmpty();) {
        chain.prepend(p);
        const QString up = QFileInfo(p).path();
        if (up == p || p == QLatin1String("/"))
            break;
        p = up;
    }
    int depth = 0;
    for (const QString& p : chain) {
        const QString name = p == QLatin1String("/") ? p : QFileInfo(p).fileName();
        auto* item = new QListWidgetItem(open, QString(depth * 2, u' ') + name, this);
        item->setData(Qt::UserRole, p);
        ++depth;
    }
    QListWidgetItem* current = item(count() - 1);
    for (const QString& s : subfolders) {
        auto* item = new QListWidgetItem(closed, QString(depth * 2, u' ') + s, this);
        item->setData(Qt::UserRole, QDir(clean).filePath(s));
    }
    setCurrentItem(current);
    if (clean != path_) {
        path_ = clean;
        emit Change();
    }
    return true;
}

void DirListBox::openItem(QListWidgetItem* item)
{
    if (item)
        setPath(item->data(Qt::UserRole).toString());
}

void DirListBox::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        openItem(currentItem());
        return;
    }
    QListWidget::keyPressEvent(event);
}

void DirListBox::keyboardSearch(const QString& search)
{
    // The names are indented by depth, which the list's own search would take as part of them.
    if (!typing_.isValid() || typing_.elapsed() > QApplication::keyboardInputInterval())
        typed_.clear();
    typing_.start();
    typed_ += search;
    // A first letter looks beyond the current folder; more letters may still match it.
    const int from = std::max(currentRow(), 0) + (typed_.size() == 1 ? 1 : 0);
    for (int i = 0; i < count(); ++i) {
        QListWidgetItem* candidate = item((from + i) % count());
        if (candidate->text().trimmed().startsWith(typed_, Qt::CaseInsensitive)) {
            setCurrentItem(candidate);
            return;
        }
    }
}

FileListBox::FileListBox(QWidget* parent) : QListWidget(parent) {}

void FileListBox::setPath(const QString& path)
{
    path_ = path;
    clear();
    addItems(QDir(path).entryList(QDir::Files, QDir::Name | QDir::IgnoreCase));
}

} // namespace qm
