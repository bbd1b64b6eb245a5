#include "entry_dialog/entry_dialog.h"
#include "entry_dialog/form_widgets.h"
#include "entry_dialog/up_down.h"
#include "localisation/language_file.h"
#include "main_window/main_window.h"
#include "platform/failure.h"

#include <QCheckBox>
#include <QComboBox>
#include <QListWidget>

namespace {

// Adds the chooser's text to the list unless the chooser still shows its prompt. The text stays in the
// chooser, so the same item can be added again.
bool addChosen(QComboBox* chooser, const QString& prompt, QListWidget* list)
{
    if (chooser->currentText() == prompt)
        return false;
    list->addItem(chooser->currentText());
    return true;
}

void removeSelected(QListWidget* list)
{
    const QList<QListWidgetItem*> selected = list->selectedItems();
    if (!selected.isEmpty())
        delete list->takeItem(list->row(selected.first()));
}

} // namespace

void TRogzites::Nyelv_hozzaadClick()
{
    if (!addChosen(m_dvd.hang, entry_form::soundPrompt, m_dvd.Film_hangjai))
        m_main.services().beeper.beep();
}

void TRogzites::felirat_hozzaadClick()
{
    if (!addChosen(m_dvd.Felirat, entry_form::subtitlePrompt, m_dvd.Film_feliratai))
        m_main.services().beeper.beep();
}

void TRogzites::Film_hangjaidblClick()
{
    removeSelected(m_dvd.Film_hangjai);
}

void TRogzites::Film_felirataidblClick()
{
    removeSelected(m_dvd.Film_feliratai);
}

void TRogzites::UpDown1Click()
{
    m_dvd.DVD_db_szam->setText(QString::number(m_dvd.UpDown1->position()));
}

void TRogzites::DVD_db_szamClick()
{
    // The number of discs recorded is the text itself; only the arrows follow it.
    // Converted by the same rule as every other whole number the program reads.
    const QString text = m_dvd.DVD_db_szam->text();
    const std::optional<int> count = localisation::convertLanguageId(text);
    if (!count)
        throw platform::invalidInteger(text);
    m_dvd.UpDown1->setPosition(*count);
}

void TRogzites::Audio_cdClick()
{
    const bool audioCd = m_album.Audio_cd->isChecked();
    m_album.Meret->clear();
    m_album.Tomorites->setText(audioCd ? QStringLiteral("Audió") : QString());
    m_album.Kod->setText(audioCd ? QStringLiteral("Audió") : QString());
    entry_form::setEnabled({m_album.Meret, m_album.Tomorites, m_album.Kod}, !audioCd);
}

void TRogzites::Eloado_azonosClick()
{
    // Only the enabled state follows: a tick of the album box survives while it is greyed.
    m_album.Album_azonos->setEnabled(m_album.Eloado_azonos->isChecked());
}
