// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/qt_platform.h"

#include "platform/folders.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QSocketNotifier>
#include <QTimer>
#include <QUrl>
#include <memory>

namespace platform {

QString displayText(const QString& text)
{
    QString shown = text;
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return shown;
}

void QtPrompts::information(const QString& text)
{
    QMessageBox box(QMessageBox::NoIcon, QCoreApplication::applicationName(), displayText(text), QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText); // a value shown in a message is text, never markup
    box.exec();
}

Answer QtPrompts::confirm(const QString& text)
{
    QMessageBox box(QMessageBox::Question, QCoreApplication::applicationName(), displayText(text));
    box.setTextFormat(Qt::PlainText);
    QAbstractButton* yes = box.addButton(QMessageBox::Yes);
    QAbstractButton* no = box.addButton(QMessageBox::No);
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(no);
    // The frame's close button also ends the box through its escape button; only a close that comes from the
    // window system is that button, so such a close is told apart from Escape and from a click on No.
    struct FrameCloseWatch : QObject
    {
        bool closedByFrame = false;
        bool eventFilter(QObject* watched, QEvent* event) override
        {
            if (event->type() == QEvent::Close && event->spontaneous())
                closedByFrame = true;
            return QObject::eventFilter(watched, event);
        }
    } watch;
    box.installEventFilter(&watch);
    box.exec();
    if (watch.closedByFrame)
        return Answer::Closed;
    if (box.clickedButton() == yes)
        return Answer::Yes;
    if (box.clickedButton() == no)
        return Answer::No;
    return Answer::Closed;
}

void QtErrorReport::report(const QString& text)
{
    QMessageBox box(QMessageBox::Critical, QCoreApplication::applicationName(), displayText(text), QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

void QtBeeper::beep()
{
    QApplication::beep();
}

namespace {

// scheme://...: an address, never a file name (a file's name holds no "/").
bool isAddress(const QString& name)
{
    static const QRegularExpression address(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*://"));
    return address.match(name).hasMatch();
}

// The open dialog, which also takes a catalogue's address typed as the name or picked from the addresses offered:
// the file dialog would make a file name of it in the folder shown.
class CatalogueDialog : public QFileDialog
{
public:
    CatalogueDialog(const QString& folder, const QString& filter, const QStringList& addresses)
        : QFileDialog(nullptr, QString(), folder, filter)
    {
        // Qt's own dialog: the name field and the added row exist on every desktop.
        setOption(QFileDialog::DontUseNativeDialog);
        setFileMode(QFileDialog::AnyFile); // the chosen file need not exist
        setAcceptMode(QFileDialog::AcceptOpen);
        setOption(QFileDialog::DontConfirmOverwrite);
        m_name = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        auto* grid = qobject_cast<QGridLayout*>(layout());
        if (addresses.isEmpty() || !m_name || !grid)
            return;
        auto* label = new QLabel(QStringLiteral("Szerveren:"), this);
        auto* remembered = new QComboBox(this);
        remembered->setObjectName(QStringLiteral("szerverek"));
        remembered->addItem(QString());
        remembered->addItems(addresses);
        label->setBuddy(remembered);
        const int row = grid->rowCount();
        grid->addWidget(label, row, 0);
        grid->addWidget(remembered, row, 1, 1, grid->columnCount() - 1);
        connect(remembered, &QComboBox::activated, this, [this, remembered](int index) {
            if (index > 0)
                m_name->setText(remembered->itemText(index));
        });
    }

    void typeAddress(const QString& address)
    {
        if (m_name)
            m_name->setText(address);
    }

    const QString& address() const { return m_address; }

    void accept() override
    {
        const QString typed = m_name ? m_name->text().trimmed() : QString();
        if (isAddress(typed)) {
            m_address = typed;
            QDialog::accept();
            return;
        }
        QFileDialog::accept();
    }

private:
    QLineEdit* m_name = nullptr;
    QString m_address;
};

} // namespace

QString QtFileChooser::chooseFile(const QString& currentName, const QString& filter, const QStringList& addresses)
{
    const bool startsAtAddress = isAddress(currentName);
    CatalogueDialog dialog(startsAtAddress ? QDir::homePath() : QFileInfo(currentName).absolutePath(), filter,
                           addresses);
    if (startsAtAddress)
        dialog.typeAddress(currentName);
    else if (!currentName.isEmpty())
        dialog.selectFile(currentName);
    if (dialog.exec() != QDialog::Accepted)
        return currentName;
    if (!dialog.address().isEmpty())
        return dialog.address();
    if (dialog.selectedFiles().isEmpty())
        return currentName;
    return QDir::toNativeSeparators(dialog.selectedFiles().constFirst());
}

QString QtSaveFileChooser::chooseSaveFile(const QString& title, const QString& suggestedName, const QString& filter)
{
    QFileDialog dialog(QApplication::activeWindow(), title, QFileInfo(suggestedName).absolutePath(), filter);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    // A name typed without an extension gets the filter's, so that the file opens in the right program.
    const QRegularExpressionMatch suffix = QRegularExpression(QStringLiteral("\\*\\.(\\w+)")).match(filter);
    if (suffix.hasMatch())
        dialog.setDefaultSuffix(suffix.captured(1));
    dialog.selectFile(QFileInfo(suggestedName).fileName());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return QDir::toNativeSeparators(dialog.selectedFiles().constFirst());
}

QString passwordQuestion(const QString& shownUri, bool refused)
{
    const QString question = QStringLiteral("Jelszó a katalógushoz:\r%1").arg(shownUri);
    return refused ? QStringLiteral("A szerver nem fogadta el a jelszót.\r\r") + question : question;
}

std::optional<QString> QtPasswordPrompt::askPassword(const QString& shownUri, bool refused)
{
    QInputDialog dialog(QApplication::activeWindow());
    dialog.setWindowTitle(QCoreApplication::applicationName());
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setTextEchoMode(QLineEdit::Password);
    // The dialog's label has a buddy, so a single & would be taken for a shortcut mark and vanish from the URI.
    dialog.setLabelText(
        displayText(passwordQuestion(shownUri, refused)).replace(QLatin1Char('&'), QStringLiteral("&&")));
    dialog.setOkButtonText(QStringLiteral("OK"));
    dialog.setCancelButtonText(QStringLiteral("Mégse"));
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.textValue();
}

void QtDesktopLinks::open(const QString& target)
{
    // A mail link keeps its blank after "mailto:" in the program's text; a mail program wants the address
    // right after the colon, and the subject's accented letters go out percent-encoded as UTF-8.
    QString address = target;
    if (address.startsWith(QLatin1String("mailto:"), Qt::CaseInsensitive)) {
        const qsizetype start = 7;
        qsizetype end = start;
        while (end < address.size() && address.at(end).isSpace())
            ++end;
        address.remove(start, end - start);
    }
    QDesktopServices::openUrl(QUrl(address, QUrl::TolerantMode));
}

bool QtWaiting::waitUntilDone(const QString& text, const std::function<WaitStep()>& step)
{
    QElapsedTimer since;
    since.start();
    std::unique_ptr<QProgressDialog> window;
    bool cancelled = false;
    for (;;) {
        const WaitStep next = step();
        if (next.done)
            return true;
        QEventLoop loop;
        QSocketNotifier ready(next.socket, next.forWriting ? QSocketNotifier::Write : QSocketNotifier::Read);
        QObject::connect(&ready, &QSocketNotifier::activated, &loop, &QEventLoop::quit);
        QTimer waking;
        if (next.wakeAfter >= 0) {
            waking.setSingleShot(true);
            QObject::connect(&waking, &QTimer::timeout, &loop, &QEventLoop::quit);
            waking.start(next.wakeAfter);
        }
        QTimer showing;
        if (!window) {
            showing.setSingleShot(true);
            QObject::connect(&showing, &QTimer::timeout, &loop, [&] {
                window = std::make_unique<QProgressDialog>(displayText(text), QStringLiteral("Mégse"), 0, 0,
                                                           QApplication::activeWindow());
                window->setWindowTitle(QCoreApplication::applicationName());
                window->setWindowModality(Qt::ApplicationModal);
                window->setMinimumDuration(0);
                QObject::connect(window.get(), &QProgressDialog::canceled, &loop, [&] {
                    cancelled = true;
                    loop.quit();
                });
                window->show();
                loop.quit();
            });
            showing.start(int(std::max<qint64>(0, waitingWindowDelay - since.elapsed())));
        } else {
            QObject::connect(window.get(), &QProgressDialog::canceled, &loop, [&] {
                cancelled = true;
                loop.quit();
            });
        }
        // Until the window shows, the user's clicks and keys wait for the operation's end: the window that
        // started it must not start another meanwhile. Once it shows, it is modal and takes them itself.
        loop.exec(window ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents);
        if (cancelled)
            return false;
    }
}

QString ExecutableDirectory::path() const
{
    return QDir::toNativeSeparators(QCoreApplication::applicationDirPath() + QLatin1Char('/'));
}

bool ExecutableDirectory::isWritable() const
{
    return isWritableFolder(path());
}

Services QtPlatform::services()
{
    return Services{m_prompts, m_errors, m_beeper, m_files, m_links, m_directory, m_saveFiles, m_passwords, m_waiting};
}

} // namespace platform
