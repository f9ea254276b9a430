// The entry of QXUPSUtility: application, translation, single-instance guard,
// main window, event loop; the exit code 888 asks for a restart (after a
// change of language).
#include <QApplication>
#include <QProcess>
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
// Test hook, built only into the test copy of the program (never installed):
// with QXUPS_TEST_RESTART_WHEN_CONNECTED=1 it asks for a restart as soon as a
// device is open, as a confirmed language change would. The variable is
// removed at once, so the restarted program runs normally.
bool takeRestartHook() {
    const bool wanted = qEnvironmentVariableIntValue("QXUPS_TEST_RESTART_WHEN_CONNECTED") == 1;
    qunsetenv("QXUPS_TEST_RESTART_WHEN_CONNECTED");
    return wanted;
}

void armRestartHook(mainWindow* owner) {
    QTimer* timer = new QTimer(owner);
    timer->setInterval(100);
    QObject::connect(timer, &QTimer::timeout, owner, [timer, owner]() {
        if (!owner->isConnected()) return;
        timer->stop();
        QCoreApplication::exit(kRestartExitCode);
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
    const bool restartHook = takeRestartHook();
#endif

    QApplication app(argc, argv);

    LanguageCheck languageCheck(nullptr);
    languageCheck.loadLanguage();
    QCoreApplication::installTranslator(languageCheck.translator());

    instanceLock guard(QString::fromLatin1(kInstanceName));
    if (guard.acquire() == instanceLock::HeldElsewhere) return 0;

    int result;
    {
        mainWindow window;
        window.show();
#ifdef QXUPS_TEST_HOOKS
        if (restartHook) armRestartHook(&window);
#endif
        result = app.exec();
        window.stopDeviceWork();
    }

    if (result == kRestartExitCode) {
        // The successor runs the same start-up and must find the guard free.
        guard.release();
        QProcess::startDetached(QCoreApplication::applicationFilePath(), QStringList());
        result = 0;
    }
    return result;
}
