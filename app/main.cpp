// The entry of QXUPSUtility: application, translation, single-instance guard,
// main window, event loop; the exit code 888 asks for a restart (after a
// change of language).
#include <QAction>
#include <QApplication>
#include <QFile>
#include <QPlainTextEdit>
#include <QProcess>
#include <QTabWidget>
#include <QTimer>

#include "LanguageCheck.h"
#include "comAdapter.h"
#include "consolePrint.h"
#include "instanceLock.h"
#include "mainWindow.h"

namespace {

const int kRestartExitCode = 888;
const char kInstanceName[] = "REVOV_Azezed_UTILITY";

#ifdef QXUPS_TEST_HOOKS
// Test hooks, built only into the test copy of the program (never installed).
// QXUPS_TEST_RESTART_WHEN_CONNECTED=1 presses Connect and asks for a restart
// as soon as the device is open, as a confirmed language change would
// (=config: with the Config tab in front). The variable is removed at once, so the restarted program runs
// normally. QXUPS_TEST_STATE_FILE names a file the window keeps writing its
// state to: "connected <0|1> tab <name> restarts <n>", n being the log's
// restart lines.
QString takeRestartHook() {
    const QString wanted = qEnvironmentVariable("QXUPS_TEST_RESTART_WHEN_CONNECTED");
    qunsetenv("QXUPS_TEST_RESTART_WHEN_CONNECTED");
    return wanted;
}

void armRestartHook(mainWindow* owner, const QString& how) {
    QTimer::singleShot(0, owner, [owner]() {
        owner->findChild<QAction*>(QStringLiteral("m_connectAction"))->trigger();
    });
    QTimer* timer = new QTimer(owner);
    timer->setInterval(100);
    QObject::connect(timer, &QTimer::timeout, owner, [timer, owner, how]() {
        if (!owner->isConnected()) return;
        timer->stop();
        if (how == QLatin1String("config")) {
            owner->findChild<QAction*>(QStringLiteral("m_configAction"))->trigger();
            QTabWidget* tabs = owner->findChild<QTabWidget*>(QStringLiteral("m_tabWidget"));
            tabs->setCurrentIndex(tabs->count() - 1);
        }
        QCoreApplication::exit(kRestartExitCode);
    });
    timer->start();
}

void armStateHook(mainWindow* owner) {
    const QString path = qEnvironmentVariable("QXUPS_TEST_STATE_FILE");
    if (path.isEmpty()) return;
    QTimer* timer = new QTimer(owner);
    timer->setInterval(100);
    QObject::connect(timer, &QTimer::timeout, owner, [owner, path]() {
        const QString log =
            owner->findChild<QPlainTextEdit*>(QStringLiteral("m_statusOutput"))->toPlainText();
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return;
        file.write(QStringLiteral("connected %1 tab %2 restarts %3")
                       .arg(owner->isConnected() ? 1 : 0)
                       .arg(owner->findChild<QTabWidget*>(QStringLiteral("m_tabWidget"))
                                ->currentWidget()
                                ->objectName())
                       .arg(log.count(QStringLiteral("Restarted to change the language.")))
                       .toUtf8());
    });
    timer->start();
}
#endif

}  // namespace

int main(int argc, char** argv) {
    // The program-wide objects exist before anything else uses them.
    comAdapter::instance();
    consolePrint::instance();
#ifdef QXUPS_TEST_HOOKS
    const QString restartHook = takeRestartHook();
#endif

    QApplication app(argc, argv);

    LanguageCheck languageCheck(nullptr);
    languageCheck.loadLanguage();
    QCoreApplication::installTranslator(languageCheck.translator());

    instanceLock guard(QString::fromLatin1(kInstanceName));
    if (guard.acquire() == instanceLock::HeldElsewhere) return 0;

    int result;
    QStringList successorArguments;
    {
        mainWindow window;
        window.show();
        window.resumeAfterRestart(QCoreApplication::arguments());
#ifdef QXUPS_TEST_HOOKS
        if (!restartHook.isEmpty()) armRestartHook(&window, restartHook);
        armStateHook(&window);
#endif
        result = app.exec();
        if (result == kRestartExitCode) successorArguments = window.restartArguments();
        window.stopDeviceWork();
    }

    if (result == kRestartExitCode) {
        // The successor runs the same start-up and must find the guard free;
        // it comes back connected and with the tab in front as this one was.
        guard.release();
        QProcess::startDetached(QCoreApplication::applicationFilePath(), successorArguments);
        result = 0;
    }
    return result;
}
