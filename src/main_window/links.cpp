// SPDX-License-Identifier: GPL-3.0-or-later

#include "main_window/main_window.h"

const QString webAddress = QStringLiteral("https://www.mediatar.hu/");
const QString mailAddress = QStringLiteral("info@mediatar.hu");

void TFoablak::weblinkClick()
{
    m_services.links.open(webAddress);
}

void TFoablak::emailClick()
{
    m_services.links.open(QStringLiteral("mailto: ") + mailAddress +
                          QStringLiteral("?subject=Kérdés/kérés/javaslat&body="));
}
