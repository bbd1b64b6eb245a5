// SPDX-License-Identifier: GPL-3.0-or-later

#include "main_window/main_window.h"

#include "main_window/category_grid.h"
#include "main_window/link_label.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <algorithm>

namespace {

// The frame the layout arithmetic counts with: the outer size is the client size plus this.
constexpr int frameWidth = 8;
constexpr int frameHeight = 34;
// A page is this much smaller than its page control.
constexpr int pageMarginWidth = 8;
constexpr int pageMarginHeight = 28;

QSize atLeast(QSize size, QSize minimum)
{
    return size.expandedTo(minimum);
}

} // namespace

void TFoablak::FormResize()
{
    const int W = width() + frameWidth;
    const int H = height() + frameHeight;

    m_kereses->move(W - 105, m_kereses->y());
    m_keresesLabel->move(m_kereses->x(), m_keresesLabel->y());
    m_tartalmazza->move(m_kereses->x(), m_tartalmazza->y());
    m_keresesoszlop->move(m_tartalmazza->x(), m_keresesoszlop->y());
    m_verzioSzama->move(m_kereses->x() + 8, H - 52);
    m_email->move(m_verzioSzama->x(), m_verzioSzama->y() - 16);
    m_weblink->move(m_verzioSzama->x(), m_email->y() - 16);
    m_keszito->move(m_verzioSzama->x(), m_weblink->y() - 16);
    m_keszitette->move(m_keszito->x(), m_keszito->y() - 16);
    m_kilepes->move(W - 91, m_keszitette->y() - 42);
    m_adatTorlese->move(W - 91, m_kilepes->y() - 42);
    m_szerkesztes->move(W - 91, m_adatTorlese->y() - 42);
    m_felvetel->move(W - 91, m_szerkesztes->y() - 42);
    m_open->move(W - 91, m_felvetel->y() - 53);

    m_olvasas->resize(atLeast({W - 125, H - 70}, {625, 414}));
    const QSize page = atLeast(m_olvasas->size() - QSize(pageMarginWidth, pageMarginHeight), {617, 386});

    m_label1->move(W / 2 - 60, H - 52);
    m_label2->move(W / 2 - 90, H - 52);
    placeCountWords();

    CategoryGrid* albums = m_grids[0];
    albums->resize(atLeast({page.width() / 2 - 32, page.height() - 40}, {281, 334}));
    m_trackGrid->move(albums->width() + 32, m_trackGrid->y());
    m_trackGrid->resize(atLeast({page.width() - m_trackGrid->x() - 16, page.height() - 40}, {281, 334}));
    for (int tab = 1; tab <= 5; ++tab) {
        const QSize minimum = tab == 2 ? QSize(557, 353) : QSize(577, 353);
        m_grids[static_cast<std::size_t>(tab)]->resize(atLeast({page.width() - 40, page.height() - 33}, minimum));
    }
    m_albumLabel->move(m_trackGrid->x(), m_albumLabel->y());
    fitAlbumCaptions();
    for (QLabel* label : m_emptyLabels)
        label->move(m_olvasas->width() / 2 - 91, m_olvasas->height() / 2 - 10);
}

void TFoablak::showCount(int count)
{
    m_label2->setText(QString::number(count));
    m_label2->adjustSize();
    placeCountWords();
}

void TFoablak::placeCountWords()
{
    // A long count pushes the words after it to the right instead of running into them, and they come back
    // to their place when the count is short again.
    const int W = width() + frameWidth;
    const int designedLeft = W / 2 - 60;
    m_label1->move(std::max(designedLeft, m_label2->x() + m_label2->width() + 2), m_label1->y());
}

void TFoablak::fitAlbumCaptions()
{
    // The album caption has the width of the track grid below it, the artist caption the room from its place
    // (left 16 once the window shows) to the album caption; a longer artist or album ends in "…" with the whole
    // text in its tooltip.
    constexpr int artistLeft = 16;
    constexpr int gap = 8;
    m_albumLabel->setDesignedWidth(std::max(0, m_trackGrid->width()));
    m_eloadoLabel->setDesignedWidth(std::max(0, m_trackGrid->x() - gap - artistLeft));
}
