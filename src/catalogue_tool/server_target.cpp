// SPDX-License-Identifier: GPL-3.0-or-later

#include "catalogue_tool/server_target.h"

#include "platform/failure.h"
#include "server/connection.h"
#include "server/server_copy.h"
#include "server/server_rows.h"

namespace catalogue_tool {

ServerTarget::ServerTarget(const QString& uri, bool replaceRows) : m_uri(uri), m_replaceRows(replaceRows)
{
    {
        server::Connection connection(uri);
        server::checkReadyForRows(connection, replaceRows);
    }
    if (!m_folder.isValid())
        throw platform::Failure(
            QStringLiteral("a temporary folder for the rows cannot be made: %1").arg(m_folder.errorString()));
}

QString ServerTarget::stagingPath() const
{
    return m_folder.filePath(QStringLiteral("catalogue.tnx"));
}

QString ServerTarget::shown() const
{
    return server::withoutPassword(m_uri);
}

void ServerTarget::commit()
{
    server::fillServerCatalogue(stagingPath(), m_uri, m_replaceRows);
}

} // namespace catalogue_tool
