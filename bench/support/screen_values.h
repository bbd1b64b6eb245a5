// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "support/bare_server.h"
#include "support/server_catalogue.h"

#include <QString>
#include <QStringList>

namespace engine {
class RowSet;
}

namespace bench {

// The text of the first rows of a row set, as a grid's first screen reads them.
QStringList readScreen(const engine::RowSet& rows, int limit = serverScreen);
// One column of a screen's values: the order column, which both sides must show alike whatever else they carry.
QStringList columnOf(const QStringList& values, int columns, int column);
QStringList orderColumnOf(const engine::RowSet& rows, const QStringList& values, const QString& column);
// The bare screens carry the identity, then the designed columns: the order column comes second.
QStringList orderColumnOf(const BareServer::Screen& first);

} // namespace bench
