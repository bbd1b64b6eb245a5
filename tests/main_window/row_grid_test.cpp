// SPDX-License-Identifier: GPL-3.0-or-later

#include "main_window/row_grid.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QHeaderView>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTest>
#include <QWheelEvent>
#include <algorithm>
#include <gtest/gtest.h>
#include <memory>

namespace {

// A list of any length whose cells say where they are, read only for the rows the grid asks for.
class PlacesModel : public QAbstractTableModel
{
public:
    explicit PlacesModel(int rows) : m_rows(rows) {}

    int rowCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : m_rows; }
    int columnCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : 3; }
    QVariant data(const QModelIndex& index, int role) const override
    {
        if (role != Qt::DisplayRole)
            return {};
        return QStringLiteral("%1/%2").arg(index.row()).arg(index.column());
    }
    void append(int rows)
    {
        beginInsertRows({}, m_rows, m_rows + rows - 1);
        m_rows += rows;
        endInsertRows();
    }

private:
    int m_rows;
};

class RowGridTest : public ::testing::Test
{
protected:
    void open(int rows)
    {
        model = std::make_unique<PlacesModel>(rows);
        grid = std::make_unique<RowGrid>();
        grid->setModel(model.get());
        grid->setSelectionBehavior(QAbstractItemView::SelectRows);
        grid->setSelectionMode(QAbstractItemView::ExtendedSelection);
        grid->verticalHeader()->setFixedWidth(12);
        grid->verticalHeader()->setSectionsClickable(true);
        grid->resize(400, 300);
        grid->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(grid.get()));
        // Whole rows fill the viewport, so that a screen is a known number of rows.
        setSpare(0);
    }

    // Makes the viewport this many pixels taller than its whole rows.
    void setSpare(int pixels)
    {
        const int height = grid->viewport()->height();
        grid->resize(grid->width(), grid->height() - height % grid->rowHeight() + pixels);
        QApplication::processEvents();
        ASSERT_EQ(grid->viewport()->height() % grid->rowHeight(), pixels);
    }

    // The row whose cells are painted at a height of the viewport, as the user reads it there.
    int rowShownAt(int y) const { return grid->indexAt(QPoint(5, y)).row(); }
    int lastRowShown() const { return rowShownAt(grid->viewport()->height() - 1); }
    int currentRow() const { return grid->currentIndex().row(); }
    bool onScreen(int row) const
    {
        const QRect place = grid->visualRect(model->index(row, 0));
        return place.top() >= 0 && place.bottom() < grid->viewport()->height();
    }

    std::unique_ptr<PlacesModel> model;
    std::unique_ptr<RowGrid> grid;
};

TEST_F(RowGridTest, aMillionRowsKeepNothingPerRowAndTheLastIsReachedWithTheKeys)
{
    open(1000000);
    EXPECT_EQ(grid->verticalHeader()->count(), 0);
    const int page = grid->rowsOnScreen();
    ASSERT_GT(page, 3);

    struct Step
    {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        int row; // the current row after the key, shown on the screen
    };
    const std::vector<Step> steps = {
        {Qt::Key_Home, Qt::ControlModifier, 0}, {Qt::Key_Down, Qt::NoModifier, 1},
        {Qt::Key_Up, Qt::NoModifier, 0},        {Qt::Key_Up, Qt::NoModifier, 0}, // nothing above the first row
        {Qt::Key_Down, Qt::NoModifier, 1},      {Qt::Key_PageDown, Qt::NoModifier, 1 + page},
        {Qt::Key_PageUp, Qt::NoModifier, 1},    {Qt::Key_End, Qt::ControlModifier, 999999},
        {Qt::Key_Up, Qt::NoModifier, 999998},   {Qt::Key_PageUp, Qt::NoModifier, 999998 - page},
        {Qt::Key_Home, Qt::ControlModifier, 0}, {Qt::Key_Down, Qt::NoModifier, 1},
    };
    for (const Step& step : steps) {
        QTest::keyClick(grid.get(), step.key, step.modifiers);
        EXPECT_EQ(currentRow(), step.row) << "after key " << step.key;
        EXPECT_TRUE(onScreen(step.row)) << "row " << step.row;
        // A move with Ctrl leaves the selection as it was, as in any list that selects several rows.
        if (step.modifiers == Qt::NoModifier) {
            EXPECT_TRUE(grid->selectionModel()->isRowSelected(step.row, {})) << "row " << step.row;
            EXPECT_EQ(grid->selectionModel()->selectedRows().size(), 1);
        }
    }

    // At the end the last row lies on the bottom of the viewport, the first one cut, as a table lays them out.
    setSpare(9);
    QTest::keyClick(grid.get(), Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(lastRowShown(), 999999);
    EXPECT_EQ(grid->indexAt(QPoint(5, grid->viewport()->height() - 2)).data().toString(), QStringLiteral("999999/0"));
    EXPECT_EQ(rowShownAt(0), 999999 - page);
    EXPECT_EQ(grid->visualRect(model->index(999999 - page, 0)).top(), 9 - grid->rowHeight());
}

TEST_F(RowGridTest, theRowUnderTheMouseIsTheRowPaintedThereWhereverTheListIsScrolled)
{
    open(50000);
    for (int top : {0, 12345, 49000}) {
        grid->scrollTo(model->index(top, 0), QAbstractItemView::PositionAtTop);
        ASSERT_EQ(rowShownAt(1), top);
        const int row = top + 3;
        const QRect cell = grid->visualRect(model->index(row, 1));
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
        EXPECT_EQ(currentRow(), row);
        EXPECT_EQ(grid->currentIndex().data().toString(), QStringLiteral("%1/1").arg(row));
        EXPECT_TRUE(grid->selectionModel()->isRowSelected(row, {}));
    }
    // The wheel moves the rows and what lies under the mouse with them.
    grid->scrollTo(model->index(100, 0), QAbstractItemView::PositionAtTop);
    const QPoint middle = grid->viewport()->rect().center();
    QWheelEvent wheel(middle, grid->viewport()->mapToGlobal(middle), QPoint(), QPoint(0, -120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(grid->viewport(), &wheel);
    EXPECT_GT(rowShownAt(1), 100);
    EXPECT_EQ(grid->verticalScrollBar()->value(), rowShownAt(1));
}

TEST_F(RowGridTest, aPressOnTheRowIndicatorSelectsItsRowAndShiftAddsTheRunBetween)
{
    open(5000);
    grid->scrollTo(model->index(2000, 0), QAbstractItemView::PositionAtTop);
    QWidget* indicator = grid->verticalHeader()->viewport();
    const auto pointOf = [&](int row) { return QPoint(5, grid->visualRect(model->index(row, 0)).center().y()); };
    QTest::mouseClick(indicator, Qt::LeftButton, Qt::NoModifier, pointOf(2002));
    EXPECT_EQ(currentRow(), 2002);
    EXPECT_EQ(grid->selectionModel()->selectedRows().size(), 1);
    QTest::mouseClick(indicator, Qt::LeftButton, Qt::ShiftModifier, pointOf(2005));
    EXPECT_EQ(currentRow(), 2005);
    QList<int> rows;
    for (const QModelIndex& index : grid->selectionModel()->selectedRows())
        rows << index.row();
    std::sort(rows.begin(), rows.end());
    EXPECT_EQ(rows, (QList<int>{2002, 2003, 2004, 2005}));
    // Every column of a selected row is selected, as a whole-row grid copies it.
    EXPECT_TRUE(grid->selectionModel()->isSelected(model->index(2004, 2)));
}

// Asked to show an index that names no row of its list (none, or another list's), the grid stays where it is.
TEST_F(RowGridTest, anIndexOfNoRowLeavesTheRowsWhereTheyAre)
{
    open(5000);
    grid->scrollTo(model->index(300, 0), QAbstractItemView::PositionAtTop);
    const PlacesModel another(10);
    for (const QModelIndex& nowhere : {QModelIndex(), another.index(2, 0)}) {
        grid->scrollTo(nowhere);
        EXPECT_EQ(rowShownAt(1), 300);
    }
}

TEST_F(RowGridTest, rowsAddedLaterAreReachedAndAShorterListKeepsItsPlaceInRange)
{
    open(100);
    model->append(900);
    grid->scrollToBottom();
    EXPECT_EQ(lastRowShown(), 999);
    // A list that shrinks under a scrolled grid leaves no row painted beyond its end.
    auto shorter = std::make_unique<PlacesModel>(10);
    grid->setModel(shorter.get());
    model = std::move(shorter);
    EXPECT_EQ(grid->verticalScrollBar()->value(), 0);
    EXPECT_EQ(rowShownAt(1), 0);
    EXPECT_EQ(lastRowShown(), -1);
    EXPECT_EQ(rowShownAt(9 * grid->rowHeight() + 1), 9);
}

} // namespace

namespace {

// One column of given texts.
class TextsModel : public QAbstractTableModel
{
public:
    explicit TextsModel(QStringList texts) : m_texts(std::move(texts)) {}
    int rowCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : int(m_texts.size()); }
    int columnCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : 1; }
    QVariant data(const QModelIndex& index, int role) const override
    {
        return role == Qt::DisplayRole ? QVariant(m_texts.at(index.row())) : QVariant();
    }

private:
    QStringList m_texts;
};

} // namespace

// A text of Latin letters alone is set without shaping, as if the font were told to skip it; a text in another
// script, or with a combining accent, is shaped as the style's own cells shape it, its letters joined and its
// marks in place.
TEST(RowGridText, latinTextIsSetWithoutShapingAndEveryOtherScriptAsTheStyleSetsIt)
{
    struct Case
    {
        const char* what;
        QString text;
        bool shaped;
    };
    const std::vector<Case> cases = {
        {"Hungarian and punctuation", QStringLiteral("Árvíztűrő tükörfúrógép – AVATÁR „Őszi” WAVE"), false},
        {"Arabic", QStringLiteral("مرحبا بالعالم"), true},
        {"a combining accent", QStringLiteral("Ho\u030Bs \u0150sz"), true},
    };
    const auto painted = [](const QString& text, QAbstractItemDelegate* delegate, bool unshapedFont) {
        TextsModel model({text, text});
        RowGrid grid;
        if (delegate)
            grid.setItemDelegate(delegate);
        if (unshapedFont) {
            QFont font = grid.font();
            font.setStyleStrategy(QFont::PreferNoShaping);
            grid.setFont(font);
        }
        grid.setModel(&model);
        grid.horizontalHeader()->resizeSection(0, 380);
        grid.resize(400, 120);
        grid.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&grid));
        return grid.viewport()->grab().toImage();
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QImage own = painted(c.text, nullptr, false);
        const QImage styleShaped = painted(c.text, new QStyledItemDelegate, false);
        const QImage unshaped = painted(c.text, new QStyledItemDelegate, true);
        ASSERT_NE(styleShaped, unshaped) << "the font sets this text the same either way: it tells nothing";
        EXPECT_EQ(own == styleShaped, c.shaped);
        EXPECT_EQ(own == unshaped, !c.shaped);
    }
}
