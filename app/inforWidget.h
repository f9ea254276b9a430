// The message page: every message of the program as one time-stamped line,
// and its menu (copy, save to a file, clear).
#pragma once

#include <functional>

#include "baseWidget.h"

class QMenu;
class QPlainTextEdit;
class QTabWidget;
class QWidget;

class inforWidget : public baseWidget {
    Q_OBJECT
public:
    // The log keeps this many of the newest lines, so that a module failing
    // every poll for weeks cannot exhaust memory.
    static const int kMaxLogLines = 10000;

    explicit inforWidget(QWidget* parent = nullptr);

    QPlainTextEdit* statusOutput() const { return m_statusOutput; }

    // Whether the view follows new lines (the user left it at the bottom).
    bool followsLog() const { return m_followLog; }

    // The log's context menu: the text edit's own entries, then "Save log…"
    // and "Clear". The caller owns it.
    QMenu* createLogMenu();
    // Writes the whole log to a file; false, with the reason in the log, when
    // it cannot (the log stays as it is).
    bool saveLog(const QString& fileName);
    // Asks for the file "Save log…" writes: (parent, caption, proposed path,
    // filters), empty when cancelled. The default is the platform's dialog.
    using SaveFileChooser =
        std::function<QString(QWidget*, const QString&, const QString&, const QString&)>;
    void setSaveFileChooser(SaveFileChooser chooser);

public slots:
    void slotOnShowMsg(QString msg);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void slotOnSaveLogAs();
    void scrollToEnd();

    SaveFileChooser m_saveFileChooser;
    QTabWidget* m_mainTabWidget;
    QWidget* m_tabStatus;
    QPlainTextEdit* m_statusOutput;
    bool m_followLog = true;
};
