#pragma once

#include "entry_dialog/entry_form.h"
#include "entry_dialog/record_statements.h"
#include "main_window/main_window.h"
#include "platform/failure.h"

#include <QWidget>
#include <array>

class TFoablak;
class Thang_felirat_help;
class QTabWidget;

// The entry dialog, in which catalogue rows are added and edited: one page per category, the two recording
// buttons and the button that leaves without recording. One instance is created hidden at start-up and lives
// as long as the main window; leaving only hides it, so its texts survive. It is modeless: the main window
// stays usable while it is open, and both share the main window's mode variables.
class TRogzites : public QWidget
{
    Q_OBJECT

public:
    explicit TRogzites(TFoablak& mainWindow, QWidget* parent = nullptr);
    ~TRogzites() override;

    void setHelpDialog(Thang_felirat_help* help) { m_help = help; }

    // --- creation
    void FormCreate();
    void LoadDialogLanguage();
    // --- the two openings, run by the main window's "Adatbevitel" and "Szerkesztés"
    void openForNewRows();
    void openForEditing();
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
    // The length of a page (0 to 3) as the three fields show it, "hh:mm:ss".
    QString compose(int page) const;
    // Puts a stored length into the three fields of a page, as it is, without the leave rule.
    void split(const QString& stored, int page);

    // The index of the page shown. An edit opened from a tab that has no page (VHS, books) shows none and
    // reports that tab's index.
    int shownPage() const { return m_shownPage; }
    // The album that the next MP3-album track is attached to; kept across presses and openings.
    const QString& currentAlbumKey() const { return m_currentAlbumKey; }

signals:
    // A statement is about to be sent to the catalogue; its written-out form.
    void statementSent(const QString& text);

private:
    // The row an edit was opened for, kept from the opening: a click on another row of the main window
    // while the dialog is open does not move the edit.
    struct EditTarget
    {
        bool albumGrid = false;
        bool trackGrid = false;
        record_sql::RowKey album;
        record_sql::RowKey track;
        record_sql::RowKey row; // tabs 1 to 5
    };

    // Runs one handler; a failure ends it and reaches the general error report.
    template <typename Handler> void run(Handler&& handler)
    {
        platform::runDescribedHandler(
            m_errors, [this] { return m_main.failedOperationText(); }, std::forward<Handler>(handler));
    }
    void buildForm();
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
    // Recording; each returns false when the press was refused.
    bool recordNewRow();
    bool recordEdit();
    bool recordAlbumTrack();
    bool recordCompilation();
    bool recordDvd();
    bool recordClip();
    bool recordGame();
    bool recordProgram();
    void updateAlbumOrTrack(const QString& trackLength);
    // The checks of a page, in their order; shared by new rows and edits.
    bool checkAlbumTrack(const QString& length);
    bool checkCompilation(const QString& length);
    bool checkDvd(QString& length);
    bool checkClip(const QString& length);
    bool checkGame();
    bool checkProgram();
    // A refusal: the beep and the text slot's message. Always false.
    bool refuse(int slot);
    record_sql::Track trackFields(const QString& length) const;
    record_sql::Compilation compilationFields(const QString& length) const;
    record_sql::Dvd dvdFields(const QString& length) const;
    record_sql::Clip clipFields(const QString& length) const;
    record_sql::Item gameFields() const;
    record_sql::Item programFields() const;
    void runCommand(const store::Statement& statement);
    void closingSteps();
    void resetDvdPage();
    // The check of an edit opening: the category's grid has rows and the key field is filled.
    bool editableRow(int rowCount, const QString& keyField, const QString& message);

    TFoablak& m_main;
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
    EditTarget m_editTarget;
};
