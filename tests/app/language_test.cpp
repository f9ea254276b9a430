// The language choice at start-up (stored choice, first-start locale match,
// fallback, select.ini) and the product dialog of the help.
#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QSettings>
#include <QTranslator>
#include <QtTest>

#include "LanguageCheck.h"
#include "app_test_env.h"
#include "appPaths.h"
#include "loginDialog.h"
#include "settingsStore.h"

namespace {

bool writeFile(const QString& path, const QByteArray& contents) {
    QFile file(path);
    return appPaths::makeFolderFor(path) && file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(contents) == contents.size();
}

QVariant selectValue(const QString& key) {
    const QSettings select(appPaths::settingsFile(QStringLiteral("help/select.ini")),
                           QSettings::IniFormat);
    return select.value(key);
}

// The shipped list with a third language whose file does not exist.
const QByteArray kThreeLanguages =
    "<Languages><Items>"
    "<Item><Index>0</Index><Language>A</Language><Abbreviations>zh_CN</Abbreviations>"
    "<File>/Language/QXUPSUtility_zh_CN.qm</File></Item>"
    "<Item><Index>1</Index><Language>B</Language><Abbreviations>en_US</Abbreviations>"
    "<File>/Language/QXUPSUtility_en_US.qm</File></Item>"
    "<Item><Index>2</Index><Language>C</Language><Abbreviations>de_DE</Abbreviations>"
    "<File>/Language/QXUPSUtility_de_DE.qm</File></Item>"
    "</Items></Languages>";

}  // namespace

class LanguageTest : public QObject {
    Q_OBJECT
private slots:
    void startUpChoosesTheLanguage_data() {
        QTest::addColumn<QString>("list");  // "shipped", "three" or "none" (no Language folder)
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QVariant>("storedAfter");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QVariant>("selected");
        const QVariant none;
        const QString zh = QStringLiteral("/Language/QXUPSUtility_zh_CN.qm");
        const QString en = QStringLiteral("/Language/QXUPSUtility_en_US.qm");
        QTest::newRow("exact locale")
            << "shipped" << none << "zh_CN" << QVariant(0u) << zh << QVariant(0);
        QTest::newRow("en_GB finds English")
            << "shipped" << none << "en_GB" << QVariant(1u) << en << QVariant(1);
        QTest::newRow("C counts as English")
            << "shipped" << none << "C" << QVariant(1u) << en << QVariant(1);
        QTest::newRow("other language: item 0, nothing stored")
            << "shipped" << none << "de_DE" << none << zh << QVariant(0);
        QTest::newRow("stored choice wins over the locale")
            << "shipped" << QVariant(1u) << "zh_CN" << QVariant(1u) << en << QVariant(1);
        QTest::newRow("stored 7 of 3: fallback")
            << "three" << QVariant(7u) << "zh_CN" << QVariant(7u) << en << QVariant(1);
        QTest::newRow("no Language folder: created, nothing loaded")
            << "none" << none << "zh_CN" << none << QString() << none;
    }

    void startUpChoosesTheLanguage() {
        QFETCH(QString, list);
        QFETCH(QVariant, stored);
        QFETCH(QString, locale);
        QFETCH(QVariant, storedAfter);
        QFETCH(QString, file);
        QFETCH(QVariant, selected);

        const QString languageDir = appPaths::dataFile(QStringLiteral("Language"));
        QDir(languageDir).removeRecursively();
        QFile::remove(appPaths::settingsFile(QStringLiteral("help/select.ini")));
        if (list != QLatin1String("none")) {
            QVERIFY(QDir().mkpath(languageDir));
            for (const char* name :
                 {"QXUPSUtility_zh_CN.qm", "QXUPSUtility_en_US.qm", "config_Language.xml"})
                QVERIFY(QFile::copy(QStringLiteral(QXUPS_BIN_DIR "/Language/") + name,
                                    languageDir + QLatin1Char('/') + name));
            if (list == QLatin1String("three"))
                QVERIFY(writeFile(languageDir + QStringLiteral("/config_Language.xml"),
                                  kThreeLanguages));
        }
        {
            QSettings store(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Tarvel"),
                            QStringLiteral("UPS"));
            store.remove(QStringLiteral("Language"));
        }
        if (stored.isValid()) settingsStore::setLanguageIndex(stored.toUInt());

        LanguageCheck check;
        check.loadLanguageFor(locale);

        QVERIFY(QFileInfo(languageDir).isDir());
        bool isStored = false;
        const uint index = settingsStore::languageIndex(&isStored);
        QCOMPARE(isStored, storedAfter.isValid());
        if (isStored) QCOMPARE(index, storedAfter.toUInt());
        QCOMPARE(check.loadedFile(), file.isEmpty() ? file : appPaths::dataDir() + file);
        QCOMPARE(selectValue(QStringLiteral("/SELECTED/Language")).toString(), selected.toString());
        // The Chinese file is really loaded, not only named.
        if (file.endsWith(QLatin1String("zh_CN.qm")))
            QCOMPARE(check.translator()->translate("mainWindow", "Connect"),
                     QString::fromUtf8("连接"));
    }

    void productDialogPreselectsTheStoredProduct() {
        QVERIFY(writeFile(appPaths::dataFile(QStringLiteral("help/help.ini")),
                          "[A1]\nx=1\n[B2]\nx=1\n[C3]\nx=1\n"));
        {
            QSettings select(appPaths::settingsFile(QStringLiteral("help/select.ini")),
                             QSettings::IniFormat);
            select.setValue(QStringLiteral("/SELECTED/Name"), QStringLiteral("B2"));
        }
        {
            loginDialog dialog;
            QCOMPARE(dialog.productBox()->count(), 3);
            QCOMPARE(dialog.productBox()->currentText(), QStringLiteral("B2"));
            dialog.productBox()->setCurrentText(QStringLiteral("C3"));
            dialog.findChild<QPushButton*>(QStringLiteral("m_btnAccept"))->click();
            QCOMPARE(dialog.result(), int(QDialog::Accepted));
        }
        QCOMPARE(selectValue(QStringLiteral("/SELECTED/Name")).toString(), QStringLiteral("C3"));
        loginDialog again;
        QCOMPARE(again.productBox()->currentText(), QStringLiteral("C3"));
    }
};

QXUPS_APP_TEST_MAIN(QApplication, LanguageTest)
#include "language_test.moc"
