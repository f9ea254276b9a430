// The Language menu and the restart it offers.
#include "languageChooser.h"

#include <QAction>
#include <QCoreApplication>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>

#include "LanguageCheck.h"
#include "settingsStore.h"

namespace {

// The entry starts the program again when the event loop ends with this code.
const int kRestartExitCode = 888;

}  // namespace

languageChooser::languageChooser(QWidget* window)
    : QObject(window), m_window(window), m_languageCheck(new LanguageCheck(nullptr)) {
    // Language names are shown as the list gives them, never translated.
    for (const QString& name : m_languageCheck->languageNames())
        m_languageActions.append(new QAction(name, window));
}

languageChooser::~languageChooser() {
    delete m_languageCheck;
}

QMenu* languageChooser::addMenuTo(QMenuBar* bar) {
    m_languageMenu = bar->addMenu(tr("Language"));
    m_languageMenu->setObjectName(QStringLiteral("m_languageMenu"));
    for (QAction* action : m_languageActions) {
        action->setCheckable(true);
        m_languageMenu->addAction(action);
    }
    const uint current = settingsStore::languageIndex();
    if (current < static_cast<uint>(m_languageCheck->languageFiles().size())) {
        for (int i = 0; i < m_languageActions.size(); ++i)
            m_languageActions.at(i)->setChecked(static_cast<uint>(i) == current);
    }
    connect(m_languageMenu, &QMenu::triggered, this, &languageChooser::slotOnLanguageSelected);
    return m_languageMenu;
}

void languageChooser::slotOnLanguageSelected(QAction* action) {
    if (action == nullptr || m_languageMenu == nullptr) return;
    const bool checked = action->isChecked();
    const QList<QAction*> actions = m_languageMenu->actions();
    // One language stays checked, also when the current one was clicked again.
    for (QAction* each : actions)
        each->setChecked(each == action);
    if (!checked) return;

    const int position = actions.indexOf(action);
    const int files = m_languageCheck->languageFiles().size();
    if (position >= 0 && position < files) {
        settingsStore::setLanguageIndex(static_cast<uint>(position));
        const QMessageBox::StandardButton answer = QMessageBox::question(
            nullptr, tr("Language Settings"),
            tr("The language settings need to be restarted to take effect. Do you want to "
               "restart now?"),
            QMessageBox::Yes | QMessageBox::No);
        if (answer == QMessageBox::Yes) QCoreApplication::exit(kRestartExitCode);
    } else if (files > 0) {
        settingsStore::setLanguageIndex(0);
    }
}
