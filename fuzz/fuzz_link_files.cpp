// Fuzzes the program's two device-link file readers with the same input:
// config_com.xml (comSettingsFile::loadConfig) and config_product.xml
// (comSettingsFile::loadProductTitle). Any input must load without a crash;
// the product lookup must answer 0 or -2 for a file that exists, and keep the
// title unless it reports a match.
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <QFile>
#include <QString>

#include "comSettings.h"
#include "comSettingsFile.h"

namespace {

// The readers take a file: one per process, removed when the fuzzer ends.
struct InputFile {
    InputFile()
        : path(QStringLiteral("/tmp/fuzz_link_files-%1.xml").arg(static_cast<qint64>(getpid()))) {}
    ~InputFile() { QFile::remove(path); }
    const QString path;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const InputFile input;
    const QString& path = input.path;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size)) !=
            static_cast<qint64>(size))
        abort();
    file.close();

    comSettings settings;
    comSettingsFile::loadConfig(settings, path);

    const quint16 deviceType = size > 0 ? data[0] : 0;
    QString title = QStringLiteral("unchanged");
    bool matched = false;
    const int result = comSettingsFile::loadProductTitle(path, deviceType, title, &matched);
    if (result != 0 && result != -2) abort();
    if (!matched && title != QLatin1String("unchanged")) abort();
    return 0;
}
