// Finding and opening the help file, and the check for a viewer.
#include "helpLauncher.h"

#include <QDesktopServices>
#include <QMessageBox>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QUrl>

#include "appPaths.h"
#include "consolePrint.h"
#include "loginDialog.h"

namespace {

const char kSelectFile[] = "help/select.ini";

}  // namespace

helpLauncher::helpLauncher(QWidget* window) : QObject(window), m_window(window) {}

void helpLauncher::setUrlOpener(UrlOpener opener) {
    m_urlOpener = std::move(opener);
}

void helpLauncher::setHelpViewerCheck(std::function<bool()> check) {
    m_helpViewerCheck = std::move(check);
}

void helpLauncher::showHelp(bool connected, const QString& connectedProduct) {
    const QString selectFile = appPaths::readableFile(QLatin1String(kSelectFile));
    QString product;
    uint language = 0;
    if (connected) {
        language = QSettings(selectFile, QSettings::IniFormat)
                       .value(QStringLiteral("/SELECTED/Language"), 0)
                       .toUInt();
        product = connectedProduct;
    } else {
        m_loginDialog = new loginDialog(nullptr);
        const bool accepted = m_loginDialog->exec() == QDialog::Accepted;
        delete m_loginDialog;
        m_loginDialog = nullptr;
        // The dialog may just have written the file the choice is read from.
        const QSettings select(appPaths::readableFile(QLatin1String(kSelectFile)),
                               QSettings::IniFormat);
        if (accepted) product = select.value(QStringLiteral("/SELECTED/Name")).toString();
        // The language chosen at start-up holds also after a cancelled choice.
        language = select.value(QStringLiteral("/SELECTED/Language"), 0).toUInt();
    }

    // A file URL built from the path, not from text: a folder name holding
    // '#', '?', '%' or blanks still names the right file.
    const QString path =
        appPaths::dataDir() + QStringLiteral("/help/") + product + QLatin1Char('/') + product +
        (language == 0 ? QStringLiteral("help.chm") : QStringLiteral("help_en.chm"));
    const QUrl url = QUrl::fromLocalFile(path);
    // The desktop hands a file without a viewer to xdg-open, which fails
    // where nobody sees it: say what is missing and how to get it.
    const bool viewer = m_helpViewerCheck ? m_helpViewerCheck() : chmViewerInstalled();
    if (!viewer) {
        const QString text =
            tr("No program to open .chm files is installed: install xchm "
               "(for example with \"sudo apt-get install xchm\").");
        consolePrint::instance().printMsg(text);
        QMessageBox::information(m_window, tr("Help"), text);
        return;
    }
    const bool opened = m_urlOpener ? m_urlOpener(url) : QDesktopServices::openUrl(url);
    if (opened) return;
    // The desktop opens files through xdg-open: without it nothing can be
    // opened, however fine the file and the viewer are.
    if (QStandardPaths::findExecutable(QStringLiteral("xdg-open")).isEmpty()) {
        const QString text =
            tr("Cannot open help file %1: the program that opens files, xdg-open, is not "
               "installed: install xdg-utils (for example with \"sudo apt-get install "
               "xdg-utils\").")
                .arg(path);
        consolePrint::instance().printMsg(text);
        QMessageBox::information(m_window, tr("Help"), text);
        return;
    }
    consolePrint::instance().printMsg(tr("Cannot open help file: %1").arg(path));
}

// xchm on the path, or any viewer the desktop names for compiled help.
bool helpLauncher::chmViewerInstalled() {
    if (!QStandardPaths::findExecutable(QStringLiteral("xchm")).isEmpty()) return true;
    QProcess query;
    query.start(QStringLiteral("xdg-mime"), {QStringLiteral("query"), QStringLiteral("default"),
                                             QStringLiteral("application/vnd.ms-htmlhelp")});
    if (!query.waitForFinished(2000)) {
        query.kill();
        query.waitForFinished(1000);
        return true;  // cannot tell: let the desktop try
    }
    return !query.readAllStandardOutput().trimmed().isEmpty();
}
