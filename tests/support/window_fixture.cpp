// SPDX-License-Identifier: GPL-3.0-or-later

#include "support/window_fixture.h"

#include "localisation/codepage.h"
#include "main_window/category_grid.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>
#include <QTest>

WindowFixture::WindowFixture() : desktop(folder.path())
{
    catalogue = std::make_unique<TestCatalogue>(folder.path().chopped(1));
    folder.writeSettings(catalogue->path());
}

WindowFixture::~WindowFixture()
{
    if (m_window) {
        m_window->setAttribute(Qt::WA_DeleteOnClose, false);
        m_window->hide();
    }
}

TFoablak& WindowFixture::start(const QString& namedCatalogue)
{
    // A window started before is put away first, as the program's own end puts it away before it goes.
    if (m_window)
        m_window->hide();
    QString named = namedCatalogue;
    if (engine == Engine::Server) {
        const QString file = catalogue->path();
        catalogue->moveToServer();
        const QString uri = readerOnly ? catalogue->readerUri() : catalogue->place();
        const QByteArray settings = folder.readBytes(QStringLiteral("list.ini"));
        const QByteArray fileLine = localisation::encode1250(file).value_or(QByteArray());
        if (!fileLine.isEmpty() && settings.startsWith(fileLine))
            folder.writeBytes(QStringLiteral("list.ini"),
                              localisation::encode1250(uri).value() + settings.mid(fileLine.size()));
        if (named == file)
            named = uri;
    }
    m_window = std::make_unique<TFoablak>(desktop.services(), named);
    m_window->show();
    settleOnServer();
    return *m_window;
}

void WindowFixture::waitForLists()
{
    if (!m_window)
        return;
    const bool arrived = QTest::qWaitFor(
        [this] { return !m_window->browseQuery().isPending() && !m_window->detailQuery().isPending(); }, 10000);
    EXPECT_TRUE(arrived) << "a list of the window never arrived";
}

void WindowFixture::settleOnServer()
{
    // A list may be counted in the background on either engine: a file's too, when the machine is busy or the
    // search slow. A list that is there already is not waited for, and no event is handled then.
    waitForLists();
}

QTabWidget* WindowFixture::tabs() const
{
    return widget<QTabWidget>(QStringLiteral("Olvasas"));
}

QLineEdit* WindowFixture::searchBox() const
{
    return widget<QLineEdit>(QStringLiteral("kereses"));
}

QLabel* WindowFixture::countLabel() const
{
    return widget<QLabel>(QStringLiteral("Label2"));
}

QComboBox* WindowFixture::searchColumns() const
{
    return widget<QComboBox>(QStringLiteral("Keresesoszlop"));
}

CategoryGrid* WindowFixture::grid(const QString& name) const
{
    return widget<CategoryGrid>(name);
}

QStringList WindowFixture::comboItems(QComboBox* combo) const
{
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items << combo->itemText(i);
    return items;
}

void WindowFixture::relist()
{
    m_window->OlvasasChange();
    settleOnServer();
}

void WindowFixture::switchToTab(int tab)
{
    tabs()->setCurrentIndex(tab);
    settleOnServer();
}

void WindowFixture::clickCell(const QString& gridName, int row, int column)
{
    CategoryGrid* view = grid(gridName);
    ASSERT_TRUE(view);
    settleOnServer();
    ASSERT_TRUE(view->isVisible()) << gridName.toStdString() << " is hidden";
    const QModelIndex index = view->model()->index(row, column);
    ASSERT_TRUE(index.isValid());
    view->scrollTo(index);
    const QRect cell = view->visualRect(index);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
}
