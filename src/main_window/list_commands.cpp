// SPDX-License-Identifier: GPL-3.0-or-later

#include "main_window/list_commands.h"

#include "main_window/category_grid.h"
#include "main_window/main_window.h"
#include "main_window/media_drops.h"
#include "platform/failure.h"
#include "engine/location.h"
#include "engine/categories.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPdfWriter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QProgressDialog>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTimer>

const QString ListCommands::pdfFilter = QStringLiteral("PDF dokumentum (*.pdf)");

namespace {

// A file name made of a caption: nothing in it may name a folder.
QString fileNameOf(const QString& caption)
{
    QString name = caption;
    for (const QChar c : {QLatin1Char('/'), QLatin1Char('\\'), QLatin1Char(':')})
        name.replace(c, QLatin1Char('-'));
    name = name.trimmed();
    return name.isEmpty() ? QStringLiteral("lista") : name;
}

} // namespace

ListCommands::ListCommands(TFoablak* window) : QObject(window), m_window(window)
{
    setObjectName(QStringLiteral("listCommands"));
    for (int tab = 0; tab < engine::dataCategoryCount; ++tab)
        attach(window->grid(tab));
    attach(window->trackGrid());

    // Ctrl+P prints the list in view wherever the focus is in the window.
    auto* printKey = new QAction(QStringLiteral("Nyomtatás…"), window);
    printKey->setObjectName(QStringLiteral("printAction"));
    printKey->setShortcut(QKeySequence::Print);
    printKey->setShortcutContext(Qt::WindowShortcut);
    window->addAction(printKey);
    connect(printKey, &QAction::triggered, this, [this] {
        if (CategoryGrid* grid = activeGrid())
            run([=] { print(grid); });
    });
}

template <typename Handler> void ListCommands::run(Handler&& handler)
{
    platform::runHandler(m_window->services().errors, std::forward<Handler>(handler));
}

void ListCommands::attach(CategoryGrid* grid)
{
    // Ctrl+A selects every row of the list, and a click with Shift or Ctrl a run or a set of rows, to copy them.
    // A plain click still selects the one row it names, which deletion and editing act on.
    grid->setSelectionMode(QAbstractItemView::ExtendedSelection);
    grid->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(grid, &QWidget::customContextMenuRequested, this,
            [this, grid](const QPoint& place) { showMenu(grid, place); });
    auto* copyKey = new QAction(QStringLiteral("Másolás"), grid);
    copyKey->setObjectName(QStringLiteral("copyAction"));
    copyKey->setShortcut(QKeySequence::Copy);
    copyKey->setShortcutContext(Qt::WidgetShortcut);
    grid->addAction(copyKey);
    connect(copyKey, &QAction::triggered, this, [this, grid] { run([=] { copy(grid); }); });
}

void ListCommands::showMenu(CategoryGrid* grid, const QPoint& place)
{
    QMenu menu(grid);
    menu.setObjectName(QStringLiteral("listMenu"));
    // The keys are shown beside the items, as a menu bar's items show theirs.
    QAction* printItem = menu.addAction(QStringLiteral("Nyomtatás…\tCtrl+P"));
    QAction* pdfItem = menu.addAction(QStringLiteral("Mentés PDF-be…"));
    QAction* copyItem = menu.addAction(QStringLiteral("Másolás\tCtrl+C"));
    copyItem->setEnabled(grid->selectionModel() && grid->selectionModel()->hasSelection());
    menu.addSeparator();
    QAction* readItem = menu.addAction(QStringLiteral("Beolvasás mappából…"));
    QAction* chosen = menu.exec(grid->viewport()->mapToGlobal(place));
    if (chosen == printItem)
        run([=] { print(grid); });
    else if (chosen == pdfItem)
        run([=] { saveAsPdf(grid); });
    else if (chosen == copyItem)
        run([=] { copy(grid); });
    else if (chosen == readItem)
        run([=] { m_window->findChild<MediaDrops*>()->readFolder(grid); });
}

CategoryGrid* ListCommands::activeGrid() const
{
    const int tab = m_window->activeTab();
    if (tab < 0 || tab >= engine::dataCategoryCount)
        return nullptr;
    if (tab == 0 && m_window->trackGrid()->hasFocus())
        return m_window->trackGrid();
    return m_window->grid(tab);
}

ShownList ListCommands::completeList(CategoryGrid* grid) const
{
    catalogue::QueryChannel& channel = grid->rowSetModel()->channel();
    // A long search is still being counted: what is printed is the whole list, so it is waited for.
    if (channel.isPending())
        channel.open();
    return shownList(*grid);
}

ListHeading ListCommands::headingFor(CategoryGrid* grid, const ShownList& list) const
{
    const int tab = m_window->activeTab();
    QString title = m_window->findChild<QTabWidget*>(QStringLiteral("Olvasas"))->tabText(tab);
    QString filter;
    if (grid == m_window->trackGrid()) {
        // The tracks of one album: the album is named in the title.
        const QString artist = m_window->findChild<QLabel*>(QStringLiteral("eloado_label"))->text();
        const QString album = m_window->findChild<QLabel*>(QStringLiteral("album_label"))->text();
        title += QStringLiteral(": %1 – %2").arg(artist, album);
    } else if (!m_window->searchBox()->text().isEmpty()) {
        const bool containment = m_window->findChild<QCheckBox*>(QStringLiteral("tartalmazza"))->isChecked();
        filter = QStringLiteral("%1: „%2” (%3)")
                     .arg(m_window->findChild<QComboBox*>(QStringLiteral("Keresesoszlop"))->currentText(),
                          m_window->searchBox()->text(),
                          containment ? QStringLiteral("tartalmazza") : QStringLiteral("kezdete"));
    }
    // A file by its name; a server catalogue by its URI, without its password.
    const QString catalogue = m_window->shownCatalogueName();
    return listHeading(title, engine::Location(catalogue).headingName(), QDate::currentDate(), list.count, filter);
}

bool ListCommands::paintWithProgress(CategoryGrid* grid, const ListHeading& heading, QPagedPaintDevice& device,
                                     const QString& label, QPrinter* abortPrinter)
{
    const ShownList list = completeList(grid);
    QProgressDialog progress(label, QStringLiteral("Mégse"), 0, std::max(list.count, 1), m_window);
    progress.setObjectName(QStringLiteral("printProgress"));
    progress.setWindowTitle(heading.title);
    progress.setWindowModality(Qt::ApplicationModal);
    progress.setMinimumDuration(m_progressDelay);
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    // The dialog lets the window's events run; should the list be replaced meanwhile, its rows are gone.
    bool replaced = false;
    catalogue::QueryChannel& channel = grid->rowSetModel()->channel();
    const QMetaObject::Connection watch =
        connect(&channel, &catalogue::QueryChannel::rowsAboutToChange, this, [&replaced] { replaced = true; });
    bool done = false;
    try {
        done = printList(list, heading, device, [&](int rows) {
            progress.setValue(rows);
            if (!replaced && !progress.wasCanceled())
                return true;
            // A print run stopped half way goes nowhere: no half list comes out of the printer.
            if (abortPrinter)
                abortPrinter->abort();
            return false;
        });
    } catch (...) {
        disconnect(watch);
        throw;
    }
    disconnect(watch);
    if (replaced)
        throw platform::Failure(QStringLiteral("A lista megváltozott nyomtatás közben; a nyomtatás félbemaradt."));
    return done;
}

void ListCommands::print(CategoryGrid* grid)
{
    const ShownList list = completeList(grid);
    const ListHeading heading = headingFor(grid, list);
    QPrinter printer(QPrinter::HighResolution);
    setUpPage(printer, list);
    printer.setDocName(heading.title);
    const QString title = QStringLiteral("Nyomtatás – %1").arg(heading.title);
    // The preview keeps every page it shows in memory, some kilobytes a row: a list longer than anyone reads on
    // the screen goes to the printer without it, a page at a time.
    if (list.count > previewRowLimit) {
        m_window->services().prompts.information(
            QStringLiteral("A lista %1 sora túl hosszú a nyomtatási képhez: a nyomtatás előnézet nélkül, a nyomtató "
                           "kiválasztása után indul.")
                .arg(list.count));
        QPrintDialog dialog(&printer, m_window);
        dialog.setObjectName(QStringLiteral("printDialog"));
        dialog.setWindowTitle(title);
        if (dialog.exec() != QDialog::Accepted)
            return;
        // A run printed to a file that was stopped leaves no half list behind there either.
        if (!paintWithProgress(grid, heading, printer, QStringLiteral("Nyomtatás…"), &printer) &&
            !printer.outputFileName().isEmpty())
            QFile::remove(printer.outputFileName());
        return;
    }
    QPrintPreviewDialog preview(&printer, m_window);
    preview.setObjectName(QStringLiteral("printPreview"));
    preview.setWindowTitle(title);
    // The preview paints the pages again whenever the user changes the page; stopping that closes it.
    connect(&preview, &QPrintPreviewDialog::paintRequested, this, [&](QPrinter* target) {
        bool done = false;
        run([&] { done = paintWithProgress(grid, heading, *target, QStringLiteral("Nyomtatás előkészítése…")); });
        if (!done)
            QTimer::singleShot(0, &preview, &QDialog::reject);
    });
    preview.exec();
}

void ListCommands::saveAsPdf(CategoryGrid* grid)
{
    const ShownList list = completeList(grid);
    const ListHeading heading = headingFor(grid, list);
    QString folder = m_pdfFolder;
    if (folder.isEmpty())
        folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        folder = QDir::homePath();
    const QString path = m_window->services().saveFiles.chooseSaveFile(
        QStringLiteral("Mentés PDF-be"), QDir(folder).filePath(fileNameOf(heading.title) + QStringLiteral(".pdf")),
        pdfFilter);
    if (path.isEmpty())
        return;
    m_pdfFolder = QFileInfo(path).absolutePath();
    // The file is written beside its place and takes its name when it is whole: a stopped or failed PDF leaves
    // nothing half-written, and a file it was to replace stays as it was.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw platform::Failure::described(QStringLiteral("A PDF nem menthető ide: %1").arg(path), file.errorString());
    {
        QPdfWriter writer(&file);
        setUpPage(writer, list);
        writer.setTitle(heading.title);
        writer.setCreator(QStringLiteral("Médiatár"));
        if (!paintWithProgress(grid, heading, writer, QStringLiteral("PDF készítése…"))) {
            file.cancelWriting();
            return;
        }
    }
    if (!file.commit())
        throw platform::Failure::described(QStringLiteral("A PDF nem menthető ide: %1").arg(path), file.errorString());
}

void ListCommands::copy(CategoryGrid* grid)
{
    const RowRanges ranges = selectedRows(*grid);
    if (ranges.empty())
        return;
    const ShownList list = completeList(grid);
    auto data = std::make_unique<QMimeData>();
    data->setText(tabSeparatedText(list, ranges));
    data->setHtml(htmlTable(list, ranges));
    QGuiApplication::clipboard()->setMimeData(data.release());
}
