#include "autoStart.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTextStream>

#include "appPaths.h"

namespace autoStart {

namespace {

const char kExecKey[] = "Exec=";
const char kGroup[] = "[Desktop Entry]";

// Characters that make an Exec argument need quoting.
bool needsQuoting(const QString& argument) {
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    if (argument.isEmpty()) return true;
    for (const QChar c : argument)
        if (reserved.contains(c)) return true;
    return false;
}

// The Exec value as it stands in the file: the value's own escapes undone.
QString unescapeValue(const QString& raw) {
    QString value;
    for (int i = 0; i < raw.size(); ++i) {
        const QChar c = raw.at(i);
        if (c != QLatin1Char('\\') || i + 1 == raw.size()) {
            value += c;
            continue;
        }
        const QChar next = raw.at(++i);
        if (next == QLatin1Char('s'))
            value += QLatin1Char(' ');
        else if (next == QLatin1Char('n'))
            value += QLatin1Char('\n');
        else if (next == QLatin1Char('t'))
            value += QLatin1Char('\t');
        else if (next == QLatin1Char('r'))
            value += QLatin1Char('\r');
        else
            value += next;
    }
    return value;
}

// The Exec value of the file's [Desktop Entry] group; empty when there is none.
QString readExec(const QString& fileName) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return QString();
    QTextStream stream(&file);
    stream.setCodec("UTF-8");
    bool inGroup = false;
    while (!stream.atEnd()) {
        const QString line = stream.readLine();
        if (line.startsWith(QLatin1Char('['))) {
            inGroup = line == QLatin1String(kGroup);
            continue;
        }
        if (inGroup && line.startsWith(QLatin1String(kExecKey)))
            return unescapeValue(line.mid(int(sizeof kExecKey) - 1));
    }
    return QString();
}

}  // namespace

QString entryFile() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/autostart/REVOV_Azezed.desktop");
}

QString execValue(const QString& programPath) {
    // Field codes start with '%': a literal one is doubled.
    QString argument = programPath;
    argument.replace(QLatin1Char('%'), QStringLiteral("%%"));
    if (!needsQuoting(argument)) return argument;
    // Inside double quotes '"', '`', '$' and '\' are escaped with a backslash.
    QString quoted = QStringLiteral("\"");
    for (const QChar c : argument) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') ||
            c == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        quoted += c;
    }
    quoted += QLatin1Char('"');
    return quoted;
}

bool isRegistered(const QString& programPath) {
    return QFileInfo::exists(entryFile()) && readExec(entryFile()) == execValue(programPath);
}

bool registerProgram(const QString& programPath) {
    // A string value escapes its backslashes and control characters once more.
    QString exec = execValue(programPath);
    exec.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    exec.replace(QLatin1Char('\n'), QStringLiteral("\\n"));
    exec.replace(QLatin1Char('\t'), QStringLiteral("\\t"));
    exec.replace(QLatin1Char('\r'), QStringLiteral("\\r"));

    const QString fileName = entryFile();
    if (!appPaths::makeFolderFor(fileName)) return false;
    QSaveFile file(fileName);
    // Readable by all as desktop entries are, writable by the user alone
    // whatever the umask: it names a program that runs at every log-on.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text) ||
        !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                             QFileDevice::ReadGroup | QFileDevice::ReadOther))
        return false;
    QTextStream stream(&file);
    stream.setCodec("UTF-8");
    stream << kGroup << "\n"
           << "Type=Application\n"
           << "Name=Ambrel\n"
           << kExecKey << exec << "\n"
           << "Terminal=false\n"
           << "X-GNOME-Autostart-enabled=true\n";
    stream.flush();
    return stream.status() == QTextStream::Ok && file.commit();
}

bool unregisterProgram() {
    const QString fileName = entryFile();
    return !QFileInfo::exists(fileName) || QFile::remove(fileName);
}

}  // namespace autoStart
