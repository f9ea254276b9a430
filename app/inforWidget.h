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

    // Whether the view follows new lines (the user left it at the bottom).
    bool followsLog() const { return m_followLog; }

public slots:
    void slotOnShowMsg(QString msg);

protected:
    void showEvent(QShowEvent* event) override;

private:
    QTabWidget* m_mainTabWidget;
    QWidget* m_tabStatus;
    QPlainTextEdit* m_statusOutput;
    bool m_followLog = true;
};
