#include "engine/observer.h"

#include <QCoreApplication>

void EngineObserver::message(int, const QString&) {}
void EngineObserver::pump() {
    if (QCoreApplication::instance()) QCoreApplication::processEvents();
}
void EngineObserver::scanRemembered(int, int) {}
void EngineObserver::scanEntry(int) {}
void EngineObserver::scanLine(int) {}
void EngineObserver::scanFoundBySearch() {}
void EngineObserver::serialRead(const QString&) {}
void EngineObserver::versionRead(const QString&) {}
void EngineObserver::moduleLinked() {}
void EngineObserver::continuousStarted() {}
