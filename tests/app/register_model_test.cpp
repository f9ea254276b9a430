// The register table model: its file as read, loads that fail, and refresh and
// write turns against the simulator serving the same register table.
#include <QColor>
#include <QCoreApplication>
#include <QSignalSpy>
#include <QtTest>

#include "app_test_env.h"
#include "app_test_sim.h"
#include "comAdapter.h"
#include "comSettings.h"
#include "dataObject.h"
#include "upsDataModel.h"

namespace {

QString appDir() {
    return QString::fromLocal8Bit(qgetenv("QXUPS_APPDIR"));
}

QString tableFile(const QString& product) {
    return appDir() + QStringLiteral("/iconfigs/") + product +
           QStringLiteral("/config_registers.xml");
}

bool writeTable(const QString& product, const QByteArray& text) {
    QDir().mkpath(appDir() + QStringLiteral("/iconfigs/") + product);
    QFile file(tableFile(product));
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
}

// Every rule of the format: any document element, "Config" skipped, two
// "Items" appended in order, unknown children ignored, a repeated child wins
// last, RW in any case, a non-numeric address, an empty "Item".
const char kFormatTable[] = R"(<?xml version="1.0"?>
<AnyName>
  <Config><Items><Item><Addr>40001</Addr></Item></Items></Config>
  <Items>
    <Item><Addr>40005</Addr><Name>Five</Name><RW>r</RW><Description>d5</Description></Item>
    <Item><RW>wr</RW><Name>first</Name><Addr>40036</Addr><Name>second</Name><Extra>x</Extra><Min>1</Min><Max>9</Max></Item>
    <Note><Item><Addr>40002</Addr></Item></Note>
    <Item><Addr>4x</Addr><RW>rx</RW><Name>bad</Name><Min>9</Min><Max>1</Max></Item>
  </Items>
  <Other/>
  <Items>
    <Item/>
    <Item><Addr>65535</Addr><RW>w</RW><Min>x</Min><Max>70000</Max></Item>
  </Items>
</AnyName>
)";

// The module's table: the simulator makes these registers exist with their access.
const char kDeviceTable[] = R"(<?xml version="1.0"?>
<Registers>
  <Items>
    <Item><Addr>40005</Addr><Name>Five</Name><RW>R</RW></Item>
    <Item><Addr>40036</Addr><Name>A</Name><RW>RW</RW></Item>
    <Item><Addr>40037</Addr><Name>B</Name><RW>RW</RW></Item>
    <Item><Addr>40100</Addr><Name>Far</Name><RW>RW</RW></Item>
  </Items>
</Registers>
)";

QString cell(const upsDataModel& model, int row, int column, int role = Qt::DisplayRole) {
    return model.data(model.index(row, column), role).toString();
}

}  // namespace

class RegisterModelTest : public QObject {
    Q_OBJECT
private slots:
    // Runs first, while the program folder holds no "iconfigs" yet.
    void loadFailuresKeepTheList() {
        upsDataModel model;
        QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
        QCOMPARE(model.loadDeviceRegisters(QStringLiteral("NOPE")), 0);
        QVERIFY(QFileInfo(appDir() + QStringLiteral("/iconfigs")).isDir());
        QVERIFY(!QFileInfo::exists(appDir() + QStringLiteral("/iconfigs/NOPE")));

        QVERIFY(writeTable(QStringLiteral("FORMAT"), kFormatTable));
        QVERIFY(writeTable(QStringLiteral("BROKEN"), "<Registers><Items><Item></Items>"));
        // Too large to parse without holding up the window: refused unread.
        QVERIFY(writeTable(QStringLiteral("HUGE"),
                           QByteArray(kFormatTable) +
                               QByteArray(upsDataModel::kMaxRegisterFileBytes, ' ')));
        model.loadDeviceRegisters(QStringLiteral("FORMAT"));
        QCOMPARE(model.rowCount(), 5);
        // The view hears that its rows were replaced.
        QCOMPARE(resets.count(), 1);

        const struct {
            const char* product;
            int result;
        } failures[] = {{"NOPE", -1}, {"BROKEN", -2}, {"HUGE", -3}};
        for (const auto& f : failures) {
            QCOMPARE(model.loadDeviceRegisters(QString::fromLatin1(f.product)), 0);
            QCOMPARE(model.loadRegisterFile(), f.result);
            QCOMPARE(model.rowCount(), 5);
            QCOMPARE(cell(model, 0, 1), QStringLiteral("Five"));
        }
        QCOMPARE(resets.count(), 1);
    }

    void fileFormatAsRead() {
        upsDataModel model;
        model.setHeaderLabels({"Address", "Name", "Value", "RW", "Description"});
        model.loadDeviceRegisters(QStringLiteral("FORMAT"));

        const QStringList want[] = {
            // address, name, value, RW, description, Value editable
            {"40005", "Five", "", "R", "d5", "no"},
            {"40036", "second", "", "RW", "NULL", "yes"},
            {"0", "bad", "", "", "NULL", "no"},
            {"0", "NULL", "", "R", "NULL", "no"},
            {"65535", "NULL", "", "W", "NULL", "yes"},
        };
        QCOMPARE(model.rowCount(), 5);
        for (int row = 0; row < 5; ++row) {
            QStringList got;
            for (int column = 0; column < 5; ++column)
                got << cell(model, row, column);
            got << ((model.flags(model.index(row, 2)) & Qt::ItemIsEditable) ? "yes" : "no");
            QCOMPARE(got, want[row]);
            QVERIFY(!(model.flags(model.index(row, 0)) & Qt::ItemIsEditable));
        }
        // Min/Max as read: none, 1..9, a Min above the Max dropped, none, bounds
        // that are no 16-bit numbers ignored.
        const int ranges[][2] = {{0, 65535}, {1, 9}, {0, 65535}, {0, 65535}, {0, 65535}};
        for (int row = 0; row < 5; ++row) {
            QCOMPARE(int(model.dataObjectAt(row)->range().min), ranges[row][0]);
            QCOMPARE(int(model.dataObjectAt(row)->range().max), ranges[row][1]);
        }
        QCOMPARE(model.data(model.index(0, 0)).userType(), int(QMetaType::Int));
        QCOMPARE(model.data(model.index(1, 3), Qt::TextAlignmentRole).toInt(), 129);
        QCOMPARE(model.data(model.index(1, 3), Qt::BackgroundRole).value<QColor>(),
                 QColor(Qt::transparent));
        QCOMPARE(model.data(model.index(1, 3), Qt::ForegroundRole).value<QColor>(),
                 QColor(Qt::black));
        QVERIFY(!model.data(model.index(1, 3), Qt::ToolTipRole).isValid());
        QVERIFY(!model.data(model.index(1, 5)).isValid());
        QVERIFY(!model.dataObjectAt(-1) && !model.dataObjectAt(-2) && !model.dataObjectAt(5));
        QCOMPARE(model.headerData(2, Qt::Horizontal).toString(), QStringLiteral("Value"));
        QVERIFY(!model.headerData(5, Qt::Horizontal).isValid());
        QVERIFY(!model.headerData(0, Qt::Vertical).isValid());
        QVERIFY(!model.headerData(0, Qt::Horizontal, Qt::ToolTipRole).isValid());
    }

    // A typed value arrives as text: both readings of 16 bits are taken.
    void editedValue_data() {
        QTest::addColumn<QVariant>("input");
        QTest::addColumn<int>("column");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("shown");
        QTest::newRow("text 65535") << QVariant("65535") << 2 << true << "65535";
        QTest::newRow("text -1") << QVariant("-1") << 2 << true << "65535";
        QTest::newRow("short -2") << QVariant::fromValue(qint16(-2)) << 2 << true << "65534";
        QTest::newRow("text 70000") << QVariant("70000") << 2 << true << "0";
        QTest::newRow("text abc") << QVariant("abc") << 2 << true << "0";
        QTest::newRow("name column") << QVariant("7") << 1 << false << "";
    }

    void editedValue() {
        QFETCH(QVariant, input);
        QFETCH(int, column);
        QFETCH(bool, accepted);
        QFETCH(QString, shown);
        upsDataModel model;
        model.loadDeviceRegisters(QStringLiteral("FORMAT"));
        QCOMPARE(model.setData(model.index(1, column), input, Qt::EditRole), accepted);
        QCOMPARE(cell(model, 1, 2), shown);
    }

    // Values come from the worker's blocks and extra reads: a row never read
    // or refused is empty, and only a real change asks the view to redraw.
    void blockAndExtraValues() {
        QVERIFY(writeTable(QStringLiteral("DEVICE"), kDeviceTable));
        upsDataModel model;
        model.loadDeviceRegisters(QStringLiteral("DEVICE"));
        QCOMPARE(model.extraAddresses(), QVector<quint32>({40100}));
        const auto values = [&model]() {
            QStringList shown;
            for (int row = 0; row < model.rowCount(); ++row)
                shown << cell(model, row, 2);
            return shown;
        };
        QCOMPARE(values(), QStringList({"", "", "", ""}));
        std::array<quint16, 50> block{};
        block[5] = 65535;
        block[37] = 7;
        model.takeChanged();
        model.setBlockValues(block.data());
        QVERIFY(model.takeChanged());
        model.setBlockValues(block.data());
        QVERIFY(!model.takeChanged());
        model.setRegisterValue(40100, 9, true);
        QCOMPARE(values(), QStringList({"65535", "0", "7", "9"}));
        QVERIFY(model.takeChanged());
        model.setRegisterValue(40100, 9, false);
        QCOMPARE(values(), QStringList({"65535", "0", "7", ""}));
    }
};

QXUPS_APP_TEST_MAIN(QCoreApplication, RegisterModelTest)
#include "register_model_test.moc"
