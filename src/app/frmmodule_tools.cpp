// The window's tools beside its fixed layout: the traffic log and the live port list.

#include <QAction>
#include <QCoreApplication>
#include <QMenu>
#include <QShortcut>

#include "app/checkoutwindow.h"
#include "app/frmmodule.h"
#include "app/portwatcher.h"
#include "app/registersyncer.h"
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
    frmSurvey.setMaker([this] {
        auto* survey = new TfrmSurvey(*this);
        // What a run over the buses recorded goes to the team's server at once.
        connect(survey, &TfrmSurvey::surveyEnded, this, [this] {
            if (registerSyncer) registerSyncer->syncNow();
        });
        return survey;
    });
    frmCheckout.setMaker([this] {
        auto* checkout = new TfrmCheckout(*this);
        checkout->applyTexts(LangIndex);
        return checkout;
    });
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
    auto* checkout = new QAction(ExtraTexts::text(ExtraTexts::kCheckoutMenu, LangIndex), file);
    checkout->setObjectName(QStringLiteral("mnuCheckout"));
    file->insertAction(log, checkout);
    connect(checkout, &QAction::triggered, this,
            [this] { guarded([this] { mnuCheckoutClick(); }); });
    file->insertSeparator(exit);
    connect(log, &QAction::triggered, this, [this] { guarded([this] { mnuTrafficLogClick(); }); });

    // A port on a serial device server connects while the window keeps painting; the message
    // line says whom it waits for, and Escape, a continuous test's own button or closing the
    // window ends the wait at once.
    OpenWait wait;
    wait.connecting = [this](const QString& what) {
        ShowMessage([this, what] {
            return ExtraTexts::text(ExtraTexts::kConnecting, LangIndex).arg(what);
        });
        QCoreApplication::processEvents();
    };
    // A continuous test's "Cancel process" ends its connection too.
    wait.cancel = [this] { return cancelOpen || (pollingButton && Polling != 1); };
    platform_.ports->setOpenWait(wait);
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setObjectName(QStringLiteral("scCancelOpen"));
    connect(escape, &QShortcut::activated, this, [this] {
        if (!centralWidget()->isEnabled()) cancelOpen = true;
    });
    buildRegister();
}

void TfrmModule::applyToolTexts() {
    findChild<QAction*>(QStringLiteral("mnuTrafficLog"))
        ->setText(ExtraTexts::text(ExtraTexts::kTrafficLogMenu, LangIndex));
    if (frmTrafficLog.made()) frmTrafficLog->applyTexts(LangIndex);
    findChild<QAction*>(QStringLiteral("mnuSurvey"))
        ->setText(ExtraTexts::text(ExtraTexts::kSurveyMenu, LangIndex));
    if (frmSurvey.made()) frmSurvey->applyTexts(LangIndex);
    findChild<QAction*>(QStringLiteral("mnuCheckout"))
        ->setText(ExtraTexts::text(ExtraTexts::kCheckoutMenu, LangIndex));
    if (frmCheckout.made()) frmCheckout->applyTexts(LangIndex);
    portWatcher->applyTexts();
    applyLiveTexts();
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

void TfrmModule::mnuCheckoutClick() {
    frmCheckout->show();
    frmCheckout->raise();
    frmCheckout->activateWindow();
}
