#include "support/everywindow.h"

#include <QAction>
#include <QCoreApplication>
#include <QTabWidget>

#include "app/cardlogwindow.h"
#include "app/checkoutwindow.h"
#include "app/didocheckwindow.h"
#include "app/ditimelinewindow.h"
#include "app/pagecontrol.h"
#include "app/registerwindow.h"
#include "app/surveywindow.h"
#include "app/trafficlogwindow.h"

QList<QWidget*> ShowEveryWindow(TfrmModule& w) {
    const QList<QWidget*> tools = {w.frmTrafficLog, w.frmSurvey,    w.frmRegister, w.frmDITimeline,
                                   w.frmCardLog,    w.frmDIDOCheck, w.frmCheckout};
    for (QWidget* t : tools) t->show();
    // Their layouts settle once the events of the show have run.
    QCoreApplication::processEvents();
    return QList<QWidget*>{&w} + tools;
}

void ForEachPage(TfrmModule& w, const std::function<void(const QString& page)>& visit) {
    for (int tab = 0; tab < w.pcMain->count(); ++tab) {
        w.pcMain->clickTab(tab);
        visit(w.pcOther->currentWidget()->objectName());
    }
    w.pcOther->setCurrentWidget(w.findChild<QWidget*>(QStringLiteral("tsCommand")));
    visit(QStringLiteral("tsCommand"));
}

void ChooseLanguage(TfrmModule& w, int langIndex) {
    const char* items[] = {"mnuEnglish", "mnuSimplified", "mnuTraditional"};
    w.findChild<QAction*>(QLatin1String(items[langIndex]))->trigger();
    // The layouts of the tool windows follow the new texts once their events have run.
    QCoreApplication::processEvents();
}

QString LanguageName(int langIndex) {
    const char* names[] = {"English", "Simplified Chinese", "Traditional Chinese"};
    return QLatin1String(names[langIndex]);
}
