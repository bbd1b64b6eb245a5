// SPDX-License-Identifier: GPL-3.0-or-later

#include "editing/current_row.h"

void TCurrentRow::clearKeyFields()
{
    for (QString* field :
         {&albumEloado, &albumAlbum, &trackCim, &trackMeret, &valogatasEloado, &valogatasMeret, &dvdCim, &dvdHossz,
          &videoklipCim, &videoklipMegjegyzes, &gamesNev, &gamesMeret, &progsProgramok, &progsMeret})
        field->clear();
    for (QVariant* identity : {&albumIdentity, &trackIdentity, &valogatasIdentity, &dvdIdentity, &videoklipIdentity,
                               &gamesIdentity, &progsIdentity})
        identity->clear();
}
