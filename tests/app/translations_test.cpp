// Every text the program passes through tr() (and the shared table of result
// texts, which it translates in the comAdapter context) has a finished translation in
// each shipped language: lupdate scans the sources afresh into a scratch file,
// and every message found there must stand finished and non-empty in the
// committed translation files, with the same %1, %2 ... place markers.
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

namespace {

struct Message {
    QString type;  // "" when finished
    QString text;
};

// Context, source text and disambiguation comment identify a message.
QString key(const QString& context, const QString& source, const QString& comment) {
    return context + QLatin1Char('\n') + source + QLatin1Char('\n') + comment;
}

// Reads a translation file into key -> translation; false when unreadable.
bool readTs(const QString& path, QMap<QString, Message>* out) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    QXmlStreamReader xml(&file);
    QString context, source, comment;
    Message message;
    while (!xml.atEnd()) {
        xml.readNext();
        const QStringRef name = xml.name();
        if (xml.isStartElement()) {
            if (name == QLatin1String("context")) {
                context.clear();
            } else if (name == QLatin1String("name")) {
                context = xml.readElementText();
            } else if (name == QLatin1String("message")) {
                source.clear();
                comment.clear();
                message = Message();
            } else if (name == QLatin1String("source")) {
                source = xml.readElementText();
            } else if (name == QLatin1String("comment")) {
                comment = xml.readElementText();
            } else if (name == QLatin1String("translation")) {
                message.type = xml.attributes().value(QLatin1String("type")).toString();
                // Plural forms are kept as nested elements; their joined text counts.
                message.text = xml.readElementText(QXmlStreamReader::IncludeChildElements);
            }
        } else if (xml.isEndElement() && name == QLatin1String("message")) {
            out->insert(key(context, source, comment), message);
        }
    }
    return !xml.hasError();
}

QSet<QString> placeMarkers(const QString& text) {
    static const QRegularExpression marker(QStringLiteral("%L?\\d+"));
    QSet<QString> found;
    auto it = marker.globalMatch(text);
    while (it.hasNext())
        found.insert(it.next().captured());
    return found;
}

}  // namespace

class TranslationsTest : public QObject {
    Q_OBJECT
private slots:
    void everyTextHasAFinishedTranslation_data() {
        QTest::addColumn<QString>("tsFile");
        QTest::newRow("zh_CN") << QStringLiteral(QXUPS_TS_DIR "/QXUPSUtility_zh_CN.ts");
        QTest::newRow("en_US") << QStringLiteral(QXUPS_TS_DIR "/QXUPSUtility_en_US.ts");
    }

    void everyTextHasAFinishedTranslation() {
        QFETCH(QString, tsFile);
        QTemporaryDir scratch;
        QVERIFY(scratch.isValid());
        const QString scanned = scratch.filePath(QStringLiteral("scan.ts"));
        QProcess lupdate;
        lupdate.setProcessChannelMode(QProcess::MergedChannels);
        lupdate.start(
            QStringLiteral(QXUPS_LUPDATE),
            {QStringLiteral("-recursive"), QStringLiteral(QXUPS_APP_SOURCE_DIR),
             QStringLiteral(QXUPS_RESULT_TEXT_HEADER),
             QStringLiteral("-locations"), QStringLiteral("none"), QStringLiteral("-ts"), scanned});
        QVERIFY2(lupdate.waitForFinished(120000), "lupdate did not finish");
        QVERIFY2(lupdate.exitStatus() == QProcess::NormalExit && lupdate.exitCode() == 0,
                 lupdate.readAll().constData());

        QMap<QString, Message> fromSources;
        QMap<QString, Message> shipped;
        QVERIFY(readTs(scanned, &fromSources));
        QVERIFY2(readTs(tsFile, &shipped), qPrintable(tsFile));
        QVERIFY2(!fromSources.isEmpty(), "lupdate found no texts");

        QStringList faults;
        for (auto it = fromSources.cbegin(); it != fromSources.cend(); ++it) {
            const QString where =
                QString(it.key()).replace(QLatin1Char('\n'), QLatin1String(" | "));
            const auto found = shipped.constFind(it.key());
            if (found == shipped.cend()) {
                faults << QStringLiteral("missing: ") + where;
            } else if (!found->type.isEmpty() || found->text.isEmpty()) {
                faults << QStringLiteral("not finished (%1): ").arg(found->type) + where;
            } else if (placeMarkers(found->text) !=
                       placeMarkers(it.key().section(QLatin1Char('\n'), 1, 1))) {
                faults << QStringLiteral("place markers differ: ") + where;
            }
        }
        QVERIFY2(faults.isEmpty(),
                 qPrintable(QStringLiteral("run lupdate and translate in %1:\n  ").arg(tsFile) +
                            faults.join(QLatin1String("\n  "))));
    }
};

QTEST_GUILESS_MAIN(TranslationsTest)
#include "translations_test.moc"
