// SPDX-License-Identifier: GPL-3.0-or-later

#include "main_window/main_window.h"

#include "main_window/category_grid.h"
#include "platform/failure.h"
#include "engine/categories.h"

#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QScrollBar>
#include <QTimer>

// Several users on one server catalogue: what another program changes comes into the open lists soon after the
// server announces it, without taking a row from under the user's mouse.

namespace {

// A burst of announcements (an album and its first track, a copy of many rows) is read once.
constexpr int gatherMs = 60;
// While the user is busy the lists are looked at again this often.
constexpr int busyRetryMs = 150;
// A list whose rows could not be read (the connection to the server was lost) is tried again this often, quietly,
// until it reads again.
constexpr int lostRetryMs = 2000;
// How far from its old place a row is looked for in the new list. Another user's changes move a row by a few
// places; looking through a whole list of a million rows on every announcement would cost far more than a
// rare jump back to the same place number.
constexpr int searchReach = 500;

int identityColumn(const engine::RowSet& rows)
{
    return rows.columnIndex(engine::rowIdentityColumn);
}

// The identity of a row, or null when the row is not there or cannot be read now.
QVariant identityOf(const catalogue::QueryChannel& channel, int row)
{
    const engine::RowSet* rows = channel.rows();
    if (!rows || row < 0 || row >= rows->count())
        return QVariant();
    const int column = identityColumn(*rows);
    if (column < 0)
        return QVariant();
    try {
        return rows->value(row, column);
    } catch (const platform::Failure&) {
        return QVariant();
    }
}

// The place of the row with this identity, looked for outwards from where it was; -1 when it is gone.
int placeOf(const catalogue::QueryChannel& channel, const QVariant& identity, int near)
{
    const engine::RowSet* rows = channel.rows();
    if (!rows || identity.isNull())
        return -1;
    const int column = identityColumn(*rows);
    const int count = rows->count();
    if (column < 0 || count == 0)
        return -1;
    near = std::clamp(near, 0, count - 1);
    try {
        for (int distance = 0; distance <= searchReach; ++distance) {
            const int below = near + distance;
            const int above = near - distance;
            if (below >= count && above < 0)
                break;
            if (below < count && rows->value(below, column) == identity)
                return below;
            if (distance > 0 && above >= 0 && rows->value(above, column) == identity)
                return above;
        }
    } catch (const platform::Failure&) {
    }
    return -1;
}

// Where the user is in a grid: the row they chose, the first row on the screen, and the columns.
struct GridPlace
{
    int current = -1;
    QVariant currentIdentity;
    int top = -1;
    QVariant topIdentity;
    int horizontal = 0;
    std::vector<int> widths;
};

GridPlace placeIn(const CategoryGrid& grid, const catalogue::QueryChannel& channel)
{
    GridPlace place;
    place.current = grid.currentIndex().isValid() ? grid.currentIndex().row() : -1;
    place.currentIdentity = identityOf(channel, place.current);
    place.top = grid.rowAt(0);
    place.topIdentity = identityOf(channel, place.top);
    place.horizontal = grid.horizontalScrollBar()->value();
    place.widths = grid.columnWidths();
    return place;
}

void restorePlace(CategoryGrid& grid, const catalogue::QueryChannel& channel, const GridPlace& place)
{
    grid.setColumnWidths(place.widths);
    const int count = grid.model()->rowCount();
    if (count == 0)
        return;
    const int current = placeOf(channel, place.currentIdentity, place.current);
    if (current >= 0)
        grid.selectionModel()->setCurrentIndex(grid.model()->index(current, 0),
                                               QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    if (place.top >= 0) {
        // The row that was first on the screen stays first; one that went leaves its place number there.
        int top = placeOf(channel, place.topIdentity, place.top);
        if (top < 0)
            top = std::min(place.top, count - 1);
        grid.scrollTo(grid.model()->index(top, 0), QAbstractItemView::PositionAtTop);
    }
    grid.horizontalScrollBar()->setValue(place.horizontal);
}

} // namespace

void TFoablak::followOtherUsers()
{
    m_changeTimer = new QTimer(this);
    m_changeTimer->setSingleShot(true);
    connect(m_changeTimer, &QTimer::timeout, this, [this] { refreshChangedLists(); });
    // Only a server announces changes; a file catalogue's lists are read again at the next list, as ever.
    m_browseQuery.setFollowsChanges(true);
    connect(&m_browseQuery, &catalogue::QueryChannel::catalogueChanged, this,
            [this](const QStringList& tables) { otherUsersChanged(tables); });
    m_lostListTimer = new QTimer(this);
    m_lostListTimer->setSingleShot(true);
    connect(m_lostListTimer, &QTimer::timeout, this, [this] { readLostListsAgain(); });
    for (CategoryGrid* grid : m_grids)
        connect(grid->rowSetModel(), &RowSetModel::screenFailed, this,
                [this](const QString& original) { listScreenFailed(original); });
    connect(m_trackGrid->rowSetModel(), &RowSetModel::screenFailed, this,
            [this](const QString& original) { listScreenFailed(original); });
}

void TFoablak::listScreenFailed(const QString& original)
{
    // Told once; the rows already read stay, and the list reads itself again at the same place once the
    // catalogue can be read again (a server back after a restart, a network come back).
    if (!m_lostListTimer->isActive())
        reportUnreadableList(original);
    m_lostListTimer->start(lostRetryMs);
}

void TFoablak::readLostListsAgain()
{
    if (busyWithTheLists()) {
        m_lostListTimer->start(busyRetryMs);
        return;
    }
    const int tab = activeTab();
    if (tab < 0 || tab >= engine::dataCategoryCount || !m_browseQuery.isOpen())
        return;
    // Quietly: a list that still cannot be read is tried again later, without another message.
    const auto stillLost = [this](const QString&) { m_lostListTimer->start(lostRetryMs); };
    try {
        refreshList(m_grids[static_cast<std::size_t>(tab)], m_browseQuery, tab, stillLost);
        if (tab == 0 && m_detailQuery.isOpen())
            refreshList(m_trackGrid, m_detailQuery, -1, stillLost);
    } catch (const platform::Failure& failure) {
        stillLost(failure.text());
    }
}

void TFoablak::otherUsersChanged(const QStringList& tables)
{
    for (const QString& table : tables)
        if (!m_changedTables.contains(table.toLower()))
            m_changedTables << table.toLower();
    if (!m_changeTimer->isActive())
        m_changeTimer->start(gatherMs);
}

bool TFoablak::busyWithTheLists() const
{
    // A button held over a grid or its column titles: a click, a selection or a column border being dragged.
    if (QApplication::mouseButtons() != Qt::NoButton || m_trackGrid->mouseHeld())
        return true;
    for (const CategoryGrid* grid : m_grids)
        if (grid->mouseHeld())
            return true;
    // A handler under way (one that waits in a message box included), or a list being opened.
    if (m_handlerDepth > 0 || m_inBrowse || QApplication::activeModalWidget())
        return true;
    // The entry dialog edits a row: the list keeps the row the edit started from in its place.
    if (m_entryDialogWindow && m_entryDialogWindow->isVisible() && m_editState.mode.editMode)
        return true;
    // A search still being read: its own list is coming, read now.
    return m_browseQuery.isPending() || m_detailQuery.isPending();
}

void TFoablak::refreshChangedLists()
{
    if (m_changedTables.isEmpty())
        return;
    if (busyWithTheLists()) {
        m_changeTimer->start(busyRetryMs);
        return;
    }
    const QStringList changed = std::exchange(m_changedTables, QStringList());
    const int tab = activeTab();
    if (tab < 0 || tab >= engine::dataCategoryCount || !m_browseQuery.isOpen())
        return;
    ++m_handlerDepth;
    platform::runDescribedHandler(
        m_services.errors,
        [this, tab] {
            return QStringLiteral("A más gépről változtatott „%1” tábla nem olvasható be újra: %2")
                .arg(engine::category(tab).table, shownCatalogueName());
        },
        [&] {
            if (changed.contains(engine::category(tab).table.toLower()))
                refreshList(m_grids[static_cast<std::size_t>(tab)], m_browseQuery, tab);
            // The album's tracks, and the album itself, may have been changed or deleted by another user.
            if (tab == 0 && m_detailQuery.isOpen() &&
                (changed.contains(QStringLiteral("szamok")) || changed.contains(QStringLiteral("eloado"))))
                refreshList(m_trackGrid, m_detailQuery, -1);
        });
    --m_handlerDepth;
}

void TFoablak::refreshList(CategoryGrid* grid, catalogue::QueryChannel& channel, int tab,
                           std::function<void(const QString&)> failed)
{
    const GridPlace place = placeIn(*grid, channel);
    // The rows shown stay until the new ones are in; then the user's row and the first row on the screen are
    // put back where they were.
    channel.refreshThen(
        [this, grid, &channel, tab, place] {
            const int count = channel.recordCount();
            if (tab >= 0) {
                showCount(count);
                QLabel* empty = m_emptyLabels[static_cast<std::size_t>(tab)];
                grid->setVisible(count > 0);
                if (tab == 0)
                    m_trackGrid->setVisible(count > 0);
                empty->setVisible(count < 1);
            }
            restorePlace(*grid, channel, place);
        },
        failed ? std::move(failed) : [this](const QString& text) { reportUnreadableList(text); });
}

void TFoablak::reportUnreadableList(const QString& original)
{
    // From painting or from the event loop: the box is shown once the current event is over, and once for the
    // list, not once for every cell that could not be read.
    QMetaObject::invokeMethod(
        this,
        [this, original] {
            m_services.errors.report(platform::reportedText(
                platform::Failure(original),
                QStringLiteral("A lista sorai nem olvashatók be a katalógusból: %1").arg(shownCatalogueName())));
        },
        Qt::QueuedConnection);
}
