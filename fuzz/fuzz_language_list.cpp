// Fuzzes the language list reader (config_Language.xml): any input parses or
// is refused without a crash, whatever Index values it holds, and every
// abbreviation read is found again by the first-start locale match.
#include <stdlib.h>

#include <QBuffer>
#include <QByteArray>
#include <QStringList>

#include "LanguageCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<int>(size));
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::ReadOnly)) abort();
    QStringList names;
    QStringList abbreviations;
    QStringList files;
    if (!LanguageCheck::parseLanguageList(&buffer, names, abbreviations, files)) {
        if (!names.isEmpty() || !abbreviations.isEmpty() || !files.isEmpty()) abort();
        return 0;
    }
    for (const QString& abbreviation : abbreviations)
        if (LanguageCheck::matchLocale(abbreviations, abbreviation) < 0) abort();
    return 0;
}
