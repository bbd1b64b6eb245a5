// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "media/media_reader.h"
#include "media/recording.h"

#include <QDialog>
#include <QMutex>
#include <atomic>

class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QThread;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;

namespace platform {
class ErrorReport;
}
namespace catalogue {
class QueryChannel;
}

// What files and folders would add to the catalogue, before anything is written: the files are read on a worker
// thread while the window shows how far it got (the window stays usable, and Mégse stops the reading); then the
// rows are listed, grouped by album, with those the catalogue holds marked. The user corrects any cell, leaves
// rows out, sets the medium's code of every row at once, and records them all in one transaction ("Rögzítés"),
// or nothing (Mégse). Every file that gave no row is listed with the reason.
class MediaPreview : public QDialog
{
    Q_OBJECT

public:
    MediaPreview(catalogue::QueryChannel& channel, platform::ErrorReport& errors, const QStringList& paths,
                 media::Kind kind, QWidget* parent = nullptr);
    // Stops a reading still running and waits for it (it stops between two files).
    ~MediaPreview() override;

    // The reading has not finished yet.
    bool isReading() const { return m_worker != nullptr; }
    // The rows a press of "Rögzítés" would record now.
    media::Reading rowsToRecord() const;
    // What the last recording wrote.
    const media::Recorded& recorded() const { return m_recorded; }

public slots:
    void reject() override;

signals:
    // The rows are listed (or the reading was stopped): the window waits for the user.
    void readingFinished();

private:
    void buildControls();
    void showProgress();
    void readingDone();
    void markHeldRows();
    void rowChanged(QTreeWidgetItem* item, int column);
    void updateSummary();
    void recordClick();
    void stopClick();

    catalogue::QueryChannel& m_channel;
    platform::ErrorReport& m_errors;
    const QStringList m_paths;
    const media::Kind m_kind;

    QThread* m_worker = nullptr;
    std::atomic_bool m_cancel{false};
    mutable QMutex m_progressLock;
    media::Progress m_progress; // under m_progressLock
    media::Reading m_reading;   // written by the worker, read once it has finished
    media::Recorded m_recorded;
    bool m_filling = false;
    bool m_closed = false; // Mégse: nothing more is shown

    QLabel* m_readLabel = nullptr;
    QProgressBar* m_readProgress = nullptr;
    QTreeWidget* m_rows = nullptr;
    QLabel* m_summary = nullptr;
    QLineEdit* m_code = nullptr;
    QLabel* m_unreadLabel = nullptr;
    QListWidget* m_unread = nullptr;
    QPushButton* m_record = nullptr;
    QPushButton* m_stop = nullptr;
    QPushButton* m_cancelButton = nullptr;
    QTimer* m_progressTimer = nullptr;
};
