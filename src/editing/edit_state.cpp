// SPDX-License-Identifier: GPL-3.0-or-later

#include "editing/edit_state.h"

#include "platform/failure.h"
#include "catalogue/query_channel.h"

namespace editing {

EditState::EditState(catalogue::QueryChannel& browse, catalogue::QueryChannel& detail, platform::Services& services,
                     localisation::TextSlots& textSlots)
    : m_browse(browse), m_detail(detail), m_services(services), m_textSlots(textSlots)
{
}

CatalogueView& EditState::view() const
{
    if (!m_view)
        throw platform::Failure(QStringLiteral("Nincs főablak, amely a katalógust mutatná."));
    return *m_view;
}

QString EditState::openCatalogue() const
{
    return m_browse.cataloguePath();
}

void EditState::keepOpening()
{
    opening = Opening{openCatalogue(), m_browse.shownName(), albumGridActive, trackGridActive, currentRow};
}

bool EditState::onTheOpeningCatalogue() const
{
    return opening.catalogue == openCatalogue();
}

bool EditState::endEditFor(const QString& other)
{
    return !m_entry || m_entry->endForOtherCatalogue(other);
}

} // namespace editing
