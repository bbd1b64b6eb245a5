// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "main_window/main_window.h"
#include "platform/scripted_platform.h"
#include "support/catalogue_builder.h"
#include "support/engine.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class CategoryGrid;

// A program folder with a catalogue and list.ini pointing at it, a scripted desktop, and the main window
// started on them. Tests fill the catalogue before start() and drive the real widgets after it.
class WindowFixture : public ::testing::Test
{
protected:
    WindowFixture();
    ~WindowFixture() override;

    // Creates the main window (its creation runs the whole start-up) and shows it; namedCatalogue is the
    // catalogue named on the command line. On the server engine the catalogue as filled so far is copied to the
    // test server first, and list.ini (or the command line) names its URI where it named the file; the window
    // starts once its lists have arrived.
    TFoablak& start(const QString& namedCatalogue = QString());
    // Waits until no list of the window is still arriving (a server's list comes through the event loop after
    // the window has waited a frame for it), as a user waits to see it.
    void waitForLists();
    // The same on the server engine only (the gestures below do it).
    void settleOnServer();
    bool onServer() const { return engine == Engine::Server; }
    TFoablak& window() { return *m_window; }

    template <typename T> T* widget(const QString& name) const
    {
        T* found = m_window->findChild<T*>(name);
        if (!found)
            ADD_FAILURE() << "no widget named " << name.toStdString();
        return found;
    }
    QTabWidget* tabs() const;
    QLineEdit* searchBox() const;
    QLabel* countLabel() const;
    QComboBox* searchColumns() const;
    CategoryGrid* grid(const QString& name) const;
    QStringList comboItems(QComboBox* combo) const;
    // Lists the shown tab again, as the program does after a change, and waits for the list on a server.
    void relist();
    // Switches the page control as a user would (the change handler runs).
    void switchToTab(int tab);
    // Clicks the cell of a grid at row, column as the user would.
    void clickCell(const QString& gridName, int row, int column = 0);

    Engine engine = Engine::File;
    // On the server engine, the window connects as a role that may only read the catalogue.
    bool readerOnly = false;
    ProgramFolder folder;
    std::unique_ptr<TestCatalogue> catalogue;
    platform::ScriptedPlatform desktop;

private:
    std::unique_ptr<TFoablak> m_window;
};
