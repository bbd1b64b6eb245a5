// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "entry_dialog/entry_dialog.h"
#include "entry_dialog/help_dialog.h"
#include "support/qt_printing.h"
#include "support/window_fixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <memory>

// The main window on a real catalogue with the entry dialog and the help dialog created after it, as the
// program does, and the gestures a user makes in the dialog.
class EntryFixture : public WindowFixture
{
protected:
    ~EntryFixture() override
    {
        if (m_dialog)
            m_dialog->hide();
    }

    // Starts the main window (any start-up question answered Yes), then the two dialogs.
    TRogzites& startAll()
    {
        desktop.prompts.setDefaultAnswer(platform::Answer::Yes);
        TFoablak& main = start();
        desktop.prompts.setDefaultAnswer(platform::Answer::No);
        desktop.prompts.confirmations.clear();
        m_dialog = new TRogzites(main.editState(), &main);
        main.setEntryDialog(m_dialog);
        m_help = new Thang_felirat_help(&main);
        m_dialog->setHelpDialog(m_help);
        return *m_dialog;
    }

    TRogzites& dialog() { return *m_dialog; }
    Thang_felirat_help& help() { return *m_help; }

    template <typename T> T* control(const QString& name) const
    {
        T* found = m_dialog->findChild<T*>(name);
        if (!found)
            ADD_FAILURE() << "no control named " << name.toStdString();
        return found;
    }
    QLineEdit* edit(const QString& name) const { return control<QLineEdit>(name); }
    QCheckBox* checkBox(const QString& name) const { return control<QCheckBox>(name); }
    QComboBox* combo(const QString& name) const { return control<QComboBox>(name); }
    QListWidget* list(const QString& name) const { return control<QListWidget>(name); }
    QTabWidget* pages() const { return control<QTabWidget>(QStringLiteral("tabla")); }
    QString text(const QString& name) const { return edit(name)->text(); }

    // The main window's two buttons that open the dialog.
    void pressAdatbevitel() { QTest::mouseClick(window().findChild<QPushButton*>("Felvetel"), Qt::LeftButton); }
    void pressSzerkesztes() { QTest::mouseClick(window().findChild<QPushButton*>("Szerkesztes"), Qt::LeftButton); }

    void click(const QString& name) { QTest::mouseClick(control<QAbstractButton>(name), Qt::LeftButton); }
    void clickInto(const QString& name)
    {
        QLineEdit* field = edit(name);
        QTest::mouseClick(field, Qt::LeftButton, Qt::NoModifier, field->rect().center());
    }
    // Types characters one key at a time, accented letters included.
    static void typeKeys(QWidget* target, const QString& typed)
    {
        for (const QChar character : typed) {
            if (character.unicode() < 128) {
                QTest::keyClick(target, character.toLatin1());
            } else {
                QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(character));
                QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(character));
                QApplication::sendEvent(target, &press);
                QApplication::sendEvent(target, &release);
            }
        }
    }
    // Focuses a field, selects what it holds and types over it (an empty text deletes it).
    void typeInto(const QString& name, const QString& typed) { typeOver(edit(name), typed); }
    void typeIntoCombo(const QString& name, const QString& typed) { typeOver(combo(name)->lineEdit(), typed); }
    static void typeOver(QLineEdit* field, const QString& typed)
    {
        field->setFocus(Qt::MouseFocusReason);
        field->selectAll();
        if (typed.isEmpty())
            QTest::keyClick(field, Qt::Key_Delete);
        typeKeys(field, typed);
    }
    void doubleClickItem(const QString& listName, int row)
    {
        QListWidget* box = list(listName);
        const QRect place = box->visualItemRect(box->item(row));
        QTest::mouseClick(box->viewport(), Qt::LeftButton, Qt::NoModifier, place.center());
        QTest::mouseDClick(box->viewport(), Qt::LeftButton, Qt::NoModifier, place.center());
    }
    // Picks a page tab of the dialog as the user does.
    void pickPage(int index)
    {
        QTabBar* bar = pages()->tabBar();
        QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier, bar->tabRect(index).center());
    }
    QStringList items(const QString& listName) const
    {
        QStringList texts;
        for (int i = 0; i < list(listName)->count(); ++i)
            texts << list(listName)->item(i)->text();
        return texts;
    }
    QStringList comboItems(const QString& name) const { return WindowFixture::comboItems(combo(name)); }
    QString focusedName() const { return m_dialog->focusWidget() ? m_dialog->focusWidget()->objectName() : QString(); }
    // Makes a window the active one, as the user's click on it does, and waits until it is.
    static bool activate(QWidget* target)
    {
        target->activateWindow();
        return QTest::qWaitFor([target] { return QApplication::activeWindow() == target; });
    }
    // Lets posted calls (the focus put back by a refused length) run.
    static void settle() { QCoreApplication::processEvents(); }

    // Gives the text slots the dialog reads their texts, as a language file would.
    void setSlots(const std::vector<std::pair<int, QString>>& texts)
    {
        for (const auto& [id, value] : texts)
            window().textSlots().set(id, value);
    }

private:
    TRogzites* m_dialog = nullptr;
    Thang_felirat_help* m_help = nullptr;
};
