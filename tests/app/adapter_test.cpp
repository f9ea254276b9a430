// The device adapter against the simulator: messages, versions, the settings
// copied into the descriptor and the addresses it refuses.
#include <QCoreApplication>
#include <QtTest>

#include "app_test_env.h"
#include "app_test_sim.h"
#include "comAdapter.h"
#include "comSettings.h"

using apptest::ConsoleRecord;

namespace {

const QStringList kNoDevice = {"HW:0000", "FW:0000", "DRV:0000"};

}  // namespace

class AdapterTest : public QObject {
    Q_OBJECT
private:
    apptest::SimulatedModule m_module;
    ConsoleRecord m_console;
    comSettings m_settings;
    comAdapter& m_adapter = comAdapter::instance();

private slots:
    void initTestCase() {
        QVERIFY(m_module.start(QString::fromLocal8Bit(qgetenv("QXUPS_APPDIR"))));
    }

    void init() {
        m_settings.comPort = QStringLiteral("COM201");
        m_settings.portNumber = apptest::kSimPort;
        m_settings.slaveId = 1;
        m_settings.parity = 0;
        m_settings.responseTimeout = 300;
    }

    void cleanup() {
        if (m_adapter.isConnected()) QCOMPARE(m_adapter.slotCloseDevice(), 0);
        QCOMPARE(m_module.command("fault none"), QStringLiteral("ok"));
        m_console.clear();
    }

    void openAndCloseReportTheModule() {
        QCOMPARE(m_adapter.slotOpenDevice(&m_settings), 0);
        QVERIFY(m_adapter.isConnected());
        QCOMPARE(m_adapter.deviceInfo().deviceType, quint16(301));
        QCOMPARE(m_adapter.slotCloseDevice(), 0);
        QVERIFY(!m_adapter.isConnected());
        QCOMPARE(
            m_console.lines(),
            QStringList({"Open device success > Device Type:301 Hardware version:1 "
                         "Firmware version:2",
                         "HW:1", "FW:2", "DRV:1000", "Close port 201 slave address 1 is success"}) +
                kNoDevice);

        // A null settings pointer opens the descriptor as it stands.
        m_settings.portNumber = 99;
        QCOMPARE(m_adapter.slotOpenDevice(nullptr), 0);
        QCOMPARE(m_adapter.descriptor().portNumber, quint8(apptest::kSimPort));
    }

    void failedOpens_data() {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<quint32>("timeoutMs");
        QTest::addColumn<quint16>("slaveId");
        QTest::addColumn<int>("result");
        QTest::newRow("silent module") << "fault silent" << 300u << quint16(1) << 8;
        QTest::newRow("time-out 65536") << "fault none" << 65536u << quint16(1) << 2;
        QTest::newRow("time-out 0") << "fault none" << 0u << quint16(1) << 2;
        // Slave 0 is the broadcast address: no module answers a read to it.
        QTest::newRow("slave 0") << "fault none" << 300u << quint16(0) << 2;
        QTest::newRow("slave 256") << "fault none" << 300u << quint16(256) << 2;
    }

    void failedOpens() {
        QFETCH(QString, fault);
        QFETCH(quint32, timeoutMs);
        QFETCH(quint16, slaveId);
        QFETCH(int, result);
        QCOMPARE(m_module.command(qPrintable(fault)), QStringLiteral("ok"));
        m_settings.responseTimeout = timeoutMs;
        m_settings.slaveId = slaveId;
        QCOMPARE(m_adapter.slotOpenDevice(&m_settings), result);
        QVERIFY(!m_adapter.isConnected());
        QCOMPARE(m_console.lines(),
                 QStringList{QStringLiteral("Open device error:%1").arg(result)} + kNoDevice);
    }

    void settingsToDescriptor_data() {
        QTest::addColumn<quint8>("parity");
        QTest::addColumn<quint16>("slaveId");
        QTest::addColumn<quint8>("wantParity");
        QTest::addColumn<quint8>("wantSlave");
        QTest::newRow("none") << quint8(0) << quint16(1) << quint8(0) << quint8(1);
        QTest::newRow("even") << quint8(1) << quint16(1) << quint8(2) << quint8(1);
        QTest::newRow("odd") << quint8(2) << quint16(1) << quint8(1) << quint8(1);
        QTest::newRow("other") << quint8(7) << quint16(1) << quint8(7) << quint8(1);
        QTest::newRow("slave 300") << quint8(0) << quint16(300) << quint8(0) << quint8(44);
    }

    // A pty has no parity, so the translation shows only in the descriptor.
    void settingsToDescriptor() {
        QFETCH(quint8, parity);
        QFETCH(quint16, slaveId);
        QFETCH(quint8, wantParity);
        QFETCH(quint8, wantSlave);
        m_settings.parity = parity;
        m_settings.slaveId = slaveId;
        m_settings.baudRate = 57600;
        m_settings.responseTimeout = 200;
        m_adapter.slotOpenDevice(&m_settings);
        const UPS_DeviceDescriptor d = m_adapter.descriptor();
        QCOMPARE(d.parity, wantParity);
        QCOMPARE(d.slaveAddress, wantSlave);
        QCOMPARE(d.portNumber, quint8(apptest::kSimPort));
        QCOMPARE(d.baudRate, 57600u);
        QCOMPARE(d.responseTimeoutMs, 200u);
    }

    // The program's register numbers are 40000..65535. Refused addresses never
    // reach the module (its request count stays); 65536 and 105536 would
    // otherwise be cut to 16 bits and name another register. The read takes
    // 16 bits, so 65536 arrives there as 0.
    void addressBounds_data() {
        QTest::addColumn<bool>("write");
        QTest::addColumn<uint>("address");
        QTest::addColumn<bool>("refused");
        for (const bool write : {false, true}) {
            for (const uint address : {39999u, 40000u, 65535u, 65536u, 105536u}) {
                if (!write && address > 65536) continue;
                const QString tag =
                    QStringLiteral("%1 %2").arg(write ? "write" : "read").arg(address);
                QTest::newRow(qPrintable(tag))
                    << write << address << (address < 40000 || address > 65535);
            }
        }
    }

    void addressBounds() {
        QFETCH(bool, write);
        QFETCH(uint, address);
        QFETCH(bool, refused);
        QCOMPARE(m_adapter.slotOpenDevice(&m_settings), 0);
        m_console.clear();
        const QString before = m_module.command("stats");
        ushort buffer[1] = {0xBEEF};
        const uint shown = write ? address : ushort(address);
        const int result = write ? m_adapter.slotWriteRegister(address, 5)
                                 : m_adapter.slotReadStatus(ushort(address), 1, buffer);
        if (!refused) {
            QVERIFY(result != -1);
            QVERIFY(m_module.command("stats") != before);
            return;
        }
        QCOMPARE(result, -1);
        QCOMPARE(m_module.command("stats"), before);
        QCOMPARE(buffer[0], ushort(0xBEEF));
        QCOMPARE(
            m_console.lines(),
            QStringList(
                {QStringLiteral("ERR: Register start address %1 is invalid!").arg(shown),
                 write ? QStringLiteral("ERR:-1:When Setting register %1 to value 5").arg(shown)
                       : QStringLiteral("ERR:-1:When reading register start from %1").arg(shown)}));
    }

    void readsAndWrites() {
        QCOMPARE(m_adapter.slotOpenDevice(&m_settings), 0);
        m_console.clear();
        ushort buffer[50] = {};
        QCOMPARE(m_adapter.slotReadStatus(40000, 50, buffer), 0);
        QCOMPARE(buffer[0], ushort(301));
        QCOMPARE(m_adapter.slotWriteRegister(40036, 65535), 0);
        QCOMPARE(m_module.command("get 36"), QStringLiteral("value 65535"));
        QCOMPARE(m_adapter.slotWriteRegister(40010, 5), 11);
        QCOMPARE(m_console.lines(), QStringList({"SUCCESS: Setting register 40036 to value 65535",
                                                 "ERR:11:When Setting register 40010 to value 5"}));
    }
};

QXUPS_APP_TEST_MAIN(QCoreApplication, AdapterTest)
#include "adapter_test.moc"
