// upsctl's look-up of the product's register table: device type to product
// (configs/config_product.xml), product to iconfigs/<product>/config_registers.xml.
#include "writeRanges.h"

#ifdef _WIN32

// This build has no Qt, hence no reader of the tables: the values are held to
// 16 bits only, as the help says.
bool writeRangesAllow(uint16_t, unsigned long, const uint16_t*, int, std::string*, std::string*) {
    return true;
}

bool productTitle(uint16_t, std::string*) {
    return false;
}

#else

#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <QString>
#include <QVector>

#include "productTable.h"
#include "registerRange.h"
#include "registerTable.h"

namespace {

// The folder of the shipped data: QXUPS_APPDIR as for the program and the
// driver, else upsctl's own folder (the runnable tree keeps them together).
std::string dataFolder() {
    const char* env = getenv("QXUPS_APPDIR");
    if (env != nullptr && *env != '\0') return env;
    char path[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return ".";
    path[n] = '\0';
    char* slash = strrchr(path, '/');
    if (slash != nullptr) *slash = '\0';
    return path;
}

}  // namespace

bool productTitle(uint16_t deviceType, std::string* title) {
    const QString products =
        QString::fromStdString(dataFolder()) + QStringLiteral("/configs/config_product.xml");
    QString found;
    bool listed = false;
    if (productTable::findTitle(products, deviceType, &found, &listed) != 0 || !listed)
        return false;
    *title = found.toStdString();
    return true;
}

bool writeRangesAllow(uint16_t deviceType, unsigned long address, const uint16_t* values, int count,
                      std::string* refusal, std::string* note) {
    const QString dir = QString::fromStdString(dataFolder());
    const QString products = dir + QStringLiteral("/configs/config_product.xml");
    QString title;
    bool found = false;
    const int productRc = productTable::findTitle(products, deviceType, &title, &found);
    if (productRc != 0 || !found || !productTable::isSingleComponent(title)) {
        *note = "no register table for device type " + std::to_string(deviceType) + " (" +
                products.toStdString() +
                (productRc == -1  ? ": cannot open it"
                 : productRc != 0 ? ": not well-formed"
                 : !found         ? ": not listed"
                                  : ": not a plain folder name") +
                "); the values are checked against 0..65535 only";
        return true;
    }
    const QString registers =
        dir + QStringLiteral("/iconfigs/") + title + QStringLiteral("/config_registers.xml");
    QVector<registerTable::Entry> table;
    if (registerTable::read(registers, table) != 0) {
        *note = "cannot read the register table " + registers.toStdString() +
                "; the values are checked against 0..65535 only";
        return true;
    }
    for (int k = 0; k < count; ++k) {
        // The last item of an address counts, as in the NUT driver.
        const registerTable::Entry* entry = nullptr;
        for (const registerTable::Entry& e : table) {
            if (static_cast<unsigned long>(e.address) == address + k) entry = &e;
        }
        if (entry == nullptr || registerRange::allows(entry->range, values[k])) continue;
        *refusal = std::to_string(values[k]) + " is outside the range of register " +
                   std::to_string(address + k) + " (" + entry->name.toStdString() + ") of the " +
                   title.toStdString() + ": " + std::to_string(entry->range.min) + ".." +
                   std::to_string(entry->range.max) + "; --force writes it all the same";
        return false;
    }
    return true;
}

#endif
