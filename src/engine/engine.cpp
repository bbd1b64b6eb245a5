// SPDX-License-Identifier: GPL-3.0-or-later

#include "engine/engine.h"

namespace engine {

QString readOnlyMessage()
{
    return QStringLiteral("A katalógus csak olvasható (írásvédett adathordozón van, vagy nincs jogod írni), "
                          "ezért nem módosítható. Semmi sem változott.");
}

} // namespace engine
