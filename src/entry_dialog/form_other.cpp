// SPDX-License-Identifier: GPL-3.0-or-later

#include "entry_dialog/entry_form.h"
#include "entry_dialog/form_widgets.h"

#include <QCheckBox>

namespace entry_form {

GamePage buildGamePage(QWidget* page)
{
    GamePage p{};
    p.Jatek_neve = labeledEdit(page, QStringLiteral("Jatek_neve"), QStringLiteral("Játék neve:"), 16, 14, 330);
    p.Megjegyzes = labeledEdit(page, QStringLiteral("Megjegyzes"), QStringLiteral("Megjegyzés/Stílus:"), 376, 14, 330);
    p.Jatek_merete = labeledEdit(page, QStringLiteral("Jatek_merete"), QStringLiteral("Játék mérete:"), 16, 68, 330);
    p.JatekCD_kodja =
        labeledEdit(page, QStringLiteral("JatekCD_kodja"), QStringLiteral("Adathordozó kódja:"), 376, 68, 330);

    makeSeparator(page, 16, 122, 690);
    p.Games_name = makeCheckBox(page, QStringLiteral("Games_name"), QStringLiteral("Játék neve megegyezik"), 16, 138);
    p.Games_stilus =
        makeCheckBox(page, QStringLiteral("Games_stilus"), QStringLiteral("Megjegyzés/Stílus megegyezik"), 16, 164);
    p.Games_adathordozo = makeCheckBox(page, QStringLiteral("Games_adathordozo"),
                                       QStringLiteral("Adathordozó kódja megegyezik"), 16, 190);

    chainFocus({p.Jatek_neve, p.Megjegyzes, p.Jatek_merete, p.JatekCD_kodja, p.Games_name, p.Games_stilus,
                p.Games_adathordozo});
    return p;
}

ProgramPage buildProgramPage(QWidget* page)
{
    ProgramPage p{};
    p.Progs_neve = labeledEdit(page, QStringLiteral("Progs_neve"), QStringLiteral("Programok neve:"), 16, 14, 330);
    p.Progs_Megjegyezes =
        labeledEdit(page, QStringLiteral("Progs_Megjegyezes"), QStringLiteral("Megjegyezés:"), 376, 14, 330);
    p.Progs_meret = labeledEdit(page, QStringLiteral("Progs_meret"), QStringLiteral("Méret:"), 16, 68, 330);
    p.Progs_kod = labeledEdit(page, QStringLiteral("Progs_kod"), QStringLiteral("Adathordozó kódja:"), 376, 68, 330);

    chainFocus({p.Progs_neve, p.Progs_Megjegyezes, p.Progs_meret, p.Progs_kod});
    return p;
}

} // namespace entry_form
