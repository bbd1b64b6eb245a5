// SPDX-License-Identifier: GPL-3.0-or-later

#include "main_window/media_drops.h"

#include "main_window/category_grid.h"
#include "main_window/main_window.h"
#include "media_window/media_preview.h"
#include "platform/failure.h"
#include "engine/categories.h"

#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QMimeData>
#include <QTabWidget>
#include <QTimer>
#include <QUrl>

namespace {

MediaDrops::FolderChooser& folderChooser()
{
    static MediaDrops::FolderChooser chooser;
    return chooser;
}

// The local files of a drag; a drag of anything else (a web address, text) is no media.
QStringList localPaths(const QMimeData* data)
{
    QStringList paths;
    if (!data || !data->hasUrls())
        return paths;
    for (const QUrl& url : data->urls())
        if (url.isLocalFile())
            paths << url.toLocalFile();
    return paths;
}

} // namespace

MediaDrops::MediaDrops(TFoablak* window) : QObject(window), m_window(window)
{
    setObjectName(QStringLiteral("mediaDrops"));
    auto* pages = window->findChild<QTabWidget*>(QStringLiteral("Olvasas"));
    for (int tab = 0; tab < engine::dataCategoryCount; ++tab) {
        // The page takes what is dropped beside the list, or on an empty tab, where no list is shown.
        QList<QWidget*> targets{window->grid(tab)->viewport()};
        if (pages && pages->widget(tab))
            targets << pages->widget(tab);
        if (tab == 0)
            targets << window->trackGrid()->viewport();
        for (QWidget* target : targets) {
            target->setAcceptDrops(true);
            target->installEventFilter(this);
            m_targets[target] = tab;
        }
    }
}

std::optional<media::Kind> MediaDrops::kindOfTab(int tab)
{
    switch (tab) {
    case 0:
    case 1:
        // Albums and compilations come from the same files: several artists without an album artist make a
        // compilation, wherever the files were dropped.
        return media::Kind::Music;
    case 2:
        return media::Kind::DvdFilms;
    case 3:
        return media::Kind::Films;
    case 4:
        return media::Kind::Games;
    case 5:
        return media::Kind::Programs;
    default:
        return std::nullopt;
    }
}

void MediaDrops::setFolderChooser(FolderChooser chooser)
{
    folderChooser() = std::move(chooser);
}

bool MediaDrops::eventFilter(QObject* watched, QEvent* event)
{
    const auto target = m_targets.find(watched);
    if (target == m_targets.end())
        return false;
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto* drag = static_cast<QDragMoveEvent*>(event);
        if (localPaths(drag->mimeData()).isEmpty())
            return false;
        drag->acceptProposedAction();
        return true;
    }
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        const QStringList paths = localPaths(drop->mimeData());
        if (paths.isEmpty())
            return false;
        drop->acceptProposedAction();
        // The program the files came from waits until the drop returns: the preview opens after it.
        const int tab = target->second;
        QTimer::singleShot(0, this, [this, tab, paths] {
            platform::runHandler(m_window->services().errors, [&] { openPreview(tab, paths); });
        });
        return true;
    }
    default:
        return false;
    }
}

void MediaDrops::openPreview(int tab, const QStringList& paths)
{
    const std::optional<media::Kind> kind = kindOfTab(tab);
    if (!kind || paths.isEmpty())
        return;
    catalogue::QueryChannel& channel = m_window->browseQuery();
    channel.connect();
    // Refused before anything is read, as every change of a read-only catalogue is.
    if (channel.readOnly()) {
        m_window->services().beeper.beep();
        m_window->services().prompts.information(engine::readOnlyMessage());
        return;
    }
    auto* preview = new MediaPreview(channel, m_window->services().errors, paths, *kind, m_window);
    preview->setWindowFlag(Qt::Window);
    preview->setAttribute(Qt::WA_DeleteOnClose);
    preview->setWindowModality(Qt::WindowModal);
    preview->setWindowTitle(QStringLiteral("Beolvasás: %1").arg(m_window->pageCaption(tab)));
    // The new rows show in the list, as after every change; read once the preview has gone, since reading the
    // list handles waiting events, the preview's deletion among them.
    connect(
        preview, &QDialog::accepted, this,
        [this] {
            platform::runHandler(m_window->services().errors, [this] {
                m_window->browseQuery().close();
                m_window->OlvasasChange();
            });
        },
        Qt::QueuedConnection);
    preview->show();
}

int MediaDrops::tabOf(const CategoryGrid* grid) const
{
    if (grid == m_window->trackGrid())
        return 0;
    for (int tab = 0; tab < engine::dataCategoryCount; ++tab)
        if (m_window->grid(tab) == grid)
            return tab;
    return -1;
}

void MediaDrops::readFolder(CategoryGrid* grid)
{
    const int tab = tabOf(grid);
    if (!kindOfTab(tab))
        return;
    const QString start = m_lastFolder.isEmpty() ? QDir::homePath() : m_lastFolder;
    const QString folder =
        folderChooser() ? folderChooser()(m_window, start)
                        : QFileDialog::getExistingDirectory(m_window, QStringLiteral("A beolvasandó mappa"), start);
    if (folder.isEmpty())
        return;
    m_lastFolder = folder;
    openPreview(tab, {folder});
}
