// The window and the site register: the recorder of its module, the current site, the Register
// window in the File menu and the one error box when the register is off.

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>

#include "app/frmmodule.h"
#include "app/registersyncer.h"
#include "app/registerwindow.h"
#include "register/registerrecorder.h"
#include "register/registerwriter.h"
#include "settings/settings.h"
#include "text/extratexts.h"

void TfrmModule::buildRegister() {
    frmRegister.setMaker([this] { return new TfrmRegister(*this); });
    auto* log = findChild<QAction*>(QStringLiteral("mnuTrafficLog"));
    QMenu* file = findChild<QAction*>(QStringLiteral("mnuFile"))->menu();
    auto* menu = new QAction(ExtraTexts::text(ExtraTexts::kRegisterMenu, LangIndex), file);
    menu->setObjectName(QStringLiteral("mnuRegister"));
    file->insertAction(log, menu);
    connect(menu, &QAction::triggered, this, [this] { guarded([this] { mnuRegisterClick(); }); });

    RegisterWriter* writer = platform_.siteRegister;
    if (!writer) return;
    // A site named on the command line becomes the remembered one.
    if (platform_.site) {
        writer->setSite(*platform_.site);
        if (platform_.settings) SaveRegisterSite(*platform_.settings, *platform_.site);
    } else if (platform_.settings) {
        writer->setSite(LoadRegisterSite(*platform_.settings));
    }
    registerRecorder = std::make_unique<RecorderAttachment>(module, *writer, RecordSource::Window);
    registerSyncer = new RegisterSyncer(writer->path(), platform_.settings, this);
    // The writer's thread tells; the box opens on this thread, if the window is still there.
    QPointer<TfrmModule> self(this);
    writer->setOffHandler([self](const RegisterProblem& problem) {
        QMetaObject::invokeMethod(
            qApp,
            [self, problem] {
                if (self) self->registerOff(problem);
            },
            Qt::QueuedConnection);
    });
    // The file is opened by the writer's thread at the first record (or by the Register
    // window), so that a window that only starts loads neither the database nor its file.
}

void TfrmModule::applyRegisterTexts() {
    findChild<QAction*>(QStringLiteral("mnuRegister"))
        ->setText(ExtraTexts::text(ExtraTexts::kRegisterMenu, LangIndex));
    if (frmRegister.made()) frmRegister->applyTexts(LangIndex);
}

void TfrmModule::mnuRegisterClick() {
    frmRegister->show();
    frmRegister->raise();
    frmRegister->activateWindow();
}

void TfrmModule::registerOff(const RegisterProblem& problem) {
    const QString why = DescribeRegisterProblem(problem, LangIndex);
    if (frmRegister.made()) frmRegister->showOff(why);
    if (registerOffSaid) return;
    registerOffSaid = true;
    const QString text = ExtraTexts::text(ExtraTexts::kRegisterOff, LangIndex).arg(why);
    if (platform_.errorBox)
        platform_.errorBox(text);
    else
        QMessageBox::critical(this, windowTitle(), text);
}
