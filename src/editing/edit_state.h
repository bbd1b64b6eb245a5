// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "editing/catalogue_view.h"
#include "editing/current_row.h"
#include "editing/mode_variables.h"

#include <QString>

class QWidget;
namespace localisation {
class TextSlots;
}
namespace platform {
struct Services;
}
namespace catalogue {
class QueryChannel;
}

namespace editing {

// The entry dialog as the main window sees it: the two openings, and the edit under way told before another
// catalogue is opened.
class EntryWindow
{
public:
    virtual ~EntryWindow() = default;

    virtual void openForNewRows() = 0;
    virtual void openForEditing() = 0;
    // Ends what the dialog shows, because the catalogue other is about to be opened instead of the one it was
    // opened on. What the user typed is only dropped when they agree; false: they keep it, and the catalogue
    // with it.
    virtual bool endForOtherCatalogue(const QString& other) = 0;
    // The dialog's own window.
    virtual QWidget* dialogWindow() = 0;

protected:
    EntryWindow() = default;
    EntryWindow(const EntryWindow&) = default;
    EntryWindow& operator=(const EntryWindow&) = default;
};

// What was shown and clicked when the entry dialog was opened: an edit writes there and nowhere else, whatever
// is clicked or opened in the main window meanwhile.
struct Opening
{
    QString catalogue;      // the catalogue the dialog was opened on; its rows are the only ones it writes
    QString catalogueShown; // its name as the user may see it (a server's URI without a password)
    bool albumGrid = false;
    bool trackGrid = false;
    TCurrentRow row; // the clicked row of each tab, as it was then
};

// The state the main window and the entry dialog share, one instance for the life of the main window: the open
// catalogue's two channels, the tab shown, the row clicked on each tab (the album whose tracks are shown among
// them), the entry dialog's mode and what it was opened with, and the desktop services and texts both use.
class EditState
{
public:
    EditState(catalogue::QueryChannel& browse, catalogue::QueryChannel& detail, platform::Services& services,
              localisation::TextSlots& textSlots);
    EditState(const EditState&) = delete;
    EditState& operator=(const EditState&) = delete;

    catalogue::QueryChannel& browseQuery() const { return m_browse; }
    catalogue::QueryChannel& detailQuery() const { return m_detail; }
    platform::Services& services() const { return m_services; }
    localisation::TextSlots& textSlots() const { return m_textSlots; }

    void setView(CatalogueView* view) { m_view = view; }
    CatalogueView& view() const;
    int activeTab() const { return view().activeTab(); }

    // The catalogue the lists show now.
    QString openCatalogue() const;
    // Keeps what an opening of the entry dialog found: the open catalogue, and the clicked row if editing.
    void keepOpening();
    // Whether a change goes to the catalogue the dialog was opened on: false once another one is open.
    bool onTheOpeningCatalogue() const;

    void setEntryWindow(EntryWindow* entry) { m_entry = entry; }
    EntryWindow* entryWindow() const { return m_entry; }
    // Asked before another catalogue is opened: true when no edit is open or it has ended, false when the user
    // keeps it (the catalogue open now stays open then).
    bool endEditFor(const QString& other);

    TCurrentRow currentRow;
    bool albumGridActive = false; // the album grid was clicked last on tab 0
    bool trackGridActive = false; // the track grid was
    ModeVariables mode;
    Opening opening;

private:
    catalogue::QueryChannel& m_browse;
    catalogue::QueryChannel& m_detail;
    platform::Services& m_services;
    localisation::TextSlots& m_textSlots;
    CatalogueView* m_view = nullptr;
    EntryWindow* m_entry = nullptr;
};

} // namespace editing
