#pragma once
// What the window shows while the engine works on its module: the message line, the port and
// line-setting boxes following the scan, the readout, and its events processed during waits.

#include "engine/observer.h"

class TfrmModule;

class TfrmModule::Observer : public EngineObserver {
  public:
    explicit Observer(TfrmModule& w) : w_(w) {}
    void message(int row, const QString& suffix) override;
    void pump() override;
    void scanRemembered(int portNo, int lineIndex) override;
    void scanEntry(int entry) override;
    void scanLine(int lineIndex) override;
    void scanFoundBySearch() override;
    void serialRead(const QString& serial) override;
    void versionRead(const QString& version) override;
    void moduleLinked() override;
    void continuousStarted() override;
    void testEnded(const TestSummary& summary) override;

  private:
    TfrmModule& w_;
};
