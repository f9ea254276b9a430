// The main window tests' helpers: settings file, widgets by name, the simulator, colour contrast.
#pragma once

#include <QAction>
#include <QColor>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QtTest>
#include <cmath>
#include <string>
#include <vector>

#include "app_test_sim.h"
#include "appPaths.h"
#include "comAdapter.h"
#include "mainWindow.h"

namespace windowtest {

inline bool writeFile(const QString& path, const QByteArray& contents) {
    QFile file(path);
    return appPaths::makeFolderFor(path) && file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(contents) == contents.size();
}

// Settings for the simulator's port, without automatic connect.
inline bool writeSettings(bool autoHide) {
    return writeFile(appPaths::settingsFile(QStringLiteral("configs/config_com.xml")),
                     QByteArray("<Settings><Setting><ComPort>COM") +
                         QByteArray::number(apptest::kSimPort) + "</ComPort><AutoHide>" +
                         (autoHide ? "1" : "0") + "</AutoHide></Setting></Settings>");
}

inline QString label(const mainWindow& w, const char* name) {
    QLabel* l = w.findChild<QLabel*>(QLatin1String(name));
    return l != nullptr ? l->text() : QStringLiteral("<no label>");
}

inline QAction* action(const mainWindow& w, const char* name) {
    return w.findChild<QAction*>(QLatin1String(name));
}

// The product's table: the module has the registers it lists, 40100 and up too.
inline const std::vector<std::string> kRegisters = {
    "--registers", QXUPS_BIN_DIR "/iconfigs/DCU-1205/config_registers.xml"};

// For initTestCase: the simulator serving the product's table, the language
// list and the table in the program folder.
inline void startWorld(const QTemporaryDir& root, apptest::SimulatedModule& sim) {
    QVERIFY(root.isValid());
    QVERIFY(sim.start(root.path(), kRegisters));
    const QString language = appPaths::dataFile(QStringLiteral("Language"));
    QVERIFY(QDir().mkpath(language));
    QVERIFY(QFile::copy(QStringLiteral(QXUPS_BIN_DIR "/Language/config_Language.xml"),
                        language + QStringLiteral("/config_Language.xml")));
    const QString table = QStringLiteral("/iconfigs/DCU-1205/config_registers.xml");
    QVERIFY(appPaths::makeFolderFor(appPaths::dataFile(table.mid(1))));
    QVERIFY(QFile::copy(QStringLiteral(QXUPS_BIN_DIR) + table, appPaths::dataFile(table.mid(1))));
}

// For cleanup: no device left open, the module answering again.
inline void endCase(apptest::SimulatedModule& sim) {
    if (comAdapter::instance().isConnected()) comAdapter::instance().slotCloseDevice();
    // A case that failed half-way leaves the module answering for the next.
    if (sim.running()) sim.command("fault none");
}

// The contrast of two colours as readability guidelines define it (1 to 21).
inline double contrast(const QColor& a, const QColor& b) {
    auto luminance = [](const QColor& c) {
        auto channel = [](double v) {
            return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) +
               0.0722 * channel(c.blueF());
    };
    const double la = luminance(a), lb = luminance(b);
    return (qMax(la, lb) + 0.05) / (qMin(la, lb) + 0.05);
}

}  // namespace windowtest
