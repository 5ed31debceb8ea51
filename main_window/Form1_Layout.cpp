// SPDX-License-Identifier: GPL-3.0-or-later
// How the main window grows, remembers its size and answers the keyboard.
#include "main_window/Form1.h"

#include "platform/AppPaths.h"
#include "main_window/StatusReport.h"
#include "main_window/XpandTree.h"
#include "platform/FolderLists.h"
#include "platform/GrowingClient.h"
#include "platform/TreeView.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QTreeWidget>

#include <optional>

namespace qm {
namespace {

// The left column (folder list and tree) takes a third of the extra width;
// of the extra height the folder list takes a third, the tree the rest.
constexpr double kLeft = 1.0 / 3;
constexpr double kUpper = 1.0 / 3;

// The window's own settings, apart from dbase.name, in the user's configuration folder.
// Without a home folder (configFolder() empty) nothing is kept.
std::optional<QSettings> windowSettings()
{
    const QString folder = configFolder();
    if (folder.isEmpty())
        return std::nullopt;
    return std::make_optional<QSettings>(folder + QStringLiteral("/window.ini"), QSettings::IniFormat);
}

} // namespace

void Form1::setupGrowth(GrowingClient& client)
{
    client.follow(Drive1, {0, 0, kLeft, 0});
    client.follow(Dir1, {0, 0, kLeft, kUpper});
    client.follow(Label1, {0, kUpper, 0, kUpper});
    client.follow(TreeView1, {0, kUpper, kLeft, 1});
    // The folder's own record is one row: its list grows in width only.
    client.follow(Label2, {kLeft, 0, kLeft, 0});
    client.follow(ListView2, {kLeft, 0, 1, 0});
    client.follow(Label3, {kLeft, 0, kLeft, 0});
    client.follow(ListView1, {kLeft, 0, 1, 1});
    // The name box, the buttons and the check boxes stay together, centred at the bottom.
    for (QWidget* w : std::initializer_list<QWidget*> {Label4, Text8, UpdateFolder, Command2, Command7, Command5,
             Command1, Command3, Command6, Command4, Check1, Check2, Check3, Check4})
        client.follow(w, {0.5, 1, 0.5, 1});
}

void Form1::placeWindow()
{
    const std::optional<QSettings> settings = windowSettings();
    const QSize saved = settings ? settings->value(QStringLiteral("MainWindow/size")).toSize() : QSize();
    resize(saved.isValid() ? saved : sizeHint()); // the designed size unless another was kept
    // No larger than the screen: what does not fit scrolls.
    if (const QScreen* screen = this->screen()) {
        const QRect available = screen->availableGeometry();
        resize(size().boundedTo(available.size()));
        move(available.center() - rect().center());
    }
    if (settings && settings->value(QStringLiteral("MainWindow/maximized")).toBool())
        setWindowState(windowState() | Qt::WindowMaximized);
}

void Form1::saveWindowSize() const
{
    std::optional<QSettings> settings = windowSettings();
    if (!settings)
        return;
    settings->setValue(QStringLiteral("MainWindow/size"), isMaximized() ? normalGeometry().size() : size());
    settings->setValue(QStringLiteral("MainWindow/maximized"), isMaximized());
}

void Form1::setupKeyboard()
{
    // Every button answers a key as well; the captions stay as designed.
    const struct {
        QPushButton* button;
        QKeySequence key;
    } keys[] = {{Command2, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_A)},
        {UpdateFolder, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_U)},
        {Command7, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Delete)},
        {Command5, QKeySequence(Qt::CTRL | Qt::Key_O)}, {Command1, QKeySequence(Qt::CTRL | Qt::Key_N)},
        {Command3, QKeySequence(Qt::CTRL | Qt::Key_S)}, {Command6, QKeySequence(Qt::CTRL | Qt::Key_E)}};
    for (const auto& k : keys) {
        auto* action = new QAction(this);
        action->setShortcut(k.key);
        connect(action, &QAction::triggered, k.button, &QPushButton::click);
        addAction(action);
        k.button->setToolTip(k.key.toString(QKeySequence::NativeText));
    }
    auto* reload = new QAction(this);
    reload->setObjectName(QStringLiteral("ReloadTree"));
    reload->setShortcut(QKeySequence(Qt::Key_F5));
    connect(reload, &QAction::triggered, this, &Form1::reloadTree);
    addAction(reload);
    auto* name = new QAction(this);
    name->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    connect(name, &QAction::triggered, Text8, [this] { Text8->setFocus(Qt::ShortcutFocusReason); });
    addAction(name);

    // Tab follows the layout: the left column, the right column, then the
    // bottom block column by column.
    QWidget* order[] = {Drive1, Dir1, TreeView1, ListView2, ListView1, UpdateFolder, Command2, Command7, Text8, Command5,
        Check1, Check2, Command1, Check3, Check4, Command3, Command6, Command4, status().openButton()};
    for (size_t i = 1; i < std::size(order); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
}

void Form1::reloadTree()
{
    TreeView1->Nodes().Clear();
    guarded(this, [this] { XpandTree::LoadTree(*this); });
}

} // namespace qm
