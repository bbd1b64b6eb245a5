// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>
#include <vector>

namespace editing {

// What the entry dialog needs of the window that lists the catalogue: its tab, its search box, its lists and
// the language file it was started with. The main window is the one that does.
class CatalogueView
{
public:
    virtual ~CatalogueView() = default;

    // The index of the category tab shown.
    virtual int activeTab() const = 0;
    virtual void clearSearch() = 0;
    // Lists the shown tab again, as after every change (the browse operation).
    virtual void listActiveTab() = 0;
    // The column widths of the shown tab's grid as the user sees them; empty on a tab with no category.
    virtual std::vector<int> shownColumnWidths() const = 0;
    virtual void showColumnWidths(const std::vector<int>& widths) = 0;
    // What the general error report says could not be done, when a failure does not say it.
    virtual QString failedOperationText() const = 0;
    // The language file that is read, and the name it is known by in messages.
    virtual QString languageFilePath() const = 0;
    virtual QString languageFileName() const = 0;

protected:
    CatalogueView() = default;
    CatalogueView(const CatalogueView&) = default;
    CatalogueView& operator=(const CatalogueView&) = default;
};

} // namespace editing
