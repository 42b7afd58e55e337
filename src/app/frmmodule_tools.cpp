// The window's tools beside its fixed layout: the traffic log and the live port list.

#include <QAction>
#include <QMenu>

#include "app/frmmodule.h"
#include "app/portwatcher.h"
#include "app/trafficlogwindow.h"
#include "text/extratexts.h"

void TfrmModule::buildTools() {
    // The log costs nothing until it is opened (it records only while shown): it is made then,
    // in the window's language, rather than before the window first shows.
    frmTrafficLog.setMaker([this] {
        auto* log = new TfrmTrafficLog(link, this);
        log->applyTexts(LangIndex);
        return log;
    });
    portWatcher = new PortWatcher(*this);

    // In the File menu, above Exit.
    auto* exit = findChild<QAction*>(QStringLiteral("mnuExit"));
    QMenu* file = findChild<QAction*>(QStringLiteral("mnuFile"))->menu();
    auto* log = new QAction(ExtraTexts::text(ExtraTexts::kTrafficLogMenu, LangIndex), file);
    log->setObjectName(QStringLiteral("mnuTrafficLog"));
    file->insertAction(exit, log);
    file->insertSeparator(exit);
    connect(log, &QAction::triggered, this, [this] { guarded([this] { mnuTrafficLogClick(); }); });
}

void TfrmModule::applyToolTexts() {
    findChild<QAction*>(QStringLiteral("mnuTrafficLog"))
        ->setText(ExtraTexts::text(ExtraTexts::kTrafficLogMenu, LangIndex));
    if (frmTrafficLog.made()) frmTrafficLog->applyTexts(LangIndex);
    portWatcher->applyTexts();
}

void TfrmModule::mnuTrafficLogClick() {
    frmTrafficLog->show();
    frmTrafficLog->raise();
    frmTrafficLog->activateWindow();
}
