#include "support/windowfixture.h"

#include <QDir>
#include <QFile>
#include <QTest>
#include <stdexcept>

WindowFixture::WindowFixture() {
    QDir().mkpath(dir_.filePath(QStringLiteral("VARNO")));
    store = std::make_unique<SettingsStore>(iniPath());
}

void WindowFixture::writeIni(const QByteArray& text) {
    QFile f(iniPath());
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) f.write(text);
}

TfrmModule& WindowFixture::build(PortOpener* ports, QList<MappedPort> listed) {
    platform_.ports = ports ? ports : &noPorts;
    platform_.tone = &tone;
    platform_.settings = store.get();
    portList = std::move(listed);
    platform_.listPorts = [this] {
        if (throwingPortList) throw std::runtime_error("port list unreadable");
        return portList;
    };
    platform_.listPortsLater = listPortsLater;
    platform_.errorBox = [this](const QString& text) { errors << text; };
    platform_.askSwitchOutputs = [this](const QString& question, const QString&, bool* dontAsk) {
        outputQuestions << question;
        *dontAsk = dontAskAgain;
        return switchOutputs;
    };
    platform_.siteRegister = siteRegister;
    platform_.site = site;
    store->setNotice(platform_.errorBox);
    window_ = std::make_unique<TfrmModule>(platform_);
    window_->show();
    if (!QTest::qWaitForWindowExposed(window_.get())) qWarning("window not exposed");
    if (!pagesAsShown) window_->buildAllPages();
    return *window_;
}
