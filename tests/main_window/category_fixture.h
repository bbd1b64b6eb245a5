// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "main_window/category_grid.h"
#include "support/window_fixture.h"

#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

// The main window on a filled catalogue, with the column captions the shipped language gives, and the
// gestures the user makes on the grids and the search controls.
class CategoryFixture : public WindowFixture
{
protected:
    // Starts the window with the shipped language, which gives the grids and the search list their captions,
    // and waits until it is active, as the user finds it (the first search column is selected then).
    TFoablak& startWithCaptions()
    {
        folder.installShippedLanguage();
        TFoablak& main = start();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&main));
        return main;
    }

    // Drags the right border of a column by dx pixels with the left button, as the user widens a column.
    void dragColumn(const QString& gridName, int column, int dx)
    {
        QHeaderView* header = grid(gridName)->horizontalHeader();
        const int border = header->sectionViewportPosition(column) + header->sectionSize(column) - 1;
        const QPoint from(border, header->height() / 2);
        QTest::mousePress(header->viewport(), Qt::LeftButton, Qt::NoModifier, from);
        QTest::mouseMove(header->viewport(), from + QPoint(dx / 2, 0));
        QTest::mouseMove(header->viewport(), from + QPoint(dx, 0));
        // Qt gives the release of a drag to the header's viewport, as it does the press and the moves.
        QTest::mouseRelease(header->viewport(), Qt::LeftButton, Qt::NoModifier, from + QPoint(dx, 0));
    }

    int columnWidth(const QString& gridName, int column) const
    {
        return grid(gridName)->horizontalHeader()->sectionSize(column);
    }

    // Picks an item of the search-column list with the keyboard, as a user's choice.
    void chooseSearchColumn(const QString& item)
    {
        QComboBox* combo = searchColumns();
        const int target = combo->findText(item);
        ASSERT_GE(target, 0) << "no search column " << item.toStdString();
        combo->setFocus();
        while (combo->currentIndex() < target)
            QTest::keyClick(combo, Qt::Key_Down);
        while (combo->currentIndex() > target)
            QTest::keyClick(combo, Qt::Key_Up);
        settleOnServer();
    }

    void typeSearch(const QString& text)
    {
        searchBox()->setFocus();
        QTest::keyClicks(searchBox(), text);
        settleOnServer();
    }

    // The values of one shown column of a grid, top to bottom.
    QStringList columnValues(const QString& gridName, int column) const
    {
        QStringList values;
        const QAbstractItemModel* model = grid(gridName)->model();
        for (int row = 0; row < model->rowCount(); ++row)
            values << model->index(row, column).data().toString();
        return values;
    }

    QLabel* label(const QString& name) const { return widget<QLabel>(name); }

    void expectNoErrors() const
    {
        EXPECT_TRUE(desktop.errors.reports.isEmpty()) << desktop.errors.reports.join('\n').toStdString();
    }
};
