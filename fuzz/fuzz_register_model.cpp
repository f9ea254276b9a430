// Fuzzes the program's register table reader (upsDataModel, config_registers.xml).
// Any input must load without a crash; a file that exists gives 0 or -2, a
// failed load keeps the previous rows, and every cell of a loaded table can
// be shown.
#include <stdlib.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QString>

#include "upsDataModel.h"

namespace {

// The model reads <QXUPS_APPDIR>/iconfigs/<product>/config_registers.xml: one
// private folder per process, removed when the fuzzer ends.
struct InputFolder {
    InputFolder()
        : root(QStringLiteral("/tmp/fuzz_register_model-%1").arg(static_cast<qint64>(getpid()))),
          file(root + QStringLiteral("/iconfigs/F/config_registers.xml")) {
        QDir().mkpath(root + QStringLiteral("/iconfigs/F"));
        setenv("QXUPS_APPDIR", QFile::encodeName(root).constData(), 1);
    }
    ~InputFolder() { QDir(root).removeRecursively(); }
    const QString root;
    const QString file;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const InputFolder input;
    QFile file(input.file);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size)) !=
            static_cast<qint64>(size))
        abort();
    file.close();

    static upsDataModel model;
    const int rowsBefore = model.rowCount();
    model.loadDeviceRegisters(QStringLiteral("F"));
    const int result = model.loadRegisterFile();
    if (result != 0 && result != -2) abort();
    if (result != 0 && model.rowCount() != rowsBefore) abort();
    for (int row = 0; row < model.rowCount(); ++row)
        for (int column = 0; column < model.columnCount(); ++column) {
            const QModelIndex index = model.index(row, column);
            model.data(index, Qt::DisplayRole);
            model.flags(index);
        }
    return 0;
}
