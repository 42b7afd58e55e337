// The Register window's row for the team's server: the server's URI, a line that says how
// the last sync went (or why it failed, said once until the outcome changes) and Sync now.

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app/access.h"
#include "app/frmmodule.h"
#include "app/registersyncer.h"
#include "app/registerwindow.h"
#include "text/extratexts.h"

void TfrmRegister::buildSync(QGridLayout* grid, int row) {
    auto* caption = new QLabel(this);
    caption->setObjectName(QStringLiteral("lbRegisterServerCaption"));
    edRegisterServer = new QLineEdit(this);
    edRegisterServer->setObjectName(QStringLiteral("edRegisterServer"));
    btnRegisterSync = new QPushButton(this);
    btnRegisterSync->setObjectName(QStringLiteral("btnRegisterSync"));
    lblRegisterSync = new ValuePanel(this);
    lblRegisterSync->setObjectName(QStringLiteral("lblRegisterSync"));
    lblRegisterSync->setWordWrap(true);
    lblRegisterSync->setTextInteractionFlags(Qt::TextSelectableByMouse);
    grid->addWidget(caption, row, 0);
    auto* line = new QHBoxLayout;
    line->addWidget(edRegisterServer, 1);
    line->addWidget(btnRegisterSync);
    grid->addLayout(line, row, 1, 1, 2);
    grid->addWidget(lblRegisterSync, row + 1, 0, 1, 3);

    RegisterSyncer* syncer = main_.registerSyncer;
    if (!syncer) {
        edRegisterServer->setEnabled(false);
        btnRegisterSync->setEnabled(false);
        return;
    }
    edRegisterServer->setText(syncer->server());
    connect(edRegisterServer, &QLineEdit::editingFinished, this,
            [this] { main_.guarded([this] { edRegisterServerChange(); }); });
    connect(btnRegisterSync, &QPushButton::clicked, this,
            [this] { main_.guarded([this] { btnRegisterSyncClick(); }); });
    connect(syncer, &RegisterSyncer::changed, this, &TfrmRegister::showSync);
}

void TfrmRegister::applySyncTexts() {
    findChild<QLabel*>(QStringLiteral("lbRegisterServerCaption"))
        ->setText(text(ExtraTexts::kSyncServer));
    edRegisterServer->setPlaceholderText(text(ExtraTexts::kSyncServerHint));
    btnRegisterSync->setText(text(ExtraTexts::kSyncNow));
    showSync();
}

void TfrmRegister::showSync() {
    RegisterSyncer* syncer = main_.registerSyncer;
    if (!syncer) {
        lblRegisterSync->setText(text(ExtraTexts::kRegisterNone));
        return;
    }
    btnRegisterSync->setEnabled(!syncer->server().isEmpty() && !syncer->running());
    const QString line = syncer->statusText(langIndex_);
    if (lblRegisterSync->text() != line) lblRegisterSync->setText(line);
}

void TfrmRegister::edRegisterServerChange() {
    RegisterSyncer* syncer = main_.registerSyncer;
    if (!syncer) return;
    QString why;
    if (!syncer->setServer(edRegisterServer->text(), langIndex_, &why)) {
        // The address stays in the field to be mended; nothing of it is remembered.
        lblRegisterSync->setText(why);
        return;
    }
    showSync();
}

void TfrmRegister::btnRegisterSyncClick() {
    edRegisterServerChange();
    if (main_.registerSyncer) main_.registerSyncer->syncNow();
}
