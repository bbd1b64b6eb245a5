// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "editing/edit_state.h"
#include "localisation/text_slots.h"
#include "main_window/fitted_label.h"
#include "platform/platform.h"
#include "engine/categories.h"
#include "catalogue/query_channel.h"

#include <QFont>
#include <QHash>
#include <QWidget>
#include <array>
#include <vector>

class CategoryGrid;
class LinkLabel;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QTimer;

// The window font: Tahoma 8 points, or the nearest sans-serif of its width.
QFont designedFont();

// The program's constant addresses, shown by the two link labels.
extern const QString webAddress;
extern const QString mailAddress;

// The open dialog: its file name is the current catalogue path, the one place it is held.
struct OpenDialog
{
    QString fileName;
    static const QString filter;
};

// The main window: one category tab per catalogue table, the search controls and the buttons.
// Its creation runs the whole start-up (FormCreate).
class TFoablak : public QWidget, public editing::CatalogueView
{
    Q_OBJECT

public:
    explicit TFoablak(platform::Services services, QWidget* parent = nullptr);
    // namedCatalogue: the catalogue named on the command line, opened instead of the one in list.ini.
    TFoablak(platform::Services services, const QString& namedCatalogue, QWidget* parent = nullptr);
    ~TFoablak() override;

    // The entry dialog is created after the main window; it is attached here once it exists.
    void setEntryDialog(editing::EntryWindow* dialog);
    editing::EntryWindow* entryDialog() const { return m_editState.entryWindow(); }
    // What this window and the entry dialog share: the channels, the clicked rows, the dialog's mode.
    editing::EditState& editState() { return m_editState; }

    // --- start-up, settings and shutdown
    void FormCreate();
    void FormActivate();
    void openClick();
    void KilepesClick();
    // The settings save of a closing window; false when it failed and the user chose to stay.
    bool FormClose();
    void saveSettings();
    // list.ini with this catalogue on line 1 and the language file on line 2, replacing the old file whole.
    void writeSettings(const QString& catalogue);
    // Saves the settings; when that fails, asks whether to leave without them. False: the user stays.
    bool saveSettingsOrAskToLeave();
    // --- language
    void LoadLanguage();
    // The language file: beside the program, else in the installed data folder.
    QString languageFilePath() const override;
    QString languageFileName() const override { return programDir + languageFile; }
    // --- browsing
    void OlvasasChange();
    // --- row selection
    void DBGrid1CellClick(int row);
    void DBGrid2CellClick(int row);
    void captureRow(int tab, int row); // DBGrid3CellClick ... DBGrid7CellClick
    void gridMouseUp(int tab);         // DBGrid1MouseUp, DBGrid3MouseUp ... DBGrid7MouseUp
    // --- search
    void kereses_Change();
    void KeresesoszlopChange();
    // --- deletion
    void Adat_torleseClick();
    // --- entry dialog
    void FelvetelClick();
    void SzerkesztesClick();
    // --- other users' changes to a server catalogue
    // Tables another program changed: the shown list (and the album's tracks) is read again once the user is
    // not in the middle of something, a burst of changes giving one reading.
    void otherUsersChanged(const QStringList& tables);
    // The user holds a mouse button, edits a row, or waits for a search: the list must stay as it is.
    bool busyWithTheLists() const;
    // --- layout and links
    void FormResize();
    void weblinkClick();
    void emailClick();

    // --- state of the window model
    int activeTab() const override;
    void clearSearch() override;
    void listActiveTab() override { OlvasasChange(); }
    std::vector<int> shownColumnWidths() const override;
    void showColumnWidths(const std::vector<int>& widths) override;
    CategoryGrid* grid(int tab) const { return m_grids.at(static_cast<std::size_t>(tab)); }
    // The caption of a category's page, also of the VHS and books pages, which are not on the tab bar.
    QString pageCaption(int tab) const;
    void setPageCaption(int tab, const QString& caption);
    CategoryGrid* trackGrid() const { return m_trackGrid; }
    FittedLabel* emptyLabel(int tab) const { return m_emptyLabels.at(static_cast<std::size_t>(tab)); }
    QLineEdit* searchBox() const { return m_kereses; }
    catalogue::QueryChannel& browseQuery() { return m_browseQuery; }
    catalogue::QueryChannel& detailQuery() { return m_detailQuery; }
    localisation::TextSlots& textSlots() { return m_textSlots; }
    platform::Services& services() { return m_services; }
    // The current catalogue as the user sees it (title, messages) and list.ini keeps it: a file's path, or a
    // server catalogue's URI without its password.
    QString shownCatalogueName() const;
    // What the general error report says could not be done, when a failure does not say it.
    QString failedOperationText() const override;

    // Remembered column widths of the grids of tabs 0 to 5, one entry per column; never saved.
    std::array<std::vector<int>, 6> columnWidths;
    OpenDialog OpenDialog1;

    // Program-wide settings state.
    QString programDir;
    QString settingsDir; // where list.ini is read and written: programDir, or the user's configuration folder
    QString lastCatalogue;
    QString languageFile;
    bool startAborted = false;
    bool languageVersionOk = false;
    QString searchColumn;

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildControls();
    void buildPages();
    void nameGrids();
    void wireHandlers();
    // Runs one handler; a failure reaches the general error report.
    template <typename Handler> void run(Handler&& handler);
    void readSettingsFile();
    void setStartWidths();
    // The catalogue a start opens: the one named on the command line, else list.ini's, else the open dialog's.
    void chooseStartCatalogue();
    // Tries a chosen catalogue before the open one is given up (a legacy file is offered its conversion
    // first); returns the path to open, or throws a failure that tells the user why not.
    QString catalogueToOpen(const QString& chosen);
    // The server catalogues the open dialog offers: those opened in this run, newest first, and list.ini's.
    QStringList rememberedServers() const;
    QStringList m_openedServers;
    // Lists a catalogue that was tried: tab 0, its list and widths, and the window title.
    void showCatalogue(const QString& path);
    void pointChannelsAt(const QString& path);
    // Shows the indexing of an older catalogue and keeps the count label true when a kept count is mended.
    void watchCatalogueUpkeep();
    // A catalogue of the older Jet format: asks whether to convert it, and on Yes repoints both channels
    // (and the catalogue path) at the new catalogue made beside it.
    void offerLegacyConversion(const QString& path);
    void connectChannels();
    // Where the channels get a server password that libpq's own sources do not give: the password prompt,
    // asked once for a catalogue and kept in memory only while that catalogue is the one being opened or open.
    engine::PasswordSource passwordSource();
    void forgetServerPassword(const QString& uri);
    void keepServerPasswordOnlyFor(const QString& catalogue);
    void selectTabQuietly(int tab);
    void fillSearchColumns(const std::vector<int>& slotIds);
    void setWindowTitleFromSlot();
    void applyColumnWidths(int tab);
    void placeGridsAndLabels();
    // Shows a row count and moves the words after it aside when it has grown into them.
    void showCount(int count);
    void placeCountWords();
    // The artist and album captions take the room above their grids.
    void fitAlbumCaptions();
    void followOtherUsers();
    void refreshChangedLists();
    // Reads a shown list again keeping the user's place; a failure goes to failed, or is reported.
    void refreshList(CategoryGrid* grid, catalogue::QueryChannel& channel, int tab,
                     std::function<void(const QString&)> failed = {});
    void listScreenFailed(const QString& original);
    void readLostListsAgain();
    // A screen of a list could not be read (the server went away under it): told once for that list.
    void reportUnreadableList(const QString& original);

    platform::Services m_services;
    localisation::TextSlots m_textSlots;
    catalogue::QueryChannel m_browseQuery;
    catalogue::QueryChannel m_detailQuery;
    catalogue::QueryChannel m_unboundQuery; // never opened: the rows of the VHS and books grids
    editing::EditState m_editState;
    QWidget* m_entryDialogWindow = nullptr;

    QTabWidget* m_olvasas = nullptr;
    std::array<QWidget*, 8> m_pages{};
    // The captions of the VHS and books pages, which carry no data and are never on the tab bar.
    std::array<QString, engine::categoryCount - engine::dataCategoryCount> m_unlistedCaptions;
    std::array<CategoryGrid*, 8> m_grids{}; // DBGrid1, DBGrid3 ... DBGrid9 by tab
    CategoryGrid* m_trackGrid = nullptr;    // DBGrid2
    std::array<FittedLabel*, 8> m_emptyLabels{};
    FittedLabel* m_eloadoLabel = nullptr;
    FittedLabel* m_albumLabel = nullptr;
    QPushButton* m_open = nullptr;
    QPushButton* m_felvetel = nullptr;
    QPushButton* m_szerkesztes = nullptr;
    QPushButton* m_adatTorlese = nullptr;
    QPushButton* m_kilepes = nullptr;
    QLineEdit* m_kereses = nullptr;
    QLabel* m_keresesLabel = nullptr;
    QCheckBox* m_tartalmazza = nullptr;
    QComboBox* m_keresesoszlop = nullptr;
    QLabel* m_label1 = nullptr;
    QLabel* m_label2 = nullptr;
    QLabel* m_verzioSzama = nullptr;
    QLabel* m_keszitette = nullptr;
    QLabel* m_keszito = nullptr;
    LinkLabel* m_weblink = nullptr;
    LinkLabel* m_email = nullptr;

    QString m_namedCatalogue;
    QHash<QString, QString> m_serverPasswords; // by the URI without password
    int m_passwordPrompts = 0;                 // how often the user was asked for a server's password
    bool m_passwordRefused = false;            // the server refused the one typed last: the next prompt says so
    bool m_leaveWithoutSaving = false;         // the user chose to leave although the settings could not be saved
    bool m_activatedOnce = false;
    bool m_inBrowse = false;
    int m_handlerDepth = 0;            // handlers running now, a nested one inside a processEvents included
    QStringList m_changedTables;       // other programs' changes not yet shown, lower case
    QTimer* m_changeTimer = nullptr;   // gathers a burst of changes; waits while the user is busy
    QTimer* m_lostListTimer = nullptr; // reads a list whose rows could not be read again, until it can
    QObject* m_lastFocusWindow = nullptr;

    friend class MainWindowAccess;
};
