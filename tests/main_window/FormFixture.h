#pragma once
#include "catalog/NameFile.h"
#include "main_window/Form1.h"
#include "platform/TreeView.h"
#include "support/TestSupport.h"

#include <QTreeWidget>

#include <memory>

// A main window over the test's store, started as the program starts it.
class FormTest : public qmtest::StoreTest {
protected:
    void TearDown() override
    {
        form.reset();
        StoreTest::TearDown();
    }
    qm::Form1& load(const QString& shownName)
    {
        qm::NameFile::write(shownName);
        form = std::make_unique<qm::Form1>();
        form->Form_Load();
        return *form;
    }
    qm::Node* node(const QString& key) { return form->TreeView1->Nodes().find(key); }
    void click(const QString& key)
    {
        form->TreeView1->setSelectedItem(node(key));
        form->TreeView1_NodeClick(node(key));
    }
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
    // Children of a node as "key:text:image:selectedImage".
    QStringList children(const QString& key)
    {
        QStringList out;
        for (const qm::Node* n : node(key)->Children)
            out << QStringLiteral("%1:%2:%3:%4").arg(n->Key, n->Text).arg(n->Image).arg(n->SelectedImage);
        return out;
    }

    std::unique_ptr<qm::Form1> form;
};
