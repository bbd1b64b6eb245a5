// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/desktop_setup.h"

#include "entry_dialog/entry_dialog.h"
#include "main_window/link_label.h"
#include "main_window/main_window.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QFontDatabase>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace desktop_setup {

const QString tahomaCloneFolder = QStringLiteral("/usr/share/wine/fonts");

namespace {

const QString tahoma = QStringLiteral("Tahoma");

// A link label as a screen reader wants it: a link named by its caption that can be pressed.
class AccessibleLink : public QAccessibleWidget
{
public:
    explicit AccessibleLink(LinkLabel* label) : QAccessibleWidget(label, QAccessible::Link) {}

    QString text(QAccessible::Text kind) const override
    {
        const auto* label = static_cast<const LinkLabel*>(widget());
        if (kind == QAccessible::Name && label->accessibleName().isEmpty())
            return label->caption();
        if (kind == QAccessible::Description && label->accessibleDescription().isEmpty())
            return label->toolTip();
        return QAccessibleWidget::text(kind);
    }

    QStringList actionNames() const override { return QStringList{pressAction()} + QAccessibleWidget::actionNames(); }

    void doAction(const QString& action) override
    {
        if (action == pressAction())
            static_cast<LinkLabel*>(widget())->activate();
        else
            QAccessibleWidget::doAction(action);
    }
};

QAccessibleInterface* accessibleRole(const QString& className, QObject* object)
{
    // The windows are plain widgets of the program's own classes; Qt would report them as mere fillers.
    if (className == QLatin1String("TFoablak"))
        return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Window);
    if (className == QLatin1String("TRogzites"))
        return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Dialog);
    if (className == QLatin1String("LinkLabel"))
        return new AccessibleLink(static_cast<LinkLabel*>(object));
    return nullptr;
}

} // namespace

bool loadDesignedFont(const QString& folder)
{
    if (QFontDatabase::families().contains(tahoma))
        return true;
    // Only the regular face: the clone's bold face is hardly bolder, and the bold captions come out bolder
    // drawn from the regular one.
    const QString path = QDir(folder).filePath(QStringLiteral("tahoma.ttf"));
    if (QFileInfo::exists(path))
        QFontDatabase::addApplicationFont(path);
    return QFontDatabase::families().contains(tahoma);
}

bool installQtTranslation(QCoreApplication& app)
{
    // The program speaks Hungarian whatever the desktop's language, and so do Qt's own boxes and dialogs.
    auto* translator = new QTranslator(&app);
    if (!translator->load(QLocale(QLocale::Hungarian, QLocale::Hungary), QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

QIcon programIcon()
{
    // Qt draws the SVG where its SVG support is installed; the rendered sizes serve everywhere else.
    QIcon icon;
    icon.addFile(QStringLiteral(":/mediatar.svg"));
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/mediatar-%1.png").arg(size), QSize(size, size));
    return icon;
}

void installAccessibleRoles()
{
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    QAccessible::installFactory(accessibleRole);
}

void prepareDesktop(QApplication& app)
{
    loadDesignedFont();
    installQtTranslation(app);
    QApplication::setWindowIcon(programIcon());
    installAccessibleRoles();
}

} // namespace desktop_setup
