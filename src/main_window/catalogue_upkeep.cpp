// SPDX-License-Identifier: GPL-3.0-or-later

#include "main_window/main_window.h"

#include "engine/categories.h"
#include "catalogue/query_channel.h"

#include <QCoreApplication>
#include <QLabel>
#include <QProgressDialog>
#include <algorithm>

// What the store does to a catalogue of its own accord, shown to the user: the indexing of an older catalogue
// (or of one whose tables another program rebuilt), and a count mended while a list was read.

void TFoablak::watchCatalogueUpkeep()
{
    const auto progress = [this](const QString& table) {
        auto* dialog = findChild<QProgressDialog*>(QStringLiteral("indexeles"));
        if (table.isEmpty()) { // done
            delete dialog;
            return;
        }
        if (!dialog) {
            dialog = new QProgressDialog(this);
            dialog->setObjectName(QStringLiteral("indexeles"));
            dialog->setWindowTitle(QStringLiteral("Médiatár"));
            dialog->setCancelButton(nullptr); // an upgrade is all or nothing; it is not stopped half-way
            dialog->setRange(0, engine::dataCategoryCount);
            dialog->setMinimumDuration(500); // shown only when it takes longer than a moment
            dialog->setAutoClose(false);
            dialog->setAutoReset(false);
            dialog->setValue(0);
        }
        dialog->setLabelText(
            QStringLiteral("A katalógus listáinak indexelése (csak egyszer kell)…\nTábla: %1").arg(table));
        dialog->setValue(std::min(dialog->value() + 1, dialog->maximum() - 1));
        // Paints the dialog; what the user types waits until the catalogue is ready.
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    };
    m_browseQuery.setUpgradeProgress(progress);
    m_detailQuery.setUpgradeProgress(progress);
    // A kept count found wrong while a list was read has been mended and the list opened again.
    connect(&m_browseQuery, &catalogue::QueryChannel::recounted, this, [this] {
        if (!m_browseQuery.isOpen())
            return;
        showCount(m_browseQuery.recordCount());
    });
}
