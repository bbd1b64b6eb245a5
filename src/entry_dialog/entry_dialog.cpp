// SPDX-License-Identifier: GPL-3.0-or-later

#include "entry_dialog/entry_dialog.h"

#include "entry_dialog/duration_edit.h"
#include "entry_dialog/form_widgets.h"
#include "entry_dialog/help_dialog.h"
#include "entry_dialog/up_down.h"
#include "platform/failure.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGuiApplication>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QTabBar>
#include <QTabWidget>
#include <limits>

namespace {

constexpr int clientWidth = 748;
constexpr int clientHeight = 516;

const std::array<std::pair<const char*, const char*>, 6> pageNames = {{
    {"TabSheet1", "Mp3 albumok"},
    {"TabSheet2", "Mp3 válogatások"},
    {"DVD_movie", "DVD filmek"},
    {"TabSheet4", "filmek és videoklipek"},
    {"TabSheet5", "Játékok"},
    {"TabSheet6", "Programok és egyéb dolgok"},
}};

} // namespace

TRogzites::TRogzites(editing::EditState& state, QWidget* parent)
    : QWidget(parent, Qt::Dialog), m_state(state), m_errors(state.services().errors)
{
    setObjectName(QStringLiteral("Rogzites"));
    setWindowTitle(QStringLiteral("Adatbevitel"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    // A window of its own takes no font from its parent: the main window's is set here.
    if (parent)
        setFont(parent->font());
    setFixedSize(clientWidth, clientHeight);
    buildForm();
    takeWholeValues();
    wireHandlers();
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    run([this] { FormCreate(); });
}

TRogzites::~TRogzites() = default;

void TRogzites::buildForm()
{
    m_tabla = new QTabWidget(this);
    m_tabla->setObjectName(QStringLiteral("tabla"));
    m_tabla->setGeometry(8, 8, clientWidth - 16, 452);
    m_tabla->setAccessibleName(QStringLiteral("Adatfajták"));
    m_tabla->tabBar()->setAccessibleName(QStringLiteral("Adatfajták"));
    for (std::size_t i = 0; i < pageNames.size(); ++i) {
        auto* page = new QWidget;
        page->setObjectName(QString::fromLatin1(pageNames[i].first));
        m_tabla->addTab(page, QString::fromUtf8(pageNames[i].second));
        m_pages[i] = page;
    }
    m_album = entry_form::buildAlbumPage(m_pages[0]);
    m_compilation = entry_form::buildCompilationPage(m_pages[1]);
    m_dvd = entry_form::buildDvdPage(m_pages[2]);
    m_clip = entry_form::buildClipPage(m_pages[3]);
    m_game = entry_form::buildGamePage(m_pages[4]);
    m_program = entry_form::buildProgramPage(m_pages[5]);

    using entry_form::makeButton;
    m_rogzitNew =
        makeButton(this, QStringLiteral("Rogzit_new"), QStringLiteral("Rögzít és új &adat"), {8, 472, 180, 32});
    m_rogzitEnd =
        makeButton(this, QStringLiteral("Rogzit_end"), QStringLiteral("Rögzít és &Kilép"), {196, 472, 160, 32});
    m_cancelExit = makeButton(this, QStringLiteral("Cancel_exit"), QStringLiteral("Kilépés rögzítés &nélkül"),
                              {clientWidth - 8 - 200, 472, 200, 32});
    setTabOrder(m_tabla, m_rogzitNew);
    setTabOrder(m_rogzitNew, m_rogzitEnd);
    setTabOrder(m_rogzitEnd, m_cancelExit);
}

void TRogzites::takeWholeValues()
{
    // A line edit keeps 32,767 characters and cuts a longer paste without a word; every text field of the
    // dialog takes the whole value instead. The length fields refuse more than two characters aloud.
    for (QLineEdit* field : findChildren<QLineEdit*>()) {
        if (!qobject_cast<DurationEdit*>(field))
            field->setMaxLength(std::numeric_limits<int>::max());
    }
}

void TRogzites::wireHandlers()
{
    connect(m_tabla, &QTabWidget::currentChanged, this, [this](int index) {
        m_shownPage = index;
        run([this] { Rogzit_Change(); });
    });
    connect(m_rogzitNew, &QPushButton::clicked, this, [this] { run([this] { Rogzit_newClick(); }); });
    connect(m_rogzitEnd, &QPushButton::clicked, this, [this] { run([this] { Rogzit_endClick(); }); });
    connect(m_cancelExit, &QPushButton::clicked, this, [this] { run([this] { Cancel_exitClick(); }); });

    connect(m_dvd.Nyelv_hozzaad, &QPushButton::clicked, this, [this] { run([this] { Nyelv_hozzaadClick(); }); });
    connect(m_dvd.felirat_hozzaad, &QPushButton::clicked, this, [this] { run([this] { felirat_hozzaadClick(); }); });
    connect(m_dvd.Film_hangjai, &QListWidget::itemDoubleClicked, this,
            [this] { run([this] { Film_hangjaidblClick(); }); });
    connect(m_dvd.Film_feliratai, &QListWidget::itemDoubleClicked, this,
            [this] { run([this] { Film_felirataidblClick(); }); });
    connect(m_dvd.UpDown1, &UpDown::clicked, this, [this] { run([this] { UpDown1Click(); }); });
    connect(m_dvd.DVD_db_szam, &QLineEdit::textChanged, this, [this] { run([this] { DVD_db_szamClick(); }); });
    connect(m_dvd.info, &QPushButton::clicked, this, [this] { run([this] { infoClick(); }); });
    connect(m_album.Audio_cd, &QCheckBox::clicked, this, [this] { run([this] { Audio_cdClick(); }); });
    connect(m_album.Eloado_azonos, &QCheckBox::clicked, this, [this] { run([this] { Eloado_azonosClick(); }); });
    wireDurations();
    for (QComboBox* chooser : {m_dvd.hang, m_dvd.Felirat, m_dvd.Stilus}) {
        chooser->installEventFilter(this);
        chooser->lineEdit()->installEventFilter(this);
    }
}

void TRogzites::selectPage(int index)
{
    const QSignalBlocker blocker(m_tabla);
    m_shownPage = index;
    m_tabla->setCurrentIndex(index);
}

QWidget* TRogzites::firstField(int page) const
{
    switch (page) {
    case 0:
        return m_album.eloado_neve;
    case 1:
        return m_compilation.Eloado_szam_cime;
    case 2:
        return m_dvd.Film_cime;
    case 3:
        return m_clip.Clip_cime;
    case 4:
        return m_game.Jatek_neve;
    case 5:
        return m_program.Progs_neve;
    default:
        return nullptr;
    }
}

void TRogzites::infoClick()
{
    if (m_help)
        m_help->exec();
}
