// SPDX-License-Identifier: GPL-3.0-or-later

#include "entry_dialog/duration_edit.h"
#include "entry_dialog/entry_form.h"
#include "entry_dialog/form_widgets.h"

#include <QCheckBox>
#include <QLabel>

namespace entry_form {

namespace {
const QString hoursBound = QStringLiteral("24");
const QString minutesBound = QStringLiteral("59");

constexpr int fieldWidth = 36;
constexpr int colonWidth = 12;
} // namespace

DurationFields buildDuration(QWidget* page, const std::array<QString, 3>& names, const QString& hoursLimit,
                             const std::array<QString, 2>& colonNames, int x, int y)
{
    DurationFields fields{};
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const int left = x + static_cast<int>(i) * (fieldWidth + colonWidth);
        fields[i] = new DurationEdit(names[i], i == 0 ? hoursLimit : minutesBound, page);
        fields[i]->setGeometry(left, y, fieldWidth, editHeight);
        if (i < colonNames.size()) {
            QLabel* colon = makeLabel(page, colonNames[i], QStringLiteral(":"), left + fieldWidth, y);
            colon->setFixedSize(colonWidth, editHeight);
            colon->setAlignment(Qt::AlignCenter);
        }
    }
    return fields;
}

void nameDuration(QLabel* caption, const DurationFields& fields)
{
    nameField(caption, fields[0]);
    QString length = caption->text();
    if (length.endsWith(QLatin1Char(':')))
        length.chop(1);
    const std::array<QString, 3> units = {QStringLiteral("óra"), QStringLiteral("perc"), QStringLiteral("másodperc")};
    for (std::size_t i = 0; i < fields.size(); ++i)
        nameControl(fields[i], length + QStringLiteral(" – ") + units[i]);
}

void resetDuration(const DurationFields& fields)
{
    for (DurationEdit* field : fields)
        field->setText(QStringLiteral("00"));
}

void chainFocus(std::initializer_list<QWidget*> controls)
{
    QWidget* previous = nullptr;
    for (QWidget* control : controls) {
        if (previous)
            QWidget::setTabOrder(previous, control);
        previous = control;
    }
}

AlbumPage buildAlbumPage(QWidget* page)
{
    AlbumPage p{};
    p.eloado_neve =
        labeledEdit(page, QStringLiteral("eloado_neve"), QStringLiteral("Előadő/zenekar neve:"), 16, 14, 330);
    p.Album_cime = labeledEdit(page, QStringLiteral("Album_cime"), QStringLiteral("Album címe:"), 16, 68, 330);
    p.Szam_cime = labeledEdit(page, QStringLiteral("Szam_cime"), QStringLiteral("Szám címe:"), 16, 122, 330);
    p.Label1 = makeLabel(page, QStringLiteral("Label1"), QStringLiteral("Szám hossza:"), 16, 176);
    p.duration =
        buildDuration(page, {QStringLiteral("album_ora"), QStringLiteral("album_perc"), QStringLiteral("album_mp")},
                      hoursBound, {QStringLiteral("Label11"), QStringLiteral("Label12")}, 16, 194);
    nameDuration(p.Label1, p.duration);

    p.Meret = labeledEdit(page, QStringLiteral("Meret"), QStringLiteral("Szám mérete:"), 376, 14, 330);
    p.Tomorites =
        labeledEdit(page, QStringLiteral("Tomorites"), QStringLiteral("Szám tömörítési mértéke:"), 376, 68, 330);
    p.Kod =
        labeledEdit(page, QStringLiteral("Kod"), QStringLiteral("Adathordozó sorszáma/azonosítója:"), 376, 122, 330);
    p.Audio_cd = makeCheckBox(page, QStringLiteral("Audio_cd"), QStringLiteral("Audió CD"), 376, 196);

    makeSeparator(page, 16, 246, 690);
    p.Eloado_azonos =
        makeCheckBox(page, QStringLiteral("Eloado_azonos"), QStringLiteral("Előadó/Zenekar neve megegyezik"), 16, 262);
    p.Album_azonos = makeCheckBox(page, QStringLiteral("Album_azonos"),
                                  QStringLiteral("Előadó/Zenekar Album címe megegyezik"), 36, 288);
    p.Album_azonos->setEnabled(false);

    chainFocus({p.eloado_neve, p.Album_cime, p.Szam_cime, p.duration[0], p.duration[1], p.duration[2], p.Meret,
                p.Tomorites, p.Kod, p.Audio_cd, p.Eloado_azonos, p.Album_azonos});
    return p;
}

CompilationPage buildCompilationPage(QWidget* page)
{
    CompilationPage p{};
    p.Eloado_szam_cime = labeledEdit(page, QStringLiteral("Eloado_szam_cime"),
                                     QStringLiteral("Előadó/zenekar neve - Szám címe:"), 16, 14, 690);
    p.Album_cim = labeledEdit(page, QStringLiteral("Album_cim"), QStringLiteral("Album címe:"), 16, 68, 690);
    p.szam_merete = labeledEdit(page, QStringLiteral("szam_merete"), QStringLiteral("Szám mérete:"), 16, 122, 330);
    p.Label3 = makeLabel(page, QStringLiteral("Label3"), QStringLiteral("Szám hossza:"), 376, 122);
    p.duration = buildDuration(
        page, {QStringLiteral("valogatas_ora"), QStringLiteral("valogatas_perc"), QStringLiteral("valogatas_mp")},
        hoursBound, {QStringLiteral("Label9"), QStringLiteral("Label10")}, 376, 140);
    nameDuration(p.Label3, p.duration);
    p.CD_Kod =
        labeledEdit(page, QStringLiteral("CD_Kod"), QStringLiteral("Adathordozó sorszáma/azonosítója:"), 16, 176, 330);
    p.Tomoritesi_mertek = labeledEdit(page, QStringLiteral("Tomoritesi_mertek"),
                                      QStringLiteral("Szám tömörítési mértéke:"), 376, 176, 330);

    chainFocus({p.Eloado_szam_cime, p.Album_cim, p.szam_merete, p.duration[0], p.duration[1], p.duration[2], p.CD_Kod,
                p.Tomoritesi_mertek});
    return p;
}

} // namespace entry_form
