// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "entry_dialog/entry_form.h"
#include "entry_dialog/record_statements.h"
#include "editing/edit_state.h"
#include "localisation/text_slots.h"
#include "platform/platform.h"
#include "catalogue/query_channel.h"
#include "platform/failure.h"

#include <QWidget>
#include <array>
#include <map>

class Thang_felirat_help;
class QTabWidget;

// The entry dialog, in which catalogue rows are added and edited: one page per category, the two recording
// buttons and the button that leaves without recording. One instance is created hidden at start-up and lives
// as long as the main window; leaving only hides it, so its texts survive. It is modeless: the main window
// stays usable while it is open, and both share one edit state: the clicked rows, the mode variables, the
// channels of the open catalogue. An edit belongs to the catalogue it was opened on.
class TRogzites : public QWidget, public editing::EntryWindow
{
    Q_OBJECT

public:
    explicit TRogzites(editing::EditState& state, QWidget* parent = nullptr);
    ~TRogzites() override;

    void setHelpDialog(Thang_felirat_help* help) { m_help = help; }

    // --- creation
    void FormCreate();
    void LoadDialogLanguage();
    // --- the two openings, run by the main window's "Adatbevitel" and "Szerkesztés"
    void openForNewRows() override;
    void openForEditing() override;
    bool endForOtherCatalogue(const QString& other) override;
    QWidget* dialogWindow() override { return this; }
    // --- page change and leaving
    void Rogzit_Change();
    void Cancel_exitClick();
    // --- recording: new rows, or the row being edited
    void Rogzit_newClick();
    void Rogzit_endClick();
    // --- controls of the DVD and the album pages
    void Nyelv_hozzaadClick();
    void felirat_hozzaadClick();
    void Film_hangjaidblClick();
    void Film_felirataidblClick();
    void UpDown1Click();
    void DVD_db_szamClick();
    void Audio_cdClick();
    void Eloado_azonosClick();
    void infoClick();
    // --- lengths: one rule for the twelve fields (album_oraClick ... clip_mpClick, album_oraExit ...)
    void durationClick(DurationEdit* field);
    void durationExit(DurationEdit* field);
    // The length of a page (0 to 3) as the three fields show it, two characters a part ("hh:mm:ss"): an empty
    // part counts as "00", a one-character part gets a leading "0".
    QString compose(int page) const;
    // Puts a stored length into the three fields of a page, taken apart at its colons, without the leave rule.
    void split(const QString& stored, int page);

    // The index of the page shown.
    int shownPage() const { return m_shownPage; }
    // The album that the next MP3-album track is attached to; kept across presses and openings.
    const QString& currentAlbumKey() const { return m_currentAlbumKey; }

signals:
    // A statement is about to be sent to the catalogue; its written-out form.
    void statementSent(const QString& text);

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The row an edit was opened for, kept from the opening: a click on another row of the main window
    // while the dialog is open does not move the edit.
    struct EditTarget
    {
        record_sql::RowKey album;
        record_sql::RowKey track;
        record_sql::RowKey row; // tabs 1 to 5
        // What the opening put into the page's fields and lists: a field that still holds it was not changed by
        // the user, and its column is written back as the catalogue holds it.
        std::map<const QObject*, QString> filledTexts;
        std::map<const QObject*, QStringList> filledItems;
        QString storedLength;      // the length column as the row held it
        QString storedSoundTracks; // the DVD's two list texts as the row held them
        QString storedSubtitles;
    };

    // The main window's list as a press found it, so that a press that writes nothing leaves it showing.
    struct ShownList
    {
        bool open = false;
        engine::Statement statement;
        std::vector<int> widths;
    };

    // Runs one handler; a failure ends it and reaches the general error report.
    template <typename Handler> void run(Handler&& handler)
    {
        platform::runDescribedHandler(
            m_errors, [this] { return m_state.view().failedOperationText(); }, std::forward<Handler>(handler));
    }
    void buildForm();
    void takeWholeValues();
    void wireHandlers();
    void wireDurations();
    const DurationFields* durationFields(int page) const;
    // Selects a page from the program: the page-change rule does not run.
    void selectPage(int index);
    void restoreFocus(DurationEdit* field);
    QWidget* firstField(int page) const;
    void resetAllPages();
    void clearDvdPage();
    void finishOpening();
    void showAndRaise();
    // Edit openings, one per category; each returns false when its check refused.
    bool fillAlbumEdit();
    bool fillTrackEdit();
    bool fillCompilationEdit();
    bool fillDvdEdit();
    bool fillClipEdit();
    bool fillGameEdit();
    bool fillProgramEdit();
    void keepEditTarget(int tab);
    void rememberFilledTexts(int page);
    // What every page shows now, so that what the user types after it can be told.
    void rememberShownTexts();
    bool typedSinceShown() const;
    // The catalogue open now is not the one the dialog was opened on: the press is refused with a message
    // before anything is written.
    bool refusedAsOtherCatalogue();
    // Whether the user changed a field, a chooser or a list: always so for new rows.
    bool typed(const QLineEdit* field) const;
    bool typed(const QComboBox* chooser) const;
    bool typed(const QListWidget* list) const;
    bool lengthTyped(int page) const;
    // The length a press records for a page: as stored when an edit left it alone, else composed. A typed part
    // above its bound refuses the press (false) with a beep, a message and the focus in that field.
    bool pressedLength(int page, QString& length, bool& typedLength);
    // One press of a recording button, whichever it was.
    void recordPress();
    ShownList shownList();
    void showAgain(const ShownList& shown);
    // Recording; each returns false when the press was refused.
    bool recordNewRow();
    bool recordEdit();
    bool recordAlbumTrack();
    bool recordCompilation();
    bool recordDvd();
    bool recordClip();
    bool recordGame();
    bool recordProgram();
    bool updateAlbumOrTrack();
    // Runs the update of an edit; false, after telling the user, when it found no row because another window
    // or program changed or deleted the row meanwhile.
    bool runUpdate(const engine::Statement& statement);
    // Whether the album key kept from the last track still names an album row with this artist and title.
    bool keptAlbumHolds(catalogue::QueryChannel& channel, const QString& artist, const QString& album) const;
    // The key of the album the catalogue holds under this artist and title; empty when it holds none.
    QString heldAlbumKey(catalogue::QueryChannel& channel, const QString& artist, const QString& album);
    // The checks of a page, in their order; shared by new rows and edits. In an edit a field the user left
    // alone is not checked: it goes back as the catalogue holds it.
    bool checkAlbumTrack(const QString& length);
    bool checkCompilation(QString& length);
    bool checkDvd(QString& length, QString& soundTracks, QString& subtitles);
    bool checkClip(QString& length);
    bool checkGame();
    bool checkProgram();
    // A refusal: the beep and the text slot's message. Always false.
    bool refuse(int slot);
    // The catalogue is read-only: the press is refused with a message before anything changes.
    bool refusedAsReadOnly();
    record_sql::Track trackFields(const QString& length) const;
    record_sql::Compilation compilationFields(const QString& length) const;
    record_sql::Dvd dvdFields(const QString& length, const QString& soundTracks, const QString& subtitles) const;
    // Adds a chooser's text to its list, unless it is the prompt or would make the list text too long.
    void addChosen(QComboBox* chooser, const QString& prompt, QListWidget* list);
    record_sql::Clip clipFields(const QString& length) const;
    record_sql::Item gameFields() const;
    record_sql::Item programFields() const;
    void runCommand(const engine::Statement& statement);
    void closingSteps();
    void resetDvdPage();
    // The check of an edit opening: the category's grid has rows and the key field is filled.
    bool editableRow(int rowCount, const QString& keyField, const QString& message);

    editing::EditState& m_state;
    platform::ErrorReport& m_errors;
    Thang_felirat_help* m_help = nullptr;

    QTabWidget* m_tabla = nullptr;
    std::array<QWidget*, 6> m_pages{};
    AlbumPage m_album{};
    CompilationPage m_compilation{};
    DvdPage m_dvd{};
    ClipPage m_clip{};
    GamePage m_game{};
    ProgramPage m_program{};
    QPushButton* m_rogzitNew = nullptr;
    QPushButton* m_rogzitEnd = nullptr;
    QPushButton* m_cancelExit = nullptr;

    int m_shownPage = 0;
    bool m_restoringFocus = false;
    QString m_currentAlbumKey;
    QString m_currentAlbumArtist; // the artist and title the kept key was written for
    QString m_currentAlbumTitle;
    EditTarget m_editTarget;
    std::map<const QObject*, QString> m_shownTexts;
    std::map<const QObject*, QStringList> m_shownItems;
};
