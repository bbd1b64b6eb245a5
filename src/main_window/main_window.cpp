// SPDX-License-Identifier: GPL-3.0-or-later

#include "main_window/main_window.h"

#include "main_window/category_grid.h"
#include "main_window/fitted_label.h"
#include "main_window/link_label.h"
#include "main_window/list_commands.h"
#include "main_window/media_drops.h"
#include "platform/failure.h"
#include "engine/categories.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QTabBar>
#include <QTabWidget>
#include <QWindow>
#include <limits>

namespace {

QPushButton* makeButton(QWidget* parent, const QString& name, const QString& caption, QRect place)
{
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(name);
    button->setGeometry(place);
    return button;
}

QLabel* makeLabel(QWidget* parent, const QString& name, const QString& caption, QPoint place)
{
    auto* label = new QLabel(caption, parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    label->move(place);
    label->adjustSize();
    return label;
}

// The web address as the link label shows it: without the scheme and the closing slash.
QString shownAddress(QString address)
{
    address.remove(QStringLiteral("https://"));
    if (address.endsWith(QLatin1Char('/')))
        address.chop(1);
    return address;
}

// Titles the grids show before a language file names them: the album grid's own, the field names elsewhere.
QStringList designedTitles(int tab, const std::vector<engine::GridColumn>& columns)
{
    if (tab == 0)
        return {QStringLiteral("Előadó"), QStringLiteral("Album")};
    QStringList titles;
    for (const engine::GridColumn& column : columns)
        titles << column.field;
    return titles;
}

} // namespace

QFont designedFont()
{
    // Tahoma 8 points where it exists; otherwise a sans-serif of the same width, so the designed places hold.
    QFont designed;
    designed.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
                          QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("Sans Serif")});
    designed.setPixelSize(11);
    return designed;
}

const QString OpenDialog::filter = QStringLiteral(
    "Összes támogatott lista (*.tnx *.qvdb);;Tornel file lista (*.tnx);;Vortaq CD/DVD file lista (*.qvdb)");

TFoablak::TFoablak(platform::Services services, QWidget* parent) : TFoablak(services, QString(), parent) {}

TFoablak::TFoablak(platform::Services services, const QString& namedCatalogue, QWidget* parent)
    : QWidget(parent), m_services(services), m_browseQuery(QStringLiteral("browseQuery_%1").arg(quintptr(this))),
      m_detailQuery(QStringLiteral("detailQuery_%1").arg(quintptr(this))),
      m_unboundQuery(QStringLiteral("unbound_%1").arg(quintptr(this))),
      m_editState(m_browseQuery, m_detailQuery, m_services, m_textSlots), m_namedCatalogue(namedCatalogue)
{
    m_editState.setView(this);
    setObjectName(QStringLiteral("Foablak"));
    setWindowTitle(QStringLiteral("Médiatár"));
    setFont(designedFont());
    resize(744, 457);
    // The designed smallest outer size is 752 by 491, that is the designed client area.
    setMinimumSize(744, 457);
    buildControls();
    wireHandlers();
    new ListCommands(this);
    new MediaDrops(this);
    watchCatalogueUpkeep();
    followOtherUsers();
    for (std::vector<int>& widths : columnWidths)
        widths.clear();
    for (int tab = 0; tab < engine::dataCategoryCount; ++tab)
        columnWidths[static_cast<std::size_t>(tab)].assign(engine::category(tab).columns.size(), 0);
    // The window that had the focus last. The window system announces a new focus window after the window's
    // activation event, so while the activation is handled this still names the window the focus came from.
    connect(qApp, &QGuiApplication::focusWindowChanged, this, [this](QWindow* window) {
        if (window)
            m_lastFocusWindow = window;
    });
    m_browseQuery.setPasswordSource(passwordSource());
    m_detailQuery.setPasswordSource(passwordSource());
    m_browseQuery.setWaiting(&m_services.waiting);
    m_detailQuery.setWaiting(&m_services.waiting);
    run([this] { FormCreate(); });
}

TFoablak::~TFoablak()
{
    // A window that goes while shown (the event loop ended without a close, at the end of a session) is hidden
    // first, while its grids can still hand over their row headers.
    hide();
}

template <typename Handler> void TFoablak::run(Handler&& handler)
{
    ++m_handlerDepth;
    platform::runDescribedHandler(
        m_services.errors, [this] { return failedOperationText(); }, std::forward<Handler>(handler));
    --m_handlerDepth;
}

QString TFoablak::failedOperationText() const
{
    if (OpenDialog1.fileName.isEmpty())
        return QStringLiteral("A művelet nem sikerült.");
    return QStringLiteral("A művelet nem sikerült ezzel a katalógussal: %1").arg(shownCatalogueName());
}

void TFoablak::buildControls()
{
    m_olvasas = new QTabWidget(this);
    m_olvasas->setObjectName(QStringLiteral("Olvasas"));
    m_olvasas->setGeometry(16, 16, 625, 414);
    m_olvasas->setAccessibleName(QStringLiteral("Kategóriák"));
    m_olvasas->tabBar()->setAccessibleName(QStringLiteral("Kategóriák"));
    // One pixel smaller captions on the tabs, so the six categories fit the designed page control without
    // scroll arrows also when a wider font stands in for Tahoma.
    QFont tabFont = designedFont();
    tabFont.setPixelSize(10);
    m_olvasas->tabBar()->setFont(tabFont);
    buildPages();

    m_open = makeButton(this, QStringLiteral("open"), QStringLiteral("&Megnyitás"), {661, 130, 75, 33});
    m_felvetel = makeButton(this, QStringLiteral("Felvetel"), QStringLiteral("&Adatbevitel"), {661, 169, 75, 33});
    m_szerkesztes = makeButton(this, QStringLiteral("Szerkesztes"), QStringLiteral("Szerkesztés"), {661, 208, 75, 33});
    m_adatTorlese =
        makeButton(this, QStringLiteral("Adat_torlese"), QStringLiteral("Adat törlése"), {661, 255, 75, 33});
    m_kilepes = makeButton(this, QStringLiteral("Kilepes"), QStringLiteral("&Kilépés"), {661, 309, 75, 33});

    m_kereses = new QLineEdit(this);
    m_kereses->setObjectName(QStringLiteral("kereses"));
    m_kereses->setGeometry(647, 42, 89, 21);
    // A pasted text is searched for whole, however long: a line edit would cut it at 32,767 characters unasked.
    m_kereses->setMaxLength(std::numeric_limits<int>::max());
    m_keresesLabel = makeLabel(this, QStringLiteral("kereses_label"), QStringLiteral("Keresendő szöveg:"), {647, 26});
    m_keresesLabel->setBuddy(m_kereses);
    m_tartalmazza = new QCheckBox(QStringLiteral("Tartalmazza"), this);
    m_tartalmazza->setObjectName(QStringLiteral("tartalmazza"));
    m_tartalmazza->setGeometry(647, 69, 97, 17);
    m_keresesoszlop = new QComboBox(this);
    m_keresesoszlop->setObjectName(QStringLiteral("Keresesoszlop"));
    m_keresesoszlop->setEditable(false);
    m_keresesoszlop->setGeometry(647, 92, 89, 22);
    // On Linux a drop-down reaches screen readers by the text it shows; what it chooses is its description.
    m_keresesoszlop->setAccessibleName(QStringLiteral("Keresés oszlopa"));
    m_keresesoszlop->setAccessibleDescription(QStringLiteral("Keresés oszlopa"));

    m_label2 = makeLabel(this, QStringLiteral("Label2"), QStringLiteral(" "), {256, 436});
    m_label2->setTextFormat(Qt::PlainText);
    m_label1 = makeLabel(this, QStringLiteral("Label1"), QStringLiteral("találat van."), {288, 436});
    m_verzioSzama = makeLabel(this, QStringLiteral("verzio_szama"), QStringLiteral("Verzió: 1.2.6"), {661, 436});
    m_keszitette = makeLabel(this, QStringLiteral("keszitette"), QStringLiteral("Készítette:"), {661, 358});
    // The author's line and the address are short enough for the 83 pixels beside the buttons.
    m_keszito = makeLabel(this, QStringLiteral("keszito"), QStringLiteral("Médiatár csapat"), {661, 377});
    m_weblink = new LinkLabel(QStringLiteral("weblink"), shownAddress(webAddress), webAddress, this);
    m_weblink->move(661, 396);
    m_weblink->adjustSize();
    m_email = new LinkLabel(QStringLiteral("email"), QStringLiteral("E-mail küldése"), mailAddress, this);
    m_email->move(661, 417);
    m_email->adjustSize();

    setTabOrder(m_olvasas, m_felvetel);
    setTabOrder(m_felvetel, m_kilepes);
    setTabOrder(m_kilepes, m_open);
    setTabOrder(m_open, m_kereses);
    setTabOrder(m_kereses, m_adatTorlese);
    setTabOrder(m_adatTorlese, m_szerkesztes);
    setTabOrder(m_szerkesztes, m_tartalmazza);
    setTabOrder(m_tartalmazza, m_keresesoszlop);
}

void TFoablak::buildPages()
{
    // Designed places of the grids of tabs 1 to 7, on their pages.
    const std::array<QRect, 8> gridPlaces = {QRect(17, 35, 281, 334), QRect(16, 16, 577, 353), QRect(19, 16, 577, 353),
                                             QRect(16, 16, 577, 353), QRect(16, 17, 577, 353), QRect(16, 16, 577, 353),
                                             QRect(16, 18, 577, 353), QRect(16, 15, 577, 353)};
    for (int tab = 0; tab < engine::categoryCount; ++tab) {
        const engine::Category& category = engine::category(tab);
        auto* page = new QWidget;
        page->setObjectName(category.pageName);
        // The VHS and books pages carry no data. They are kept off the tab bar, not just hidden on it: a hidden
        // tab is still reached by the mouse wheel and the arrow keys on the bar, and screen readers list it.
        // Being the last pages, they leave the indexes of the others as they are.
        if (category.hasData()) {
            m_olvasas->addTab(page, category.designedCaption);
        } else {
            page->setParent(m_olvasas);
            page->setVisible(false);
            setPageCaption(tab, category.designedCaption);
        }
        m_pages[static_cast<std::size_t>(tab)] = page;

        // The VHS and books grids are bound to no rows.
        catalogue::QueryChannel& channel = category.hasData() ? m_browseQuery : m_unboundQuery;
        auto* model = new RowSetModel(channel, category.columns, designedTitles(tab, category.columns));
        model->setTable(category.table);
        auto* grid = new CategoryGrid(category.gridName, model, page);
        grid->setGeometry(gridPlaces[static_cast<std::size_t>(tab)]);
        m_grids[static_cast<std::size_t>(tab)] = grid;

        auto* empty = new FittedLabel(category.emptyLabelName, FittedLabel::Fit::Grow, page);
        empty->setGeometry(208, 138, 182, 13);
        empty->setDesignedWidth(182);
        empty->setText(QStringLiteral("Az adatbázis nem tartalmaz adatokat!"));
        empty->setVisible(false);
        m_emptyLabels[static_cast<std::size_t>(tab)] = empty;
    }
    QWidget* albums = m_pages[0];
    QStringList trackTitles;
    for (const engine::GridColumn& column : engine::trackColumns())
        trackTitles << column.field;
    auto* trackModel = new RowSetModel(m_detailQuery, engine::trackColumns(), trackTitles);
    m_trackGrid = new CategoryGrid(engine::trackGridName, trackModel, albums);
    m_trackGrid->setGeometry(312, 35, 281, 334);
    nameGrids();

    QFont captionFont = font();
    captionFont.setBold(true);
    captionFont.setPointSize(12);
    for (auto [label, name, place] : {std::tuple{&m_eloadoLabel, "eloado_label", QPoint(75, 3)},
                                      std::tuple{&m_albumLabel, "album_label", QPoint(312, 3)}}) {
        *label = new FittedLabel(QString::fromLatin1(name), FittedLabel::Fit::Elide, albums);
        (*label)->setFont(captionFont);
        // Drawn in the palette's link colour: blue on a light desktop, and still readable on a dark one.
        (*label)->setForegroundRole(QPalette::Link);
        (*label)->setGeometry(QRect(place, QSize(230, 24)));
    }
}

void TFoablak::nameGrids()
{
    // A grid is named for screen readers by the caption of its tab; the albums tab has two.
    for (int tab = 0; tab < engine::categoryCount; ++tab) {
        const QString caption = pageCaption(tab).remove(QLatin1Char('&'));
        m_grids[static_cast<std::size_t>(tab)]->setAccessibleName(
            tab == 0 ? caption + QStringLiteral(" – előadók és albumok") : caption);
    }
    m_trackGrid->setAccessibleName(QString(m_olvasas->tabText(0)).remove(QLatin1Char('&')) +
                                   QStringLiteral(" – az album számai"));
}

void TFoablak::wireHandlers()
{
    connect(m_olvasas, &QTabWidget::currentChanged, this, [this] { run([this] { OlvasasChange(); }); });
    connect(m_open, &QPushButton::clicked, this, [this] { run([this] { openClick(); }); });
    connect(m_felvetel, &QPushButton::clicked, this, [this] { run([this] { FelvetelClick(); }); });
    connect(m_szerkesztes, &QPushButton::clicked, this, [this] { run([this] { SzerkesztesClick(); }); });
    connect(m_adatTorlese, &QPushButton::clicked, this, [this] { run([this] { Adat_torleseClick(); }); });
    connect(m_kilepes, &QPushButton::clicked, this, [this] { run([this] { KilepesClick(); }); });
    connect(m_kereses, &QLineEdit::textChanged, this, [this] { run([this] { kereses_Change(); }); });
    connect(m_tartalmazza, &QCheckBox::clicked, this, [this] { run([this] { kereses_Change(); }); });
    connect(m_keresesoszlop, &QComboBox::activated, this, [this] { run([this] { KeresesoszlopChange(); }); });
    connect(m_weblink, &LinkLabel::clicked, this, [this] { run([this] { weblinkClick(); }); });
    connect(m_email, &LinkLabel::clicked, this, [this] { run([this] { emailClick(); }); });

    connect(m_grids[0], &CategoryGrid::rowClicked, this, [this](int row) { run([=] { DBGrid1CellClick(row); }); });
    connect(m_trackGrid, &CategoryGrid::rowClicked, this, [this](int row) { run([=] { DBGrid2CellClick(row); }); });
    for (int tab = 0; tab < engine::dataCategoryCount; ++tab) {
        CategoryGrid* grid = m_grids[static_cast<std::size_t>(tab)];
        if (tab > 0)
            connect(grid, &CategoryGrid::rowClicked, this,
                    [this, tab](int row) { run([=] { captureRow(tab, row); }); });
        connect(grid, &CategoryGrid::mouseReleased, this, [this, tab] { run([=] { gridMouseUp(tab); }); });
    }
}

QString TFoablak::pageCaption(int tab) const
{
    if (tab < engine::dataCategoryCount)
        return m_olvasas->tabText(tab);
    return m_unlistedCaptions.at(static_cast<std::size_t>(tab - engine::dataCategoryCount));
}

void TFoablak::setPageCaption(int tab, const QString& caption)
{
    if (tab < engine::dataCategoryCount)
        m_olvasas->setTabText(tab, caption);
    else
        m_unlistedCaptions.at(static_cast<std::size_t>(tab - engine::dataCategoryCount)) = caption;
}

int TFoablak::activeTab() const
{
    return m_olvasas->currentIndex();
}

void TFoablak::selectTabQuietly(int tab)
{
    const QSignalBlocker blocker(m_olvasas);
    m_olvasas->setCurrentIndex(tab);
}

void TFoablak::fillSearchColumns(const std::vector<int>& slotIds)
{
    m_keresesoszlop->clear();
    for (int slot : slotIds)
        m_keresesoszlop->addItem(m_textSlots.text(slot));
}

bool TFoablak::event(QEvent* event)
{
    if (event->type() == QEvent::WindowActivate) {
        // The activation handler runs when the focus comes back from the entry dialog (the first show has done
        // the first activation's work); not when a message box closes or the user returns from another program.
        const bool fromEntryDialog =
            m_entryDialogWindow && m_lastFocusWindow && m_lastFocusWindow == m_entryDialogWindow->windowHandle();
        if (m_activatedOnce && fromEntryDialog)
            run([this] { FormActivate(); });
    }
    return QWidget::event(event);
}

void TFoablak::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!m_activatedOnce && !event->spontaneous()) {
        // The work of the first activation is done when the window first shows: a desktop without a window
        // manager, or one that prevents focus stealing, never activates a new window. It is queued, so that
        // a close it makes (a declined start) comes after the show has finished.
        m_activatedOnce = true;
        QMetaObject::invokeMethod(
            this, [this] { run([this] { FormActivate(); }); }, Qt::QueuedConnection);
    }
}

void TFoablak::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    run([this] { FormResize(); });
}

void TFoablak::closeEvent(QCloseEvent* event)
{
    // A save that fails asks whether to leave without it, so the window can always be closed.
    bool leave = m_leaveWithoutSaving;
    if (!leave)
        platform::runHandler(m_services.errors, [&] { leave = FormClose(); });
    if (leave) {
        event->accept();
        return;
    }
    event->ignore();
    // The user stays: a declined start no longer closes the window, and Megnyitás works again.
    startAborted = false;
}
