#pragma once
// The window against simulated modules on the in-process port: the port list, the commands a
// module heard, clicks, and a window that has found its module.

#include <QList>
#include <QStringList>
#include <initializer_list>

#include "link/portmap.h"
#include "sim/virtualports.h"
#include "support/windowfixture.h"

// Ports COMn for the numbers given, each with a device path of its own.
QList<MappedPort> VirtualPortList(std::initializer_list<int> numbers);
// The verified command texts the module on `port` heard, oldest first.
QStringList Commands(VirtualPorts& ports, int port);
void Click(TfrmModule& w, const char* button);
// Saves a picture of the window as NAME.png in $QUILLON_SCREENSHOTS, when that is set.
void SaveScreenshot(QWidget& w, const QString& name);
// The window on type tab `typeTab`, after a scan found the module on COM1; the records of the
// port and the recorded tones start empty.
TfrmModule& BuildLinked(WindowFixture& f, VirtualPorts& ports, int typeTab);
