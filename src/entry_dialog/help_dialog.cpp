// SPDX-License-Identifier: GPL-3.0-or-later

#include "entry_dialog/help_dialog.h"

#include <QFontInfo>
#include <QFontMetrics>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

Thang_felirat_help::Thang_felirat_help(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("hang_felirat_help"));
    setWindowTitle(QStringLiteral("Segítség"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    if (parent)
        setFont(parent->font());
    setFixedSize(269, 159);

    // A raised outer bevel around a lowered inner one.
    auto* outer = new QFrame(this);
    outer->setFrameStyle(QFrame::Panel | QFrame::Raised);
    outer->setGeometry(8, 8, 253, 105);
    auto* inner = new QFrame(outer);
    inner->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    inner->setGeometry(3, 3, 247, 99);

    const QStringList lines = {
        QStringLiteral("A hangnál és a felíratnál, ha kettőt kattintasz a"),
        QStringLiteral("listából ki tudod venni azt amire nincs"),
        QStringLiteral("szükséged. Ha esetleg véletlenül mást adtál"),
        QStringLiteral("volna hozzá, mint amit szerettél volna."),
    };
    // The window has a fixed size; where the desktop's font runs wider than the designed one, the lines
    // get a smaller size so that none is cut.
    constexpr int lineWidth = 233;
    QFont lineFont = parent ? parent->font() : font();
    // The window's font is given in pixels, so the lines shrink by pixels (a font of pixels has no point size).
    constexpr int smallestPixels = 8;
    for (const QString& line : lines) {
        while (QFontInfo(lineFont).pixelSize() > smallestPixels &&
               QFontMetrics(lineFont).horizontalAdvance(line) > lineWidth)
            lineFont.setPixelSize(QFontInfo(lineFont).pixelSize() - 1);
    }
    for (int i = 0; i < lines.size(); ++i) {
        auto* label = new QLabel(lines.at(i), inner);
        label->setFont(lineFont);
        label->setObjectName(QStringLiteral("Label%1").arg(i + 1));
        label->setGeometry(8, 10 + 20 * i, 233, 18);
    }

    m_okButton = new QPushButton(QStringLiteral("OK"), this);
    m_okButton->setObjectName(QStringLiteral("OKButton"));
    m_okButton->setGeometry(97, 122, 75, 28);
    m_okButton->setDefault(true);
    connect(m_okButton, &QPushButton::clicked, this, [this] { OKButtonClick(); });

    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void Thang_felirat_help::OKButtonClick()
{
    // Ends the modal display with the result OK, which also hides the window.
    accept();
}
