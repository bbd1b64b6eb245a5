#include "entry_dialog/duration_edit.h"
#include "entry_dialog/entry_dialog.h"
#include "entry_dialog/form_widgets.h"
#include "entry_dialog/list_text.h"
#include "main_window/main_window.h"

#include <QComboBox>
#include <QListWidget>

// A press of a recording button: the checks of the page shown, its statement, and the steps that close every
// successful press. The checks are shared by new rows and edits.

namespace {

QStringList listItems(const QListWidget* list)
{
    QStringList items;
    for (int i = 0; i < list->count(); ++i)
        items << list->item(i)->text();
    return items;
}

} // namespace

void TRogzites::Rogzit_newClick()
{
    if (refusedAsReadOnly())
        return;
    // Every press empties the main window's search, also one that is then refused.
    m_main.searchBox()->clear();
    const bool recorded = m_main.modeVariables.editMode ? recordEdit() : recordNewRow();
    if (recorded)
        closingSteps();
}

void TRogzites::Rogzit_endClick()
{
    if (refusedAsReadOnly())
        return;
    m_main.modeVariables.closeAfterRecord = true;
    Rogzit_newClick();
    m_main.modeVariables.editMode = false;
}

bool TRogzites::refusedAsReadOnly()
{
    // Refused before anything changes: what was typed stays in the fields, the modes stay as they are.
    if (!m_main.browseQuery().readOnly())
        return false;
    m_main.services().beeper.beep();
    m_main.services().prompts.information(store::readOnlyMessage());
    return true;
}

void TRogzites::closingSteps()
{
    m_main.browseQuery().close();
    m_main.searchBox()->clear();
    m_main.OlvasasChange();
    if (m_main.modeVariables.closeAfterRecord)
        hide();
    m_main.modeVariables.editMode = false;
}

void TRogzites::runCommand(const store::Statement& statement)
{
    emit statementSent(statement.text());
    m_main.browseQuery().setStatement(statement);
    m_main.browseQuery().execute();
}

bool TRogzites::refuse(int slot)
{
    m_main.services().beeper.beep();
    m_main.services().prompts.information(m_main.textSlots().text(slot));
    return false;
}

bool TRogzites::checkAlbumTrack(const QString& length)
{
    if (m_album.eloado_neve->text().isEmpty())
        return refuse(20511);
    if (m_album.Album_cime->text().isEmpty())
        return refuse(20512);
    if (m_album.Szam_cime->text().isEmpty())
        return refuse(20513);
    if (length == duration::noLength)
        return refuse(20514);
    if (m_album.Tomorites->text().isEmpty())
        return refuse(20515);
    return true;
}

bool TRogzites::checkCompilation(const QString& length)
{
    if (m_compilation.Eloado_szam_cime->text().isEmpty())
        return refuse(20511);
    if (length == duration::noLength)
        return refuse(20514);
    if (m_compilation.Tomoritesi_mertek->text().isEmpty())
        return refuse(20515);
    return true;
}

bool TRogzites::checkDvd(QString& length)
{
    if (m_dvd.Film_cime->text().isEmpty())
        return refuse(20517);
    length = compose(2);
    if (length == duration::noLength)
        return refuse(20514);
    if (m_dvd.Stilus->currentText() == entry_form::stylePrompt)
        return refuse(20518);
    // The two lists are joined into the current-row record's working texts.
    TCurrentRow& row = m_main.currentRow;
    row.dvdNyelv.clear();
    row.dvdFelirat.clear();
    row.dvdNyelv = list_text::join(listItems(m_dvd.Film_hangjai));
    if (row.dvdNyelv.isEmpty()) {
        m_main.services().prompts.information(m_main.textSlots().text(20516));
        return false;
    }
    row.dvdFelirat = list_text::joinSubtitles(listItems(m_dvd.Film_feliratai));
    return true;
}

bool TRogzites::checkClip(const QString& length)
{
    if (m_clip.Clip_cime->text().isEmpty())
        return refuse(20519);
    if (m_clip.Clip_meret->text().isEmpty())
        return refuse(20520);
    if (length == duration::noLength)
        return refuse(20514);
    return true;
}

bool TRogzites::checkGame()
{
    if (m_game.Jatek_neve->text().isEmpty())
        return refuse(20521);
    if (m_game.Jatek_merete->text().isEmpty())
        return refuse(20522);
    return true;
}

bool TRogzites::checkProgram()
{
    if (m_program.Progs_neve->text().isEmpty())
        return refuse(20523);
    if (m_program.Progs_meret->text().isEmpty())
        return refuse(20524);
    return true;
}

record_sql::Track TRogzites::trackFields(const QString& length) const
{
    return {m_album.Szam_cime->text(), length, m_album.Meret->text(), m_album.Tomorites->text(), m_album.Kod->text()};
}

record_sql::Compilation TRogzites::compilationFields(const QString& length) const
{
    return {m_compilation.Eloado_szam_cime->text(),  m_compilation.Album_cim->text(),   length,
            m_compilation.Tomoritesi_mertek->text(), m_compilation.szam_merete->text(), m_compilation.CD_Kod->text()};
}

record_sql::Dvd TRogzites::dvdFields(const QString& length) const
{
    const TCurrentRow& row = m_main.currentRow;
    return {m_dvd.Film_cime->text(),
            m_dvd.Film_eredeti_cime->text(),
            row.dvdNyelv,
            row.dvdFelirat,
            m_dvd.DVD_db_szam->text(),
            length,
            m_dvd.Stilus->currentText()};
}

record_sql::Clip TRogzites::clipFields(const QString& length) const
{
    return {m_clip.Clip_cime->text(),      m_clip.Clip_leiras->text(), m_clip.Clip_nyelv->text(),
            m_clip.Clip_felbontas->text(), m_clip.Clip_meret->text(),  length,
            m_clip.Clip_stilus->text(),    m_clip.Clip_video->text(),  m_clip.Clip_hang->text()};
}

record_sql::Item TRogzites::gameFields() const
{
    return {m_game.Jatek_neve->text(), m_game.Megjegyzes->text(), m_game.Jatek_merete->text(),
            m_game.JatekCD_kodja->text()};
}

record_sql::Item TRogzites::programFields() const
{
    return {m_program.Progs_neve->text(), m_program.Progs_Megjegyezes->text(), m_program.Progs_meret->text(),
            m_program.Progs_kod->text()};
}
