// The compiled help files as the program finds them: one pair per product of
// the product file, each holding all its pages in its own language, with the
// product's name in every title and every register of the product listed.
#include <QDir>
#include <QDomDocument>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QStringList kPages = {"index.html",  "connect.html", "status.html",
                            "config.html", "script.html",  "troubleshooting.html"};

QDomDocument readXml(const QString& path) {
    QDomDocument doc;
    QFile file(path);
    if (file.open(QIODevice::ReadOnly)) doc.setContent(&file);
    return doc;
}

QStringList childTexts(const QDomElement& items, const QString& item, const QString& field) {
    QStringList texts;
    for (QDomElement e = items.firstChildElement(item); !e.isNull();
         e = e.nextSiblingElement(item)) {
        texts << e.firstChildElement(field).text().trimmed();
    }
    return texts;
}

QStringList productTitles() {
    const QDomDocument doc = readXml(QStringLiteral(QXUPS_DATA_DIR "/configs/config_product.xml"));
    return childTexts(doc.documentElement().firstChildElement("Items"), "Item", "DeviceType");
}

QStringList registerAddresses(const QString& product) {
    const QDomDocument doc =
        readXml(QStringLiteral(QXUPS_DATA_DIR "/iconfigs/%1/config_registers.xml").arg(product));
    return childTexts(doc.documentElement().firstChildElement("Items"), "Item", "Addr");
}

QString readUtf8(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

}  // namespace

class helpTest : public QObject {
    Q_OBJECT

private slots:
    void compiledHelpHoldsItsPages_data();
    void compiledHelpHoldsItsPages();
    void helpIniListsTheProducts();
};

void helpTest::compiledHelpHoldsItsPages_data() {
    QTest::addColumn<QString>("product");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<bool>("chinese");
    const QStringList products = productTitles();
    QVERIFY(!products.isEmpty());
    for (const QString& product : products) {
        // Language index 0 is Simplified Chinese; any other index is English.
        QTest::newRow(qPrintable(product + " zh")) << product << product + "help.chm" << true;
        QTest::newRow(qPrintable(product + " en")) << product << product + "help_en.chm" << false;
    }
}

void helpTest::compiledHelpHoldsItsPages() {
    QFETCH(QString, product);
    QFETCH(QString, fileName);
    QFETCH(bool, chinese);

    const QString chm = QStringLiteral(QXUPS_HELP_DIR "/%1/%2").arg(product, fileName);
    QVERIFY2(QFile::exists(chm), qPrintable(chm));
    QTemporaryDir out;
    QVERIFY(out.isValid());
    QProcess extract;
    extract.start(QStringLiteral(QXUPS_EXTRACT_CHMLIB), {chm, out.path() + "/pages"});
    QVERIFY(extract.waitForFinished(60000));
    QCOMPARE(extract.exitCode(), 0);

    const QRegularExpression hanzi(QStringLiteral("[\\x{4e00}-\\x{9fff}]"));
    for (const QString& page : kPages) {
        const QString html = readUtf8(out.path() + "/pages/" + page);
        QVERIFY2(!html.isEmpty(), qPrintable(page + " missing in " + chm));
        const QString title = QRegularExpression("<title>(.*?)</title>").match(html).captured(1);
        QVERIFY2(title.contains(product), qPrintable(page + ": " + title));
        QVERIFY2(html.contains(hanzi) == chinese, qPrintable(page + " in the wrong language"));
        QVERIFY2(!html.contains("{{"), qPrintable(page + " has an unfilled marker"));
    }

    const QString registers = readUtf8(out.path() + "/pages/config.html");
    for (const QString& address : registerAddresses(product)) {
        QVERIFY2(registers.contains("<td>" + address + "</td>"),
                 qPrintable("register " + address + " not listed"));
    }
}

void helpTest::helpIniListsTheProducts() {
    QSettings ini(QStringLiteral(QXUPS_HELP_DIR "/help.ini"), QSettings::IniFormat);
    QCOMPARE(ini.status(), QSettings::NoError);
    QStringList groups = ini.childGroups();
    QStringList titles = productTitles();
    groups.sort();
    titles.sort();
    QCOMPARE(groups, titles);
}

QTEST_GUILESS_MAIN(helpTest)
#include "help_test.moc"
