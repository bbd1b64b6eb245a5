// SPDX-License-Identifier: GPL-3.0-or-later

#include "catalogue_tool/staged_target.h"

#include "catalogue/engines.h"
#include "catalogue_tool/arguments.h"
#include "platform/failure.h"

namespace catalogue_tool {

StagedTarget::StagedTarget(engine::Upkeep& target, const engine::WriteOptions& options)
    : m_target(target), m_options(options), m_path(target.location().localFile())
{
    checkOutputTarget(target, options);
    if (!m_path.isEmpty())
        return;
    m_folder.emplace();
    if (!m_folder->isValid())
        throw platform::Failure(
            QStringLiteral("a temporary folder for the rows cannot be made: %1").arg(m_folder->errorString()));
    m_path = m_folder->filePath(QStringLiteral("catalogue.tnx"));
}

engine::WriteOptions StagedTarget::fileOptions() const
{
    engine::WriteOptions options = m_options;
    if (m_folder)
        options.replace = false; // the private folder's file is new; m_options.replace is the target's
    return options;
}

void StagedTarget::commit()
{
    if (!m_folder)
        return;
    const std::unique_ptr<engine::Upkeep> staged = catalogue::upkeepFor(engine::Location(m_path));
    engine::WriteOptions options;
    options.replace = m_options.replace;
    options.settle = true;
    engine::copyCatalogue(*staged, m_target, options);
}

} // namespace catalogue_tool
