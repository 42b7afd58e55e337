// The window's tools beside its fixed layout: the traffic log and the live port list.

#include <QAction>
#include <QMenu>

#include "app/frmmodule.h"
#include "app/portwatcher.h"
#include "app/surveywindow.h"
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
    frmSurvey.setMaker([this] { return new TfrmSurvey(*this); });
    portWatcher = new PortWatcher(*this);

    // In the File menu, above Exit.
    auto* exit = findChild<QAction*>(QStringLiteral("mnuExit"));
    QMenu* file = findChild<QAction*>(QStringLiteral("mnuFile"))->menu();
    auto* log = new QAction(ExtraTexts::text(ExtraTexts::kTrafficLogMenu, LangIndex), file);
    log->setObjectName(QStringLiteral("mnuTrafficLog"));
    file->insertAction(exit, log);
    auto* survey = new QAction(ExtraTexts::text(ExtraTexts::kSurveyMenu, LangIndex), file);
    survey->setObjectName(QStringLiteral("mnuSurvey"));
    file->insertAction(log, survey);
    connect(survey, &QAction::triggered, this, [this] { guarded([this] { mnuSurveyClick(); }); });
    file->insertSeparator(exit);
    connect(log, &QAction::triggered, this, [this] { guarded([this] { mnuTrafficLogClick(); }); });
    buildRegister();
}

void TfrmModule::applyToolTexts() {
    findChild<QAction*>(QStringLiteral("mnuTrafficLog"))
        ->setText(ExtraTexts::text(ExtraTexts::kTrafficLogMenu, LangIndex));
    if (frmTrafficLog.made()) frmTrafficLog->applyTexts(LangIndex);
    findChild<QAction*>(QStringLiteral("mnuSurvey"))
        ->setText(ExtraTexts::text(ExtraTexts::kSurveyMenu, LangIndex));
    if (frmSurvey.made()) frmSurvey->applyTexts(LangIndex);
    portWatcher->applyTexts();
    applyRegisterTexts();
}

void TfrmModule::mnuTrafficLogClick() {
    frmTrafficLog->show();
    frmTrafficLog->raise();
    frmTrafficLog->activateWindow();
}

void TfrmModule::mnuSurveyClick() {
    frmSurvey->takeFromMain();
    frmSurvey->show();
    frmSurvey->raise();
    frmSurvey->activateWindow();
}
