#include "main_window/category_grid.h"

#include <QEvent>
#include <QHideEvent>
#include <QShowEvent>
#include <QHeaderView>

CategoryGrid::CategoryGrid(const QString& name, RowSetModel* model, QWidget* parent)
    : QTableView(parent), m_model(model)
{
    setObjectName(name);
    model->setParent(this);
    setModel(model);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setMinimumSectionSize(0);
    horizontalHeader()->setStretchLastSection(false);
    horizontalHeader()->setHighlightSections(false);
    verticalHeader()->setDefaultSectionSize(18);
    verticalHeader()->setFixedWidth(12); // the row indicator
    viewport()->installEventFilter(this);
    horizontalHeader()->installEventFilter(this);
    connect(this, &QAbstractItemView::clicked, this, [this](const QModelIndex& index) {
        if (index.isValid())
            emit rowClicked(index.row());
    });
}

std::vector<int> CategoryGrid::columnWidths() const
{
    std::vector<int> widths;
    for (int i = 0; i < m_model->columnCount(); ++i)
        widths.push_back(horizontalHeader()->sectionSize(i));
    return widths;
}

void CategoryGrid::setColumnWidths(const std::vector<int>& widths)
{
    for (int i = 0; i < m_model->columnCount() && i < static_cast<int>(widths.size()); ++i)
        horizontalHeader()->resizeSection(i, widths[static_cast<std::size_t>(i)]);
}

// Only a grid on the screen holds its list's rows (a minimised window keeps them).
void CategoryGrid::showEvent(QShowEvent* event)
{
    m_model->setShown(true);
    QTableView::showEvent(event);
}

void CategoryGrid::hideEvent(QHideEvent* event)
{
    if (!event->spontaneous())
        m_model->setShown(false);
    QTableView::hideEvent(event);
}

bool CategoryGrid::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonRelease && (watched == viewport() || watched == horizontalHeader()))
        emit mouseReleased();
    return QTableView::eventFilter(watched, event);
}
