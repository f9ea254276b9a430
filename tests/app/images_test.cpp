// The embedded images: every one is compiled in under its resource path with
// its pixel size, the tray states differ in shape, and the launcher icons are
// painted into the build tree.

#include <QImage>
#include <QtTest>

class imagesTest : public QObject {
    Q_OBJECT

private slots:
    void resourceSizes_data();
    void resourceSizes();
    void trayIconsDifferInShape_data();
    void trayIconsDifferInShape();
    void launcherIcons();
};

void imagesTest::resourceSizes_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QSize>("size");
    const QSize icon(40, 40), led(52, 52);
    const struct {
        const char* name;
        QSize size;
    } table[] = {
        {"DC.png", {16, 16}},
        {"UPS.png", {16, 16}},
        {"NotConnected.png", {16, 16}},
        {"LowBattery.png", {16, 16}},
        {"main_cnc.png", {193, 246}},
        {"connect.png", icon},
        {"disconnect.png", icon},
        {"option.png", icon},
        {"about.png", icon},
        {"help.png", icon},
        {"config.png", icon},
        {"Warning.png", icon},
        {"battery0.png", icon},
        {"battery25.png", icon},
        {"battery50.png", icon},
        {"battery75.png", icon},
        {"battery100.png", icon},
        {"caution1.png", icon},
        {"caution2.png", icon},
        {"caution3.png", icon},
        {"close.png", icon},
        {"home.png", icon},
        {"minimize.png", icon},
        {"ok.png", icon},
        {"open.png", {32, 32}},
        {"led_green.png", led},
        {"led_red.png", led},
        {"led_white.png", led},
        {"led_yellow.png", led},
        {"TARVEL LOGO-01.png", {2500, 582}},
    };
    for (const auto& row : table)
        QTest::newRow(row.name) << QString::fromLatin1(row.name) << row.size;
}

void imagesTest::resourceSizes() {
    QFETCH(QString, name);
    QFETCH(QSize, size);
    const QImage img(QStringLiteral(":/mainWindow/images/UPS/") + name);
    QVERIFY2(!img.isNull(), qPrintable(name));
    QCOMPARE(img.size(), size);
    QVERIFY(img.hasAlphaChannel());
    // painted, not empty: some pixels opaque and some clear at the edges
    int opaque = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (qAlpha(img.pixel(x, y)) > 200) ++opaque;
    QVERIFY(opaque > img.width() * img.height() / 10);
    QCOMPARE(qAlpha(img.pixel(0, 0)), 0);
}

// The four tray states must be told apart without colour: the alpha masks
// (pixels at least half opaque) of each pair must differ over a good part of
// the icon.
void imagesTest::trayIconsDifferInShape_data() {
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::newRow("DC, UPS") << "DC.png"
                             << "UPS.png";
    QTest::newRow("DC, not connected") << "DC.png"
                                       << "NotConnected.png";
    QTest::newRow("UPS, not connected") << "UPS.png"
                                        << "NotConnected.png";
    QTest::newRow("UPS, low battery") << "UPS.png"
                                      << "LowBattery.png";
    QTest::newRow("low battery, DC") << "LowBattery.png"
                                     << "DC.png";
    QTest::newRow("low battery, not connected") << "LowBattery.png"
                                                << "NotConnected.png";
}

void imagesTest::trayIconsDifferInShape() {
    QFETCH(QString, first);
    QFETCH(QString, second);
    const QImage dc(QStringLiteral(":/mainWindow/images/UPS/") + first);
    const QImage ups(QStringLiteral(":/mainWindow/images/UPS/") + second);
    QCOMPARE(dc.size(), ups.size());
    int either = 0, differ = 0;
    for (int y = 0; y < dc.height(); ++y) {
        for (int x = 0; x < dc.width(); ++x) {
            const bool a = qAlpha(dc.pixel(x, y)) >= 128;
            const bool b = qAlpha(ups.pixel(x, y)) >= 128;
            either += (a || b);
            differ += (a != b);
        }
    }
    QVERIFY(either > 0);
    QVERIFY2(differ * 5 >= either, qPrintable(QStringLiteral("%1 of %2").arg(differ).arg(either)));
}

void imagesTest::launcherIcons() {
    for (int size : {48, 64, 128, 256}) {
        const QString path =
            QStringLiteral(QXUPS_HICOLOR_DIR "/%1x%1/apps/QXUPSUtility.png").arg(size);
        const QImage img(path);
        QVERIFY2(!img.isNull(), qPrintable(path));
        QCOMPARE(img.size(), QSize(size, size));
    }
}

QTEST_GUILESS_MAIN(imagesTest)
#include "images_test.moc"
