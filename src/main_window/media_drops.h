// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "media/media_reader.h"

#include <QObject>
#include <QStringList>
#include <functional>
#include <map>
#include <optional>

class CategoryGrid;
class QWidget;
class TFoablak;

// Files and folders dropped on a category's list, or a folder chosen from the lists' context menu, are read
// into that category's rows and shown in the preview; once recorded, the list is read again. The designed
// window gains no control.
class MediaDrops : public QObject
{
    Q_OBJECT

public:
    explicit MediaDrops(TFoablak* window);

    // What a tab's rows are read from; nothing for a tab without data.
    static std::optional<media::Kind> kindOfTab(int tab);
    // The folder dialog: gives the chosen folder, or an empty text when the user cancelled.
    using FolderChooser = std::function<QString(QWidget* parent, const QString& start)>;
    // Replaces the folder dialog (tests answer it); an empty chooser brings the real dialog back.
    static void setFolderChooser(FolderChooser chooser);

    // Opens the preview of the paths for the tab's kind.
    void openPreview(int tab, const QStringList& paths);
    // Asks for a folder and opens its preview for the tab of the grid.
    void readFolder(CategoryGrid* grid);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    int tabOf(const CategoryGrid* grid) const;

    TFoablak* m_window;
    std::map<QObject*, int> m_targets; // the grids' viewports and the pages, by tab
    QString m_lastFolder;
};
