// The arguments and the private log file a restart hands to its successor.
#include "restartHandover.h"

#include <QAction>
#include <QFile>
#include <QPlainTextEdit>
#include <QTabWidget>

#include "appPaths.h"
#include "consolePrint.h"

namespace {

const char kRestartLog[] = "restart-log.txt";
const int kRestartLogLines = 200;

}  // namespace

restartHandover::restartHandover(QTabWidget* tabs, QPlainTextEdit* log, QAction* showConfig,
                                 QWidget* configPage, QObject* parent)
    : QObject(parent),
      m_tabs(tabs),
      m_log(log),
      m_showConfig(showConfig),
      m_configPage(configPage) {}

QStringList restartHandover::restartArguments(bool connected) const {
    QStringList arguments{QStringLiteral("--restarted")};
    if (connected) arguments << QStringLiteral("--connect");
    if (QWidget* front = m_tabs->currentWidget())
        arguments << QStringLiteral("--tab") << front->objectName();
    // The Config tab comes back also when it was open behind another tab.
    if (m_tabs->indexOf(m_configPage) >= 0) arguments << QStringLiteral("--config");
    // The log's last lines, handed over in a private file the successor reads
    // and removes.
    const QString logFile = appPaths::settingsFile(QLatin1String(kRestartLog));
    QStringList lines = m_log->toPlainText().split(QLatin1Char('\n'));
    lines.removeAll(QString());
    if (!lines.isEmpty() &&
        appPaths::writePrivate(
            logFile,
            lines.mid(qMax(0, lines.size() - kRestartLogLines)).join(QLatin1Char('\n')).toUtf8()))
        arguments << QStringLiteral("--log") << logFile;
    return arguments;
}

bool restartHandover::resumeAfterRestart(const QStringList& arguments) {
    if (!arguments.contains(QStringLiteral("--restarted"))) return false;
    // Only the hand-over file is read (and removed), whatever path is given.
    const QString logFile = appPaths::settingsFile(QLatin1String(kRestartLog));
    const int log = arguments.indexOf(QStringLiteral("--log"));
    if (log >= 0 && log + 1 < arguments.size() && arguments.at(log + 1) == logFile) {
        QFile file(logFile);
        if (file.open(QIODevice::ReadOnly)) {
            for (const QString& line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n')))
                if (!line.isEmpty()) m_log->appendPlainText(line);
            file.remove();
        }
    }
    consolePrint::instance().printMsg(tr("Restarted to change the language."));
    const int tab = arguments.indexOf(QStringLiteral("--tab"));
    if (tab >= 0 && tab + 1 < arguments.size()) m_resumeTab = arguments.at(tab + 1);
    m_resumeConfig = arguments.contains(QStringLiteral("--config"));
    if (arguments.contains(QStringLiteral("--connect"))) return true;
    m_resumeTab.clear();
    m_resumeConfig = false;
    return false;
}

void restartHandover::slotOnConnected() {
    // The Config tab exists only while connected, so it is shown first.
    const bool config =
        m_resumeConfig || (!m_resumeTab.isEmpty() && m_resumeTab == m_configPage->objectName());
    m_resumeConfig = false;
    if (config && !m_showConfig->isChecked()) m_showConfig->trigger();
    if (m_resumeTab.isEmpty()) return;
    const QString name = m_resumeTab;
    m_resumeTab.clear();
    for (int i = 0; i < m_tabs->count(); ++i)
        if (m_tabs->widget(i)->objectName() == name) m_tabs->setCurrentIndex(i);
}
