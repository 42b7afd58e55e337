#pragma once
// Keeps the port box of the main window current: lists the system's ports about twice a second
// while the window is idle and refills the box when they changed, keeping what the user chose
// or typed; and shows in a port's tooltip why it last failed to open.

#include <QList>
#include <QMap>
#include <QObject>
#include <QTimer>

#include "link/openfailure.h"
#include "link/portmap.h"

class TfrmModule;

class PortWatcher : public QObject {
    Q_OBJECT
  public:
    static constexpr int kIntervalMs = 500;

    // Starts watching; `window` has listed its ports already.
    explicit PortWatcher(TfrmModule& window);

    // One look at the port list. Does nothing while an operation runs (the window is
    // disabled), during a continuous test, while a port is open or while the box's list is
    // dropped down.
    void poll();
    // Shows the reasons again in the window's current language.
    void applyTexts();

  private:
    void openResult(int portNo, const OpenFailure& failure);
    QList<MappedPort> listed() const;
    void showReasons();

    TfrmModule& w_;
    QTimer timer_;
    QList<MappedPort> shown_;
    QMap<int, OpenFailure> failures_;
};
