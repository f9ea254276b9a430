// The entry of QXUPSUtility: application, translation, single-instance guard,
// main window, event loop; the exit code 888 asks for a restart (after a
// change of language).
#include <QAction>
#include <QApplication>
#include <QFile>
#include <QPlainTextEdit>
#include <QProcess>
#include <QSaveFile>
#include <QTabWidget>
#include <QTimer>

#include <QLabel>

#include "LanguageCheck.h"
#include "batteryWidget.h"
#include "ledWidget.h"
#include "nutVariablesWidget.h"
#include "trayPresenter.h"
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
// (=config: with the Config tab in front). The variable is removed at once, so the restarted
// program runs normally. QXUPS_TEST_STATE_FILE names a file the window keeps writing its state to:
// "connected <0|1> tab <name> restarts <n>", n being the log's restart lines. QXUPS_TEST_VIEW_FILE
// names a file it keeps writing what the status page shows to (see armViewHook), then the message
// log.
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

// One line of what the status page shows: the five values, the gauge and the
// indicators ("1" on, "0" off, "-" grey: no source), and the tray image;
// then the message log.
void armViewHook(mainWindow* owner) {
    const QString path = qEnvironmentVariable("QXUPS_TEST_VIEW_FILE");
    if (path.isEmpty()) return;
    QTimer* timer = new QTimer(owner);
    timer->setInterval(100);
    QObject::connect(timer, &QTimer::timeout, owner, [owner, path]() {
        auto text = [owner](const char* name) {
            return owner->findChild<QLabel*>(QLatin1String(name))->text();
        };
        QStringList parts;
        parts << QStringLiteral("supply=") + text("m_lblPowerSupplyValue")
              << QStringLiteral("battery=") + text("m_lblBatteryChargingStatusValue")
              << QStringLiteral("vin=") + text("m_lblVoltageInputValue")
              << QStringLiteral("vout=") + text("m_lblVoltageOutputValue")
              << QStringLiteral("policy=") + text("m_lblPolicyModeValue");
        const batteryWidget* gauge = owner->findChild<batteryWidget*>();
        parts << QStringLiteral("charge=%1")
                     .arg(gauge->isIdle() ? QStringLiteral("-") : QString::number(gauge->value()));
        QStringList leds;
        for (const char* name : {"m_ledDC_OK", "m_ledBatMode", "m_ledBatReady", "m_ledSW",
                                 "m_ledRemote", "m_ledBatStart", "m_ledDevSts"}) {
            const ledWidget* led = owner->findChild<ledWidget*>(QLatin1String(name));
            leds << led->text() + QLatin1Char(':') +
                        (!led->isEnabled() ? QStringLiteral("-")
                         : led->isOn()     ? QStringLiteral("1")
                                           : QStringLiteral("0"));
        }
        parts << QStringLiteral("leds=") + leds.join(QLatin1Char(','));
        parts << QStringLiteral("tray=") + owner->findChild<trayPresenter*>()->iconPath();
        parts << QStringLiteral("config=") + owner->findChild<nutVariablesWidget*>()->message();
        const QString log =
            owner->findChild<QPlainTextEdit*>(QStringLiteral("m_statusOutput"))->toPlainText();
        // Replaced whole, so that a reader never finds it half written.
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly)) return;
        file.write(
            (parts.join(QLatin1Char('|')) + QLatin1Char('\n') + log + QLatin1Char('\n')).toUtf8());
        file.commit();
    });
    timer->start();
}

void armNutWriteHook(mainWindow* owner) {
    const QString wanted = qEnvironmentVariable("QXUPS_TEST_NUT_WRITE");
    const int equals = wanted.indexOf(QLatin1Char('='));
    if (equals <= 0) return;
    const QString name = wanted.left(equals);
    const QString value = wanted.mid(equals + 1);
    QTimer* timer = new QTimer(owner);
    timer->setInterval(200);
    QObject::connect(timer, &QTimer::timeout, owner, [timer, owner, name, value]() {
        if (!owner->isConnected()) return;
        QTabWidget* tabs = owner->findChild<QTabWidget*>(QStringLiteral("m_tabWidget"));
        QWidget* config = owner->findChild<QWidget*>(QStringLiteral("m_configWidget"));
        if (tabs->indexOf(config) < 0)
            owner->findChild<QAction*>(QStringLiteral("m_configAction"))->trigger();
        tabs->setCurrentWidget(config);
        nutVariablesWidget* variables = owner->findChild<nutVariablesWidget*>();
        if (variables->rowCount() == 0) return;
        timer->stop();
        variables->writeVariable(name, value);
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
        armViewHook(&window);
        armNutWriteHook(&window);
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
