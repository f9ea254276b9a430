#include "consolePrint.h"

consolePrint& consolePrint::instance() {
    // Built on first use (before the entry function in the program, which
    // touches it at start-up) and destroyed at exit.
    static consolePrint console;
    return console;
}

void consolePrint::printMsg(const QString& msg) {
    emit signalShowMsg(msg);
}

void consolePrint::printHwVer(const QString& msg) {
    emit signalShowHwVer(msg);
}

void consolePrint::printFwVer(const QString& msg) {
    emit signalShowFwVer(msg);
}

void consolePrint::printDrvVer(const QString& msg) {
    emit signalShowDrvVer(msg);
}
