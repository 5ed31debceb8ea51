// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "catalog/NameFile.h"
#include "main_window/Form1.h"
#include "platform/TreeView.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QTreeWidget>

#include <memory>
#include <optional>

// A main window over the test's store, started as the program starts it.
class FormTest : public qmtest::StoreTest {
protected:
    // Other windows are closed as the user closes them, storing what they hold.
    void TearDown() override
    {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w != form.get() && w->isVisible())
                w->close();
        qmtest::flushDeletes();
        form.reset();
        StoreTest::TearDown();
    }
    // Starts the window with `shownName` in dbase.name, or with no name file.
    qm::Form1& load(const std::optional<QString>& shownName)
    {
        if (shownName)
            qm::NameFile::write(*shownName);
        else
            QFile::remove(qm::NameFile::path());
        form = std::make_unique<qm::Form1>();
        form->Form_Load();
        return *form;
    }
    // A node as the user reaches it, opening the branches above it.
    qm::Node* node(const QString& key) { return form->TreeView1->Nodes().reveal(key); }
    void click(const QString& key)
    {
        form->TreeView1->setSelectedItem(node(key));
        form->TreeView1_NodeClick(node(key));
    }
    // A list's rows with their cells joined by "|".
    static QStringList rows(const QTreeWidget* list)
    {
        QStringList out;
        for (int i = 0; i < list->topLevelItemCount(); ++i) {
            QStringList cells;
            for (int c = 0; c < list->columnCount(); ++c)
                cells << list->topLevelItem(i)->text(c);
            out << cells.join(u'|');
        }
        return out;
    }
    // Children of a node of the main tree, or of `tree`, as "key:text", with
    // ":image:selectedImage" when asked.
    QStringList children(const QString& key, bool images = false, qm::TreeView* tree = nullptr)
    {
        QStringList out;
        qm::NodeModel& nodes = (tree ? tree : form->TreeView1)->Nodes();
        qm::Node* parent = nodes.reveal(key);
        nodes.fetchChildren(parent);
        for (const qm::Node* n : parent->Children)
            out << n->Key + u':' + n->Text
                    + (images ? QStringLiteral(":%1:%2").arg(n->Image).arg(n->SelectedImage) : QString());
        return out;
    }

    std::unique_ptr<qm::Form1> form;
};
