// The message page: time-stamped lines, order across threads, bounded log.
#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QtTest>
#include <memory>
#include <thread>

#include "app_test_env.h"
#include "consolePrint.h"
#include "inforWidget.h"

namespace {

const QString kStamp = QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3}>>");

QString line(const inforWidget& page, int n) {
    return page.statusOutput()->document()->findBlockByNumber(n).text();
}

}  // namespace

class ConsoleTest : public QObject {
    Q_OBJECT
private slots:
    void workerMessagesArriveInOrderOnTheGuiThread() {
        inforWidget page;
        connect(&consolePrint::instance(), &consolePrint::signalShowMsg, &page,
                &inforWidget::slotOnShowMsg);
        consolePrint::instance().printMsg(QStringLiteral("first"));
        std::thread worker([] {
            for (int i = 0; i < 200; ++i)
                consolePrint::instance().printMsg(QStringLiteral("m%1").arg(i));
        });
        worker.join();
        // 201 paragraphs; an empty document starts with one empty block that
        // the first append fills.
        QTRY_COMPARE_WITH_TIMEOUT(page.statusOutput()->blockCount(), 201, 20000);
        QVERIFY(line(page, 0).contains(QRegularExpression(kStamp + QStringLiteral("first$"))));
        for (int i = 0; i < 200; ++i)
            QVERIFY2(line(page, i + 1)
                         .contains(QRegularExpression(kStamp + QStringLiteral("m%1$").arg(i))),
                     qPrintable(line(page, i + 1)));
        disconnect(&consolePrint::instance(), nullptr, &page, nullptr);
    }

    void emptyMessageStillGetsItsStamp() {
        inforWidget page;
        page.slotOnShowMsg(QString());
        QVERIFY2(line(page, 0).contains(QRegularExpression(kStamp + QStringLiteral("$"))),
                 qPrintable(line(page, 0)));
    }

    void logKeepsTheNewestLines() {
        inforWidget page;
        const int total = inforWidget::kMaxLogLines + 25;
        for (int i = 0; i < total; ++i)
            page.slotOnShowMsg(QString::number(i));
        QCOMPARE(page.statusOutput()->blockCount(), inforWidget::kMaxLogLines);
        QVERIFY(line(page, 0).endsWith(QStringLiteral(">>25")));
        QVERIFY(line(page, inforWidget::kMaxLogLines - 1)
                    .endsWith(QStringLiteral(">>%1").arg(total - 1)));

        // The menu's "Save log…" writes every line kept; a file that cannot
        // be written loses nothing; "Clear" empties the log.
        QTemporaryDir folder;
        const QString saved = folder.path() + QStringLiteral("/log.txt");
        page.setSaveFileChooser(
            [&saved](QWidget*, const QString&, const QString&, const QString&) { return saved; });
        std::unique_ptr<QMenu> menu(page.createLogMenu());
        menu->findChild<QAction*>(QStringLiteral("m_saveLogAction"))->trigger();
        QFile file(saved);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = file.readAll().split('\n');
        QCOMPARE(lines.size(), inforWidget::kMaxLogLines + 1);
        QVERIFY(lines.at(0).endsWith(">>25"));
        QVERIFY(!page.saveLog(folder.path() + QStringLiteral("/no folder/log.txt")));
        QCOMPARE(page.statusOutput()->blockCount(), inforWidget::kMaxLogLines);
        menu->findChild<QAction*>(QStringLiteral("m_clearLogAction"))->trigger();
        QVERIFY(page.statusOutput()->document()->isEmpty());
    }

    // The view follows new lines while left at the bottom, also across a
    // hide and show (the window in the tray), and stays where the user
    // scrolled to otherwise.
    void viewFollowsOnlyAtTheBottom() {
        inforWidget page;
        page.resize(400, 200);
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        QScrollBar* bar = page.statusOutput()->verticalScrollBar();
        auto add = [&page](int n) {
            for (int i = 0; i < n; ++i)
                page.slotOnShowMsg(QStringLiteral("line %1").arg(i));
            QCoreApplication::processEvents();
        };
        add(100);
        QTRY_VERIFY(bar->maximum() > 0);
        QCOMPARE(bar->value(), bar->maximum());

        page.hide();
        add(100);
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        QTRY_COMPARE(bar->value(), bar->maximum());
        add(10);
        QTRY_COMPARE(bar->value(), bar->maximum());

        bar->triggerAction(QAbstractSlider::SliderToMinimum);
        QTRY_VERIFY(!page.followsLog());
        add(50);
        QCOMPARE(bar->value(), 0);
        bar->triggerAction(QAbstractSlider::SliderToMaximum);
        QTRY_VERIFY(page.followsLog());
        add(10);
        QTRY_COMPARE(bar->value(), bar->maximum());
    }
};

QXUPS_APP_TEST_MAIN(QApplication, ConsoleTest)
#include "console_test.moc"
