// SPDX-License-Identifier: GPL-3.0-or-later

#include "entry_dialog/duration_edit.h"
#include "entry_dialog/entry_dialog.h"
#include "entry_dialog/form_widgets.h"
#include "entry_dialog/list_text.h"

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

const QString lengthAboveBound = QStringLiteral(
    "A hossz nem megfelelő: az óra legfeljebb 24, a perc és a másodperc legfeljebb 59 lehet. Javítsd ki a kijelölt "
    "mezőt!");
const QString rowChangedMeanwhile =
    QStringLiteral("A módosítás nem került a katalógusba: ezt a sort időközben egy másik ablakban vagy programban "
                   "megváltoztatták vagy törölték. A beírt adatok megmaradtak; a sor mostani állapotát a főablak "
                   "mutatja, onnan nyisd meg újra a szerkesztést.");

const QString otherCatalogueOpen =
    QStringLiteral("A beírt adatok nem kerültek a katalógusba: az adatbevitelt ebben a katalógusban kezdted:\r%1\r"
                   "most viszont ez van nyitva:\r%2\r\rA beírt adatok megmaradtak; a kezdő katalógust megnyitva "
                   "rögzítheted őket.");

} // namespace

void TRogzites::Rogzit_newClick()
{
    if (refusedAsOtherCatalogue() || refusedAsReadOnly())
        return;
    // Each press does what its own button says: an earlier "Rögzít és Kilép" that was refused does not make this
    // press close the dialog.
    m_state.mode.closeAfterRecord = false;
    recordPress();
}

void TRogzites::Rogzit_endClick()
{
    if (refusedAsOtherCatalogue() || refusedAsReadOnly())
        return;
    m_state.mode.closeAfterRecord = true;
    recordPress();
    m_state.mode.editMode = false;
}

void TRogzites::recordPress()
{
    // Every press empties the main window's search, also one that is then refused.
    m_state.view().clearSearch();
    const ShownList shown = shownList();
    bool recorded = false;
    try {
        recorded = m_state.mode.editMode ? recordEdit() : recordNewRow();
    } catch (const platform::Failure&) {
        showAgain(shown);
        throw;
    }
    if (recorded)
        closingSteps();
    else
        showAgain(shown);
}

TRogzites::ShownList TRogzites::shownList()
{
    ShownList shown;
    catalogue::QueryChannel& browse = m_state.browseQuery();
    shown.open = browse.isOpen();
    shown.statement = browse.statement();
    shown.widths = m_state.view().shownColumnWidths();
    return shown;
}

void TRogzites::showAgain(const ShownList& shown)
{
    // A press that wrote nothing leaves the main window's list as it found it: a statement sent meanwhile
    // replaced the list, so it is read again (with the rows as they are now).
    catalogue::QueryChannel& browse = m_state.browseQuery();
    if (!shown.open || browse.isOpen())
        return;
    try {
        browse.setStatement(shown.statement);
        browse.open();
        m_state.view().showColumnWidths(shown.widths);
    } catch (const platform::Failure&) {
        // What failed first is what the user is told; a list that cannot be read now stays empty.
    }
}

bool TRogzites::refusedAsReadOnly()
{
    // Refused before anything changes: what was typed stays in the fields, the modes stay as they are.
    if (!m_state.browseQuery().readOnly())
        return false;
    m_state.services().beeper.beep();
    m_state.services().prompts.information(engine::readOnlyMessage());
    return true;
}

bool TRogzites::refusedAsOtherCatalogue()
{
    // Whatever opened another catalogue meanwhile, nothing typed for one catalogue is written into another.
    if (m_state.onTheOpeningCatalogue())
        return false;
    m_state.services().beeper.beep();
    m_state.services().prompts.information(
        otherCatalogueOpen.arg(m_state.opening.catalogueShown, m_state.browseQuery().shownName()));
    return true;
}

void TRogzites::closingSteps()
{
    m_state.browseQuery().close();
    m_state.view().clearSearch();
    m_state.view().listActiveTab();
    if (m_state.mode.closeAfterRecord)
        hide();
    m_state.mode.editMode = false;
    // What was recorded is no longer unsaved; the page as the recording left it is the one to compare with.
    rememberShownTexts();
}

void TRogzites::runCommand(const engine::Statement& statement)
{
    emit statementSent(statement.text());
    m_state.browseQuery().setStatement(statement);
    m_state.browseQuery().execute();
}

bool TRogzites::runUpdate(const engine::Statement& statement)
{
    runCommand(statement);
    if (m_state.browseQuery().changedRows() > 0)
        return true;
    m_state.services().beeper.beep();
    m_state.services().prompts.information(rowChangedMeanwhile);
    return false;
}

bool TRogzites::refuse(int slot)
{
    m_state.services().beeper.beep();
    m_state.services().prompts.information(m_state.textSlots().text(slot));
    return false;
}

bool TRogzites::typed(const QLineEdit* field) const
{
    if (!m_state.mode.editMode)
        return true;
    const auto filled = m_editTarget.filledTexts.find(field);
    return filled == m_editTarget.filledTexts.end() || filled->second != field->text();
}

bool TRogzites::typed(const QComboBox* chooser) const
{
    return typed(chooser->lineEdit());
}

bool TRogzites::typed(const QListWidget* list) const
{
    if (!m_state.mode.editMode)
        return true;
    const auto filled = m_editTarget.filledItems.find(list);
    return filled == m_editTarget.filledItems.end() || filled->second != listItems(list);
}

bool TRogzites::lengthTyped(int page) const
{
    if (!m_state.mode.editMode)
        return true;
    // Passing through a field pads what it shows ("1" becomes "01"); that is no change of the length.
    for (const DurationEdit* field : *durationFields(page)) {
        const auto filled = m_editTarget.filledTexts.find(field);
        if (filled == m_editTarget.filledTexts.end() ||
            duration::padded(filled->second) != duration::padded(field->text()))
            return true;
    }
    return false;
}

bool TRogzites::pressedLength(int page, QString& length, bool& typedLength)
{
    typedLength = lengthTyped(page);
    if (!typedLength) {
        length = m_editTarget.storedLength;
        return true;
    }
    // The leave rule may not have run (a button pressed by its accelerator keeps the focus in the field), so
    // the bounds are checked here as well.
    for (DurationEdit* field : *durationFields(page)) {
        if (duration::exceedsBound(duration::padded(field->text()), field->bound())) {
            m_state.services().beeper.beep();
            m_state.services().prompts.information(lengthAboveBound);
            field->setFocus(Qt::OtherFocusReason);
            field->selectAll();
            return false;
        }
    }
    length = compose(page);
    return true;
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

bool TRogzites::checkCompilation(QString& length)
{
    bool typedLength = true;
    if (!pressedLength(1, length, typedLength))
        return false;
    if (typed(m_compilation.Eloado_szam_cime) && m_compilation.Eloado_szam_cime->text().isEmpty())
        return refuse(20511);
    if (typedLength && length == duration::noLength)
        return refuse(20514);
    if (typed(m_compilation.Tomoritesi_mertek) && m_compilation.Tomoritesi_mertek->text().isEmpty())
        return refuse(20515);
    return true;
}

bool TRogzites::checkDvd(QString& length, QString& soundTracks, QString& subtitles)
{
    if (typed(m_dvd.Film_cime) && m_dvd.Film_cime->text().isEmpty())
        return refuse(20517);
    bool typedLength = true;
    if (!pressedLength(2, length, typedLength))
        return false;
    if (typedLength && length == duration::noLength)
        return refuse(20514);
    if (typed(m_dvd.Stilus) && m_dvd.Stilus->currentText() == entry_form::stylePrompt)
        return refuse(20518);
    // The two lists are joined into working texts of the press's own: the clicked film's values in the
    // current-row record stay as they are for the main window's deletion and the next edit.
    const bool soundTracksTyped = typed(m_dvd.Film_hangjai);
    soundTracks = soundTracksTyped ? list_text::join(listItems(m_dvd.Film_hangjai)) : m_editTarget.storedSoundTracks;
    if (soundTracksTyped && soundTracks.isEmpty()) {
        m_state.services().prompts.information(m_state.textSlots().text(20516));
        return false;
    }
    subtitles = typed(m_dvd.Film_feliratai) ? list_text::joinSubtitles(listItems(m_dvd.Film_feliratai))
                                            : m_editTarget.storedSubtitles;
    return true;
}

bool TRogzites::checkClip(QString& length)
{
    bool typedLength = true;
    if (!pressedLength(3, length, typedLength))
        return false;
    if (typed(m_clip.Clip_cime) && m_clip.Clip_cime->text().isEmpty())
        return refuse(20519);
    if (typed(m_clip.Clip_meret) && m_clip.Clip_meret->text().isEmpty())
        return refuse(20520);
    if (typedLength && length == duration::noLength)
        return refuse(20514);
    return true;
}

bool TRogzites::checkGame()
{
    if (typed(m_game.Jatek_neve) && m_game.Jatek_neve->text().isEmpty())
        return refuse(20521);
    if (typed(m_game.Jatek_merete) && m_game.Jatek_merete->text().isEmpty())
        return refuse(20522);
    return true;
}

bool TRogzites::checkProgram()
{
    if (typed(m_program.Progs_neve) && m_program.Progs_neve->text().isEmpty())
        return refuse(20523);
    if (typed(m_program.Progs_meret) && m_program.Progs_meret->text().isEmpty())
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

record_sql::Dvd TRogzites::dvdFields(const QString& length, const QString& soundTracks, const QString& subtitles) const
{
    return {m_dvd.Film_cime->text(),
            m_dvd.Film_eredeti_cime->text(),
            soundTracks,
            subtitles,
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
