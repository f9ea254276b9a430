#include "baseWidget.h"

baseWidget::baseWidget(QWidget* parent) : QWidget(parent) {}

void baseWidget::loadConfig(const QString& fileName) {
    Q_UNUSED(fileName);
}

void baseWidget::saveConfig(const QString& fileName) {
    Q_UNUSED(fileName);
}

void baseWidget::slotOnSetEnabled(bool enabled) {
    Q_UNUSED(enabled);
}
