#include "support/simwindow.h"

#include <QPushButton>
#include <QTest>

QList<MappedPort> VirtualPortList(std::initializer_list<int> numbers) {
    QList<MappedPort> list;
    for (int n : numbers) list.append({n, QStringLiteral("/dev/virtual%1").arg(n), QString()});
    return list;
}

QStringList Commands(VirtualPorts& ports, int port) {
    QStringList out;
    for (const std::string& c : ports.commands(port)) out << QString::fromStdString(c);
    return out;
}

void Click(TfrmModule& w, const char* button) {
    QTest::mouseClick(w.findChild<QPushButton*>(QLatin1String(button)), Qt::LeftButton);
}

void SaveScreenshot(QWidget& w, const QString& name) {
    const QString dir = qEnvironmentVariable("QUILLON_SCREENSHOTS");
    if (!dir.isEmpty()) w.grab().save(dir + QLatin1Char('/') + name + QStringLiteral(".png"));
}

TfrmModule& BuildLinked(WindowFixture& f, VirtualPorts& ports, int typeTab) {
    f.writeIni(QStringLiteral("[General]\nType=%1\n").arg(typeTab).toLatin1());
    TfrmModule& w = f.build(&ports, VirtualPortList({1}));
    Click(w, "btnScan");
    if (w.Linked != 1) qWarning("the simulated module was not linked");
    ports.clearRecords();
    f.tone.tones.clear();
    return w;
}
