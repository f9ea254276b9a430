// The configuration page without the window: the post-process settings, the
// script file dialog, the selection across refreshes and which rows open the
// write dialog.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QSpinBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

#include "app_test_env.h"
#include "app_test_sim.h"
#include "configDialog.h"
#include "configWidget.h"
#include "settingsStore.h"
#include "upsDataModel.h"

namespace {

const char kProduct[] = "DCU-1205";

int rowOf(const upsDataModel& model, int address) {
    for (int row = 0; row < model.rowCount(); ++row)
        if (model.data(model.index(row, 0)).toInt() == address) return row;
    return -1;
}

}  // namespace

class ConfigPageTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        const QString from = QStringLiteral(QXUPS_BIN_DIR "/iconfigs/") + kProduct;
        const QString to =
            qEnvironmentVariable("QXUPS_APPDIR") + QStringLiteral("/iconfigs/") + kProduct;
        QVERIFY(QDir().mkpath(to));
        QVERIFY(QFile::copy(from + "/config_registers.xml", to + "/config_registers.xml"));
    }

    // A stored value that is no policy shows "NULL" instead of an empty combo.
    void storedPolicyShows_data() {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<QString>("shown");
        QTest::newRow("2") << QVariant(2) << "SW";
        QTest::newRow("1") << QVariant(1) << "DC_OK";
        QTest::newRow("7") << QVariant(7) << "NULL";
        QTest::newRow("-1") << QVariant(-1) << "NULL";
        QTest::newRow("text") << QVariant("abc") << "NULL";
    }

    void storedPolicyShows() {
        QFETCH(QVariant, stored);
        QFETCH(QString, shown);
        settingsStore::setValue(settingsStore::kGroupPostProcess, "batExecutePolicy", stored);
        configWidget page;
        QCOMPARE(page.findChild<QComboBox*>("m_cbPolicy")->currentText(), shown);
    }

    void choosingPolicyStoresAndAnnounces() {
        settingsStore::setBatExecutePolicy(0);
        configWidget page;
        QSignalSpy announced(&page, &configWidget::signalOnPolicyChanged);
        page.findChild<QComboBox*>("m_cbPolicy")->setCurrentIndex(1);
        QCOMPARE(settingsStore::batExecutePolicy(), 1);
        QCOMPARE(announced.count(), 1);
        QCOMPARE(announced.at(0).at(0).toInt(), 1);
    }

    // The low-battery levels: defaults 20 and 5 %, a stored value that is no
    // percentage keeps the default; an edit is stored and announced, and a
    // new page (also without a device) shows the stored values. The same for
    // the ride-through delay and the runtime level (defaults 0: at once, off;
    // out of range keeps the default).
    void batteryLevelsStoredAndShown() {
        settingsStore::setValue(settingsStore::kGroupPostProcess, "warnLevel", QString());
        settingsStore::setValue(settingsStore::kGroupPostProcess, "criticalLevel", "abc");
        settingsStore::setValue(settingsStore::kGroupPostProcess, "rideThroughS", 3601);
        {
            configWidget page;
            QCOMPARE(page.findChild<QSpinBox*>("m_spinRideThrough")->text(),
                     QStringLiteral("At once"));
            QCOMPARE(page.findChild<QSpinBox*>("m_spinRuntimeLevel")->text(),
                     QStringLiteral("Off"));
            QSignalSpy announced(&page, &configWidget::signalActionTimingChanged);
            page.findChild<QSpinBox*>("m_spinRideThrough")->setValue(10);
            page.findChild<QSpinBox*>("m_spinRuntimeLevel")->setValue(3);
            QCOMPARE(announced.last(), QVariantList({10, 3}));
        }
        QCOMPARE(settingsStore::rideThroughS(), 10);
        QCOMPARE(configWidget().findChild<QSpinBox*>("m_spinRuntimeLevel")->value(), 3);
        settingsStore::setRideThroughS(0);
        settingsStore::setRuntimeLevelMin(0);
        {
            configWidget page;
            QCOMPARE(page.findChild<QSpinBox*>("m_spinWarnLevel")->value(), 20);
            QCOMPARE(page.findChild<QSpinBox*>("m_spinCriticalLevel")->value(), 5);
            QVERIFY(!page.findChild<QCheckBox*>("m_chkCriticalRunsScript")->isChecked());
            QSignalSpy announced(&page, &configWidget::signalBatteryLevelsChanged);
            page.findChild<QSpinBox*>("m_spinWarnLevel")->setValue(30);
            page.findChild<QSpinBox*>("m_spinCriticalLevel")->setValue(0);
            page.findChild<QCheckBox*>("m_chkCriticalRunsScript")->setChecked(true);
            QCOMPARE(announced.count(), 3);
            QCOMPARE(announced.last(), QVariantList({30, 0, true}));
        }
        QCOMPARE(settingsStore::warnLevel(), 30);
        QCOMPARE(settingsStore::criticalLevel(), 0);
        configWidget again;
        QCOMPARE(again.findChild<QSpinBox*>("m_spinWarnLevel")->value(), 30);
        QCOMPARE(again.findChild<QSpinBox*>("m_spinCriticalLevel")->text(), QStringLiteral("Off"));
        QVERIFY(again.findChild<QCheckBox*>("m_chkCriticalRunsScript")->isChecked());
        settingsStore::setWarnLevel(20);
        settingsStore::setCriticalLevel(5);
        settingsStore::setCriticalRunsScript(false);
    }

    // The script chosen with "..." or typed into the field ("@" is a folder
    // where the script is): stored, and said when no file is there; a
    // relative path is refused and stays in the field to be corrected.
    void scriptFileDialog_data() {
        QTest::addColumn<bool>("typed");
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QStringList>("log");
        const QString there = QStringLiteral("@/my scripts/#down.sh");
        const QString gone = QStringLiteral("/opt/my scripts/#down.sh");
        QTest::newRow("chosen") << false << there << there << QStringList();
        QTest::newRow("chosen, not there")
            << false << gone << gone << QStringList{"Post-process script not found: " + gone};
        QTest::newRow("cancelled")
            << false << ""
            << ""
            << QStringList{
                   "The script file dialog was cancelled: no post-process script "
                   "is set any more."};
        QTest::newRow("typed") << true << " " + there + " " << there << QStringList();
        QTest::newRow("typed, not there")
            << true << gone << gone << QStringList{"Post-process script not found: " + gone};
        QTest::newRow("typed, relative")
            << true << "down.sh"
            << "/old/script.sh"
            << QStringList{
                   "ERR: The post-process script needs its full path (starting with /): down.sh"};
        QTest::newRow("typed, emptied")
            << true << ""
            << "" << QStringList{"No post-process script is set any more."};
    }

    void scriptFileDialog() {
        QFETCH(bool, typed);
        QFETCH(QString, input);
        QFETCH(QString, stored);
        QFETCH(QStringList, log);
        QTemporaryDir folder;
        QVERIFY(QDir().mkpath(folder.path() + QStringLiteral("/my scripts")));
        QFile script(folder.path() + QStringLiteral("/my scripts/#down.sh"));
        QVERIFY(script.open(QIODevice::WriteOnly));
        input.replace(QLatin1Char('@'), folder.path());
        stored.replace(QLatin1Char('@'), folder.path());
        settingsStore::setBatPath(QStringLiteral("/old/script.sh"));
        configWidget page;
        auto* shown = page.findChild<QLineEdit*>("m_lineEditBatPath");
        QCOMPARE(shown->text(), QStringLiteral("/old/script.sh"));
        QVERIFY(!shown->isReadOnly());
        QStringList asked;
        page.setFileChooser(
            [&](QWidget*, const QString& caption, const QString& dir, const QString& filters) {
                asked << caption << dir << filters;
                return input;
            });
        apptest::ConsoleRecord console;
        if (typed) {
            shown->setText(input);
            emit shown->editingFinished();
        } else {
            page.slotOnOpenBatFile();
            QCOMPARE(asked.value(0), QStringLiteral("Open bat file"));
            // The stored script's folder is gone: the user's home, not the program's folder.
            QCOMPARE(asked.value(1), QDir::homePath());
            QVERIFY(asked.value(2).contains("(*.sh)") && asked.value(2).contains("(*)"));
        }
        QCOMPARE(settingsStore::batPath(), stored);
        QCOMPARE(shown->text(), stored == QStringLiteral("/old/script.sh") ? input : stored);
        QCOMPARE(console.lines(), log);
        QCOMPARE(shown->toolTip().isEmpty(), log.isEmpty() || input.isEmpty());
    }

    void selectionSurvivesRefreshes() {
        configWidget page;
        page.slotOnGetDeviceType(kProduct);
        std::array<quint16, 50> block{};
        page.slotOnStatusBlock(block);
        page.slotOnUpdate();
        auto* view = page.findChild<QTableView*>("m_tableView");
        QVERIFY(page.dataModel()->rowCount() > 4);
        view->selectRow(3);
        for (int turn = 0; turn < 3; ++turn) {
            block[0] = quint16(turn + 1);
            page.slotOnStatusBlock(block);
            page.slotOnUpdate();
        }
        const QModelIndexList rows = view->selectionModel()->selectedRows();
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows.at(0).row(), 3);
    }

    // A value wider than its column title (short titles, as in Chinese) is
    // shown whole once it has arrived.
    void freshValuesWidenTheirColumn() {
        configWidget page;
        page.slotOnGetDeviceType(kProduct);
        page.dataModel()->setHeaderLabels({"A", "N", "V", "R", "D"});
        auto* view = page.findChild<QTableView*>("m_tableView");
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        std::array<quint16, 50> block{};
        block[37] = 65535;
        page.slotOnStatusBlock(block);
        page.slotOnUpdate();
        QCoreApplication::processEvents();
        const int row = rowOf(*page.dataModel(), 40037);
        QCOMPARE(page.dataModel()->data(page.dataModel()->index(row, 2)).toString(),
                 QStringLiteral("65535"));
        QVERIFY(view->columnWidth(2) >
                view->fontMetrics().horizontalAdvance(QStringLiteral("65535")));
    }

    // Only rows the module lets you write open the write dialog.
    void doubleClickOpensDialogForWritableRows_data() {
        QTest::addColumn<int>("address");
        QTest::addColumn<bool>("opens");
        QTest::newRow("R") << 40000 << false;
        QTest::newRow("RW") << 40035 << true;
        QTest::newRow("W") << 40047 << true;
    }

    void doubleClickOpensDialogForWritableRows() {
        QFETCH(int, address);
        QFETCH(bool, opens);
        configWidget page;
        page.slotOnGetDeviceType(kProduct);
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        auto* view = page.findChild<QTableView*>("m_tableView");
        const int row = rowOf(*page.dataModel(), address);
        QVERIFY(row >= 0);
        const QModelIndex cell = page.dataModel()->index(row, 0);
        view->scrollTo(cell);
        const QPoint at = view->visualRect(cell).center();
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, at);
        QCOMPARE(page.dialog()->isVisible(), opens);
        // A row that opens nothing says why.
        QCOMPARE(page.dataModel()->data(cell, Qt::ToolTipRole).toString(),
                 opens ? QString() : QStringLiteral("read-only"));
        if (opens)
            QCOMPARE(page.dialog()->findChild<QLabel*>("m_lblRegisterAddressValue")->text(),
                     QString::number(address));
    }
};

QXUPS_APP_TEST_MAIN(QApplication, ConfigPageTest)
#include "config_page_test.moc"
