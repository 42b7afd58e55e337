// The window's settings and its port box: what it remembers between runs, and the ports the
// platform lists.

#include <QComboBox>

#include "app/frmmodule.h"
#include "app/pagecontrol.h"
#include "link/linesettings.h"
#include "settings/settings.h"
#include "text/messagetable.h"

void TfrmModule::LoadSettings() {
    StoredSettings s;
    s.portNo = PortNo;
    s.baudText = BaudText;
    s.baudIndex = BaudIndex;
    s.langFlag = LangFlag;
    s.langIndex = LangIndex;
    s.typeTab = 0;
    if (platform_.settings) ::LoadSettings(*platform_.settings, s);
    PortNo = s.portNo;
    BaudText = s.baudText;
    BaudIndex = (s.baudIndex >= 0 && s.baudIndex < LineSettings::kListed)
                    ? s.baudIndex
                    : LineSettings::kDefaultIndex;
    LangFlag = s.langFlag;
    LangIndex = Languages::indexOfFlag(LangFlag);
    pcMain->setCurrentIndex(s.typeTab);
}

void TfrmModule::SaveSettings() {
    if (platform_.settings)
        ::SaveSettings(*platform_.settings, pcMain->currentIndex(), PortNo, BaudIndex, BaudText);
}

void TfrmModule::SaveLanguage() {
    if (platform_.settings) ::SaveLanguage(*platform_.settings, LangFlag);
}

void TfrmModule::ListPorts() {
    cmbPort->clear();
    QList<MappedPort> ports;
    try {
        if (platform_.listPorts) ports = platform_.listPorts();
    } catch (...) {
        ports.clear();  // an unreadable list gives the fallback names
    }
    // In the order the platform gives them, duplicates included: the scan's full search
    // visits them in the same order.
    for (const MappedPort& p : ports) {
        cmbPort->addItem(p.name());
        QString tip = p.device;
        if (!p.byId.isEmpty() && p.byId != p.device) tip += QLatin1Char('\n') + p.byId;
        cmbPort->setItemData(cmbPort->count() - 1, tip, Qt::ToolTipRole);
    }
    if (cmbPort->count() == 0) {
        for (int n = 1; n <= 16; ++n) cmbPort->addItem(QStringLiteral("COM%1").arg(n));
    }
}
