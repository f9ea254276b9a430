#include "comSettingsFile.h"

#include <QCoreApplication>
#include <QDomDocument>
#include <QFile>
#include <QFileInfo>
#include <QRegExp>
#include <QSaveFile>
#include <QTextStream>

#include "appPaths.h"
#include "comSettings.h"
#include "consolePrint.h"
#include "productTable.h"
#include "xmlDocument.h"

namespace comSettingsFile {

namespace {

// An element's text as an unsigned decimal number; anything else reads as 0.
quint64 unsignedText(const QDomElement& element) {
    bool ok = false;
    const quint64 value = element.text().toULongLong(&ok, 10);
    return ok ? value : 0;
}

void appendField(QDomDocument& document, QDomElement& parent, const char* name,
                 const QString& text) {
    QDomElement element = document.createElement(QString::fromLatin1(name));
    element.appendChild(document.createTextNode(text));
    parent.appendChild(element);
}

QString flag(bool value) {
    return value ? QStringLiteral("1") : QStringLiteral("0");
}

}  // namespace

void loadConfig(comSettings& settings, const QString& fileName) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) return;
    QDomDocument document;
    if (!xmlDocument::read(document, &file)) return;
    file.close();

    for (QDomNode node = document.documentElement().firstChild(); !node.isNull();
         node = node.nextSibling()) {
        const QDomElement setting = node.toElement();
        if (setting.isNull() || setting.tagName() != QLatin1String("Setting")) continue;
        for (QDomElement e = setting.firstChildElement(); !e.isNull(); e = e.nextSiblingElement()) {
            const QString name = e.tagName();
            if (name == QLatin1String("ComPort")) {
                settings.comPort = e.text();
                continue;
            }
            if (name == QLatin1String("NutHost")) {
                settings.nutHost = e.text();
                continue;
            }
            if (name == QLatin1String("NutUps")) {
                settings.nutUps = e.text();
                continue;
            }
            if (name == QLatin1String("NutUser")) {
                settings.nutUser = e.text();
                continue;
            }
            const quint64 n = unsignedText(e);
            if (name == QLatin1String("ComMode"))
                settings.comMode = static_cast<quint8>(n);
            else if (name == QLatin1String("SlaveId"))
                settings.slaveId = static_cast<quint16>(n);
            else if (name == QLatin1String("BaudRate"))
                settings.baudRate = static_cast<quint32>(n);
            else if (name == QLatin1String("DataLen"))
                settings.dataLen = static_cast<quint8>(n);
            else if (name == QLatin1String("StopBits"))
                settings.stopBits = static_cast<quint8>(n);
            else if (name == QLatin1String("Parity"))
                settings.parity = static_cast<quint8>(n);
            else if (name == QLatin1String("ResponseTimeout"))
                settings.responseTimeout = static_cast<quint32>(n);
            else if (name == QLatin1String("NumOfRetries"))
                settings.numOfRetries = static_cast<quint32>(n);
            else if (name == QLatin1String("PollDelay"))
                settings.pollDelay = static_cast<quint32>(n);
            else if (name == QLatin1String("AutoBoot"))
                settings.autoBoot = n != 0;
            else if (name == QLatin1String("AutoConnect"))
                settings.autoConnect = n != 0;
            else if (name == QLatin1String("AutoHide"))
                settings.autoHide = n != 0;
            else if (name == QLatin1String("NutPort"))
                settings.nutPort = static_cast<quint16>(n);
            else if (name == QLatin1String("NutPollCycle"))
                settings.nutPollCycle = static_cast<quint32>(n);
        }
    }
}

bool saveConfig(const comSettings& settings, const QString& fileName) {
    QDomDocument document;
    document.appendChild(document.createProcessingInstruction(
        QStringLiteral("xml"), QStringLiteral("version=\"1.0\" encoding=\"UTF-8\"")));
    QDomElement root = document.createElement(QStringLiteral("Settings"));
    document.appendChild(root);
    QDomElement setting = document.createElement(QStringLiteral("Setting"));
    root.appendChild(setting);

    appendField(document, setting, "ComMode", QString::number(settings.comMode));
    appendField(document, setting, "SlaveId", QString::number(settings.slaveId));
    appendField(document, setting, "ComPort", settings.comPort);
    appendField(document, setting, "BaudRate", QString::number(settings.baudRate));
    appendField(document, setting, "DataLen", QString::number(settings.dataLen));
    appendField(document, setting, "StopBits", QString::number(settings.stopBits));
    appendField(document, setting, "Parity", QString::number(settings.parity));
    appendField(document, setting, "ResponseTimeout", QString::number(settings.responseTimeout));
    appendField(document, setting, "NumOfRetries", QString::number(settings.numOfRetries));
    appendField(document, setting, "PollDelay", QString::number(settings.pollDelay));
    appendField(document, setting, "AutoBoot", flag(settings.autoBoot));
    appendField(document, setting, "AutoConnect", flag(settings.autoConnect));
    appendField(document, setting, "AutoHide", flag(settings.autoHide));
    appendField(document, setting, "NutHost", settings.nutHost);
    appendField(document, setting, "NutPort", QString::number(settings.nutPort));
    appendField(document, setting, "NutUps", settings.nutUps);
    appendField(document, setting, "NutUser", settings.nutUser);
    appendField(document, setting, "NutPollCycle", QString::number(settings.nutPollCycle));

    // A temporary file renamed over the old one: a crash or a full disk never
    // leaves a truncated file, and a failure keeps the previous settings.
    // QSaveFile writes through a link: one planted at the name (a folder
    // others can write) goes first.
    QSaveFile file(fileName);
    bool written = false;
    // The temporary file is the one renamed over the old: it is made private
    // before anything is written into it (a new one follows the umask).
    if (appPaths::removeLink(fileName) && file.open(QIODevice::WriteOnly | QIODevice::Text) &&
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
        QTextStream stream(&file);
        stream.setCodec("UTF-8");
        document.save(stream, 4, QDomNode::EncodingFromTextStream);
        stream.flush();
        written = stream.status() == QTextStream::Ok && file.commit();
    }
    if (!written) {
        consolePrint::instance().printMsg(
            QCoreApplication::translate("comSettingsWidget",
                                        "ERR: The settings could not be saved to %1")
                .arg(fileName));
    }
    return written;
}

QString passwordFile(const QString& configFileName) {
    const int slash = configFileName.lastIndexOf(QLatin1Char('/'));
    return configFileName.left(slash + 1) + QStringLiteral("nut_password");
}

void loadPassword(comSettings& settings, const QString& fileName) {
    QFile file(fileName);
    settings.nutPassword.clear();
    if (!file.open(QIODevice::ReadOnly)) return;
    // One line; a password of upsd.users holds no line break.
    QByteArray data = file.read(4096);
    const int end = data.indexOf('\n');
    if (end >= 0) data.truncate(end);
    settings.nutPassword = QString::fromUtf8(data);
}

bool savePassword(const comSettings& settings, const QString& fileName) {
    bool written;
    if (settings.nutPassword.isEmpty())
        written = !QFileInfo::exists(fileName) || QFile::remove(fileName);
    else
        written = appPaths::writePrivate(fileName, settings.nutPassword.toUtf8() + '\n');
    if (!written) {
        consolePrint::instance().printMsg(
            QCoreApplication::translate("comSettingsWidget",
                                        "ERR: The password could not be saved to %1")
                .arg(fileName));
    }
    return written;
}

int portNumberFromName(const QString& name) {
    if (name.isEmpty()) return -1;
    QString digits = name;
    digits.remove(QRegExp(QStringLiteral("[^\\d.\\d]")));
    QRegExp number(QStringLiteral("^[1-9]\\d*|0$"), Qt::CaseSensitive);
    if (!number.exactMatch(digits)) return -1;
    bool ok = false;
    const int value = digits.toInt(&ok, 10);
    return ok ? value : -1;
}

int loadProductTitle(const QString& fileName, quint16 deviceType, QString& productTitle,
                     bool* matched) {
    if (matched) *matched = false;
    QString title;
    bool found = false;
    const int result = productTable::findTitle(fileName, deviceType, &title, &found);
    if (result != 0 || !found) return result;
    // The title names the product's folders (iconfigs/<title>/,
    // help/<title>/): one that would lead elsewhere is not taken.
    if (!appPaths::isSingleComponent(title)) {
        consolePrint::instance().printMsg(
            QCoreApplication::translate(
                "comSettingsWidget",
                "ERR: The product name \"%1\" in %2 is not a plain folder name; "
                "it is not used")
                .arg(title, fileName));
        return 0;
    }
    productTitle = title;
    consolePrint::instance().printMsg(
        QCoreApplication::translate("comSettingsWidget", "Product: %1").arg(title));
    if (matched) *matched = true;
    return 0;
}

}  // namespace comSettingsFile
