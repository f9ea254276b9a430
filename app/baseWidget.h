// Base class of the program's pages: the main window and the pages' own code
// drive a page through these operations without knowing its class.
#pragma once

#include <QString>
#include <QWidget>

class baseWidget : public QWidget {
    Q_OBJECT
public:
    explicit baseWidget(QWidget* parent = nullptr);

    virtual void loadConfig(const QString& fileName);
    virtual void saveConfig(const QString& fileName);

public slots:
    // Pages that poll start their work when enabled and stop it when not.
    virtual void slotOnSetEnabled(bool enabled);
};
