// The status page tests' helpers: blocks as text, the page's texts, a fixture page.
#pragma once

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QSignalSpy>
#include <QVBoxLayout>
#include <QtTest>
#include <memory>

#include "app_test_sim.h"
#include "batThread.h"
#include "comAdapter.h"
#include "monitorThread.h"
#include "powerActions.h"
#include "settingsStore.h"
#include "statusMonitorWidget.h"

namespace statuspagetest {

using apptest::ConsoleRecord;

// A sequence of blocks written as "word=value ..." separated by ';'. Each block
// starts from a module of type 300 on DC input: 12000/11800 mV, 80 %.
inline QList<monitorThread::statusBlock> blocks(const QString& text) {
    QList<monitorThread::statusBlock> list;
    for (const QString& part : text.split(QLatin1Char(';'))) {
        monitorThread::statusBlock b;
        b.fill(0);
        b[0] = 300;
        b[16] = 12000;
        b[18] = 11800;
        b[26] = 80;
        b[27] = 1;
        b[28] = 1;
        for (const QString& word : part.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            const QStringList kv = word.split(QLatin1Char('='));
            b[kv[0].toInt()] = quint16(kv[1].toUInt());
        }
        list << b;
    }
    return list;
}

inline QString labelText(QWidget* page, const char* name) {
    QLabel* label = page->findChild<QLabel*>(QLatin1String(name));
    return label ? label->text() : QStringLiteral("<missing %1>").arg(QLatin1String(name));
}
inline int lineCount(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return 0;
    return file.readAll().count('\n');
}

inline void writeScript(const QString& path, const QString& body) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(("#!/bin/sh\n" + body).toLocal8Bit());
    file.close();
    QVERIFY(file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
}

// The page under test and its script: initTestCase, init and cleanup of each
// test class call prepareScripts(), beforeCase() and afterCase().
class StatusPageFixture {
protected:
    ConsoleRecord m_console;
    QString m_dir;     // scripts and markers
    QString m_marker;  // one line per script run
    std::unique_ptr<statusMonitorWidget> m_page;
    std::unique_ptr<QWidget> m_holder;

    statusMonitorWidget* makePage() {
        m_page.reset(new statusMonitorWidget());
        return m_page.get();
    }
    void feed(const QString& text) {
        for (const monitorThread::statusBlock& b : blocks(text))
            m_page->decodeStatusBlock(b);
    }
    // Shows the page inside a plain window, as the main window holds it: the
    // page itself is no window.
    QWidget& holdPage() {
        m_holder.reset(new QWidget());
        QVBoxLayout* layout = new QVBoxLayout(m_holder.get());
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(m_page.get());
        m_holder->show();
        return *m_holder;
    }
    batThread* scriptThread() { return m_page->findChild<batThread*>(); }
    // Steps "@S words" (a block at S seconds on the page's clock), "@S tick"
    // (the countdown's timer then) or "@S cancel" (the user's Cancel pending
    // action); the number of script runs after each step.
    QString runSteps(const QString& steps) {
        qint64 now = 0;
        m_page->actions()->setClock([&now]() { return now; });
        QString runs;
        for (const QString& step : steps.split(QLatin1Char(';'))) {
            QStringList words = step.split(QLatin1Char(' '), Qt::SkipEmptyParts);
            now = qint64(words.takeFirst().mid(1).toDouble() * 1000);
            if (words == QStringList{"tick"})
                QMetaObject::invokeMethod(m_page->actions(), "slotOnTick");
            else if (words == QStringList{"cancel"})
                m_page->slotOnCancelPendingAction();
            else
                feed(words.join(QLatin1Char(' ')));
            scriptThread()->wait(30000);
            runs += QString::number(lineCount(m_marker));
        }
        m_page->actions()->setClock([]() { return qint64(0); });
        return runs;
    }
    QString dcSignals(const QSignalSpy& spy) {
        QString s;
        for (const QList<QVariant>& args : spy)
            s += args.at(0).toBool() ? 't' : 'f';
        return s;
    }

    void prepareScripts() {
        m_dir = QString::fromLocal8Bit(qgetenv("QXUPS_APPDIR")) + QStringLiteral("/my scripts");
        QVERIFY(QDir().mkpath(m_dir));
        m_marker = m_dir + QStringLiteral("/runs");
        writeScript(m_dir + QStringLiteral("/on event.sh"),
                    QStringLiteral("echo run >> \"%1\"\n").arg(m_marker));
    }

    void beforeCase() {
        settingsStore::setBatPath(m_dir + QStringLiteral("/on event.sh"));
        settingsStore::setBatExecutePolicy(0);
        QFile::remove(m_marker);
        m_console.clear();
    }

    void afterCase() {
        m_page.reset();
        m_holder.reset();
        if (comAdapter::instance().isConnected()) comAdapter::instance().slotCloseDevice();
    }
};

}  // namespace statuspagetest
