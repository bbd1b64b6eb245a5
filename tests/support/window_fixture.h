#pragma once

#include "main_window/main_window.h"
#include "platform/scripted_platform.h"
#include "support/catalogue_builder.h"

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
    // catalogue named on the command line.
    TFoablak& start(const QString& namedCatalogue = QString());
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
    // Switches the page control as a user would (the change handler runs).
    void switchToTab(int tab);
    // Clicks the cell of a grid at row, column as the user would.
    void clickCell(const QString& gridName, int row, int column = 0);

    ProgramFolder folder;
    std::unique_ptr<TestCatalogue> catalogue;
    platform::ScriptedPlatform desktop;

private:
    std::unique_ptr<TFoablak> m_window;
};
