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
void EngineObserver::testEnded(const TestSummary&) {}
void EngineObserver::moduleSighted(const Sighting&) {}
void EngineObserver::moduleRead(const ReadRecord&) {}
void EngineObserver::operationDone(const OperationRecord&) {}
void EngineObserver::planRowDone(const PlanRowRecord&) {}
void EngineObserver::moduleReplaced(const ReplacementRecord&) {}
void EngineObserver::pointChecked(const CheckoutRecord&) {}

void ObserverList::addRecorder(EngineObserver* recorder) {
    if (recorder && !recorders_.contains(recorder)) recorders_.append(recorder);
}
void ObserverList::removeRecorder(EngineObserver* recorder) {
    recorders_.removeAll(recorder);
}
void ObserverList::message(int row, const QString& suffix) {
    each([&](EngineObserver& o) { o.message(row, suffix); });
}
void ObserverList::pump() {
    primary_->pump();
}
void ObserverList::scanRemembered(int portNo, int lineIndex) {
    each([&](EngineObserver& o) { o.scanRemembered(portNo, lineIndex); });
}
void ObserverList::scanEntry(int entry) {
    each([&](EngineObserver& o) { o.scanEntry(entry); });
}
void ObserverList::scanLine(int lineIndex) {
    each([&](EngineObserver& o) { o.scanLine(lineIndex); });
}
void ObserverList::scanFoundBySearch() {
    each([](EngineObserver& o) { o.scanFoundBySearch(); });
}
void ObserverList::serialRead(const QString& serial) {
    each([&](EngineObserver& o) { o.serialRead(serial); });
}
void ObserverList::versionRead(const QString& version) {
    each([&](EngineObserver& o) { o.versionRead(version); });
}
void ObserverList::moduleLinked() {
    each([](EngineObserver& o) { o.moduleLinked(); });
}
void ObserverList::continuousStarted() {
    each([](EngineObserver& o) { o.continuousStarted(); });
}
void ObserverList::testEnded(const TestSummary& summary) {
    each([&](EngineObserver& o) { o.testEnded(summary); });
}
void ObserverList::moduleSighted(const Sighting& sighting) {
    each([&](EngineObserver& o) { o.moduleSighted(sighting); });
}
void ObserverList::moduleRead(const ReadRecord& record) {
    each([&](EngineObserver& o) { o.moduleRead(record); });
}
void ObserverList::operationDone(const OperationRecord& record) {
    each([&](EngineObserver& o) { o.operationDone(record); });
}
void ObserverList::planRowDone(const PlanRowRecord& record) {
    each([&](EngineObserver& o) { o.planRowDone(record); });
}
void ObserverList::moduleReplaced(const ReplacementRecord& record) {
    each([&](EngineObserver& o) { o.moduleReplaced(record); });
}
void ObserverList::pointChecked(const CheckoutRecord& record) {
    each([&](EngineObserver& o) { o.pointChecked(record); });
}
