// The message page: every message of the program as one time-stamped line.
#pragma once

#include "baseWidget.h"

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

public slots:
    void slotOnShowMsg(QString msg);

private:
    QTabWidget* m_mainTabWidget;
    QWidget* m_tabStatus;
    QPlainTextEdit* m_statusOutput;
};
