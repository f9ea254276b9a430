// Pictures of the status page for a look by eye; a tool, not a test: nothing
// is judged. The page is fed a status block on DC input and one on battery,
// as the polling thread would hand them in, and is saved at a small and a
// large size as status-<state>-<width>x<height>.png in the given folder:
//   QT_QPA_PLATFORM=offscreen build/bin/status_grab /tmp/grabs
// No device is used, and no post-process script runs whatever the stored
// policy says.
#include <stdio.h>

#include <QApplication>
#include <QDir>
#include <QVBoxLayout>

#include "monitorThread.h"
#include "statusMonitorWidget.h"

namespace {

// A block written as "word=value ...", starting from a module on DC input.
monitorThread::statusBlock block(const QString& text) {
    monitorThread::statusBlock b;
    b.fill(0);
    b[26] = 80;
    b[27] = 1;
    b[28] = 1;
    for (const QString& word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QStringList kv = word.split(QLatin1Char('='));
        b[kv[0].toInt()] = quint16(kv[1].toUInt());
    }
    return b;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 2) {
        fprintf(stderr, "usage: status_grab FOLDER\n");
        return 2;
    }
    const QString dir = args.at(1);
    if (!QDir().mkpath(dir)) {
        fprintf(stderr, "status_grab: cannot make %s\n", qPrintable(dir));
        return 1;
    }

    // The page inside a plain window, as the main window holds it.
    QWidget holder;
    QVBoxLayout* layout = new QVBoxLayout(&holder);
    layout->setContentsMargins(0, 0, 0, 0);
    statusMonitorWidget* page = new statusMonitorWidget(&holder);
    layout->addWidget(page);
    page->slotOnPolicyChanged(0);
    holder.show();

    const struct {
        const char* name;
        const char* block;
    } states[] = {
        {"dc", "0=302 16=24000 18=24000 26=100 30=1 34=1"},
        {"battery", "0=302 16=0 18=23800 26=64 27=2 28=0 29=1 31=1 32=1 34=1 35=5"},
    };
    const QSize sizes[] = {QSize(520, 400), QSize(1280, 800)};
    for (const auto& state : states) {
        page->decodeStatusBlock(block(QLatin1String(state.block)));
        for (const QSize& size : sizes) {
            holder.resize(size);
            QCoreApplication::processEvents();
            const QString file = QStringLiteral("%1/status-%2-%3x%4.png")
                                     .arg(dir, QLatin1String(state.name))
                                     .arg(size.width())
                                     .arg(size.height());
            if (!page->grab().save(file)) {
                fprintf(stderr, "status_grab: cannot write %s\n", qPrintable(file));
                return 1;
            }
            printf("%s\n", qPrintable(file));
        }
    }
    return 0;
}
