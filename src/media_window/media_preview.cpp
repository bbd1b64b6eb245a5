// SPDX-License-Identifier: GPL-3.0-or-later

#include "media_window/media_preview.h"

#include "media_window/preview_rows.h"
#include "platform/failure.h"
#include "catalogue/query_channel.h"

#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QScopeGuard>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QThread>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

// Only the cells of the catalogue's columns open an editor; the notes and the file names stay as read.
class CorrectableCells : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        return preview_rows::isEditable(index) ? QStyledItemDelegate::createEditor(parent, option, index) : nullptr;
    }
};

QLabel* plainLabel(const QString& text, const QString& name, QWidget* parent)
{
    // A file name may look like markup; it is shown as it is.
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    return label;
}

} // namespace

MediaPreview::MediaPreview(catalogue::QueryChannel& channel, platform::ErrorReport& errors, const QStringList& paths,
                           media::Kind kind, QWidget* parent)
    : QDialog(parent), m_channel(channel), m_errors(errors), m_paths(paths), m_kind(kind)
{
    setObjectName(QStringLiteral("mediaPreview"));
    buildControls();

    media::Control control;
    control.cancel = &m_cancel;
    control.progress = [this](const media::Progress& progress) {
        const QMutexLocker lock(&m_progressLock);
        m_progress = progress;
    };
    m_worker = QThread::create([this, control] { m_reading = media::readMedia(m_paths, m_kind, control); });
    // The worker's end is handled on the window's thread: the signal crosses threads queued.
    connect(m_worker, &QThread::finished, this, &MediaPreview::readingDone);
    // The progress is shown a few times a second, however fast the files go by.
    m_progressTimer = new QTimer(this);
    m_progressTimer->setInterval(100);
    connect(m_progressTimer, &QTimer::timeout, this, &MediaPreview::showProgress);
    m_progressTimer->start();
    m_worker->start();
}

MediaPreview::~MediaPreview()
{
    if (m_worker) {
        m_cancel = true;
        m_worker->wait();
        delete m_worker;
    }
}

void MediaPreview::buildControls()
{
    resize(860, 520);
    auto* layout = new QVBoxLayout(this);
    m_readLabel = plainLabel(QStringLiteral("Beolvasás…"), QStringLiteral("readLabel"), this);
    m_readLabel->setWordWrap(true);
    layout->addWidget(m_readLabel);
    m_readProgress = new QProgressBar(this);
    m_readProgress->setObjectName(QStringLiteral("readProgress"));
    m_readProgress->setRange(0, 0); // how many files there are is known only at the end
    layout->addWidget(m_readProgress);

    layout->addWidget(plainLabel(QStringLiteral("A katalógusba kerülő sorok (a cellák dupla kattintással "
                                                "javíthatók, a jelöletlen sorok kimaradnak):"),
                                 QStringLiteral("rowsLabel"), this));
    m_rows = new QTreeWidget(this);
    m_rows->setObjectName(QStringLiteral("previewRows"));
    m_rows->setAccessibleName(QStringLiteral("A katalógusba kerülő sorok"));
    m_rows->setHeaderLabels(preview_rows::headers(m_kind));
    m_rows->setItemDelegate(new CorrectableCells(m_rows));
    m_rows->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);
    m_rows->setEnabled(false);
    connect(m_rows, &QTreeWidget::itemChanged, this, &MediaPreview::rowChanged);
    layout->addWidget(m_rows, 3);
    m_summary = plainLabel(QString(), QStringLiteral("summaryLabel"), this);
    layout->addWidget(m_summary);

    auto* codeRow = new QHBoxLayout;
    QLabel* codeLabel =
        plainLabel(QStringLiteral("Adathordozó &kódja (minden sorhoz):"), QStringLiteral("kodLabel"), this);
    codeLabel->setTextFormat(Qt::AutoText); // the access key
    m_code = new QLineEdit(this);
    m_code->setObjectName(QStringLiteral("kodEdit"));
    codeLabel->setBuddy(m_code);
    // The films' tables keep no medium's code.
    const bool keepsCode = m_kind != media::Kind::Films && m_kind != media::Kind::DvdFilms;
    codeLabel->setVisible(keepsCode);
    m_code->setVisible(keepsCode);
    codeRow->addWidget(codeLabel);
    codeRow->addWidget(m_code, 1);
    layout->addLayout(codeRow);

    m_unreadLabel = plainLabel(QStringLiteral("Nem beolvasható fájlok:"), QStringLiteral("unreadLabel"), this);
    m_unread = new QListWidget(this);
    m_unread->setObjectName(QStringLiteral("unreadFiles"));
    m_unread->setAccessibleName(QStringLiteral("Nem beolvasható fájlok"));
    m_unreadLabel->setVisible(false);
    m_unread->setVisible(false);
    layout->addWidget(m_unreadLabel);
    layout->addWidget(m_unread, 1);

    auto* buttons = new QHBoxLayout;
    m_stop = new QPushButton(QStringLiteral("&Leállítás"), this);
    m_stop->setObjectName(QStringLiteral("stopButton"));
    m_stop->setToolTip(QStringLiteral("A beolvasás leáll; az addig beolvasott sorok megmaradnak."));
    connect(m_stop, &QPushButton::clicked, this, &MediaPreview::stopClick);
    m_record = new QPushButton(QStringLiteral("&Rögzítés"), this);
    m_record->setObjectName(QStringLiteral("recordButton"));
    m_record->setEnabled(false);
    connect(m_record, &QPushButton::clicked, this, &MediaPreview::recordClick);
    m_cancelButton = new QPushButton(QStringLiteral("Mégse"), this);
    m_cancelButton->setObjectName(QStringLiteral("cancelButton"));
    connect(m_cancelButton, &QPushButton::clicked, this, &MediaPreview::reject);
    buttons->addWidget(m_stop);
    buttons->addStretch(1);
    buttons->addWidget(m_record);
    buttons->addWidget(m_cancelButton);
    layout->addLayout(buttons);
}

void MediaPreview::showProgress()
{
    media::Progress progress;
    {
        const QMutexLocker lock(&m_progressLock);
        progress = m_progress;
    }
    m_readLabel->setText(QStringLiteral("Beolvasás: %1 fájl. Most: %2")
                             .arg(progress.filesRead)
                             .arg(QDir::toNativeSeparators(progress.current)));
}

void MediaPreview::stopClick()
{
    m_cancel = true;
    m_stop->setEnabled(false);
}

void MediaPreview::reject()
{
    // Nothing has been written: the reading stops at the next file, and the window goes at once.
    m_cancel = true;
    m_closed = true;
    QDialog::reject();
}

void MediaPreview::readingDone()
{
    m_progressTimer->stop();
    m_worker->deleteLater();
    m_worker = nullptr;
    m_readProgress->setVisible(false);
    m_stop->setVisible(false);
    if (m_closed)
        return;
    m_filling = true;
    preview_rows::fill(m_rows, m_kind, m_reading);
    m_filling = false;
    m_rows->setEnabled(true);
    for (int column = 0; column < m_rows->columnCount(); ++column)
        m_rows->resizeColumnToContents(column);
    for (const media::UnreadFile& file : m_reading.unread)
        m_unread->addItem(QDir::toNativeSeparators(file.path) + QStringLiteral(": ") + file.reason);
    m_unreadLabel->setVisible(!m_reading.unread.isEmpty());
    m_unread->setVisible(!m_reading.unread.isEmpty());
    m_readLabel->setText(m_reading.cancelled ? QStringLiteral("A beolvasás leállt; az addig beolvasott sorok láthatók.")
                                             : QStringLiteral("A beolvasás kész."));
    markHeldRows();
    emit readingFinished();
}

void MediaPreview::markHeldRows()
{
    platform::runHandler(m_errors, QStringLiteral("A katalógus sorai nem olvashatók be."), [this] {
        m_filling = true;
        const auto filled = qScopeGuard([this] { m_filling = false; });
        if (m_kind == media::Kind::Music) {
            const media::Reading shown = preview_rows::collect(m_rows, m_kind, false);
            preview_rows::mark(m_rows, media::heldAlbums(m_channel, shown.albums));
        } else {
            preview_rows::markTitles(m_rows, media::heldTitles(m_channel, m_kind, preview_rows::titles(m_rows)));
        }
    });
    updateSummary();
}

void MediaPreview::rowChanged(QTreeWidgetItem* item, int column)
{
    Q_UNUSED(item);
    Q_UNUSED(column);
    if (m_filling)
        return;
    // A corrected artist, album, title or length may name what the catalogue holds, or no longer.
    markHeldRows();
}

void MediaPreview::updateSummary()
{
    const int count = preview_rows::rowsToRecord(m_rows);
    m_summary->setText(count == 0 ? QStringLiteral("Nincs rögzítendő sor.")
                                  : QStringLiteral("Rögzítendő sorok: %1.").arg(count));
    m_record->setEnabled(count > 0);
}

media::Reading MediaPreview::rowsToRecord() const
{
    media::Reading rows = preview_rows::collect(m_rows, m_kind);
    media::setMediumCode(rows, m_code->text());
    return rows;
}

void MediaPreview::recordClick()
{
    const media::Reading rows = rowsToRecord();
    // A failure writes nothing: the rows stay here, to be recorded again or left.
    platform::runHandler(m_errors, QStringLiteral("A beolvasott sorok nem kerültek a katalógusba."), [&] {
        m_recorded = media::recordReading(m_channel, rows);
        accept();
    });
}
