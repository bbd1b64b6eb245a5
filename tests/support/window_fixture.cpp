#include "support/window_fixture.h"

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
    m_window = std::make_unique<TFoablak>(desktop.services(), namedCatalogue);
    m_window->show();
    return *m_window;
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

void WindowFixture::switchToTab(int tab)
{
    tabs()->setCurrentIndex(tab);
}

void WindowFixture::clickCell(const QString& gridName, int row, int column)
{
    CategoryGrid* view = grid(gridName);
    ASSERT_TRUE(view);
    ASSERT_TRUE(view->isVisible()) << gridName.toStdString() << " is hidden";
    const QModelIndex index = view->model()->index(row, column);
    ASSERT_TRUE(index.isValid());
    view->scrollTo(index);
    const QRect cell = view->visualRect(index);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
}
