#pragma once
// What a front end hears while the engine works: the message line, the steps of a scan, the
// readout as soon as it is known, and a pump that lets a window paint and take input during
// the waits. Every call has a do-nothing default, so a front end implements what it shows.

#include <QList>
#include <QString>

struct TestSummary;
struct Sighting;
struct ReadRecord;
struct OperationRecord;
struct PlanRowRecord;
struct ReplacementRecord;
struct CheckoutRecord;

class EngineObserver {
  public:
    virtual ~EngineObserver() = default;

    // Message-table row `row` followed by `suffix` is what the operation says now.
    virtual void message(int row, const QString& suffix);
    // Runs during waits (the link's for a reply among them) and between steps; the default
    // processes the pending Qt events.
    virtual void pump();

    // The scan tries the remembered port and line setting first.
    virtual void scanRemembered(int portNo, int lineIndex);
    // The scan moves to entry `entry` of its port list; -1 before the first.
    virtual void scanEntry(int entry);
    // The scan tries line setting `lineIndex` on the current entry.
    virtual void scanLine(int lineIndex);
    // The scan found the module by searching: the place is worth remembering.
    virtual void scanFoundBySearch();

    // The read-back has the module's serial number, then its version.
    virtual void serialRead(const QString& serial);
    virtual void versionRead(const QString& version);
    // The module answered its version query: it counts as linked from now on.
    virtual void moduleLinked();

    // A continuous test has its port open and runs its cycles from now on.
    virtual void continuousStarted();
    // A live test or a check has ended.
    virtual void testEnded(const TestSummary& summary);

    // What happened to a module, for the recorders (engine/records.h): a module met by a
    // scan, link or survey; a read-back; a run of the operation frame; a row of a plan; a
    // module that took the place of another.
    virtual void moduleSighted(const Sighting& sighting);
    virtual void moduleRead(const ReadRecord& record);
    virtual void operationDone(const OperationRecord& record);
    virtual void planRowDone(const PlanRowRecord& record);
    virtual void moduleReplaced(const ReplacementRecord& record);
    // A point of a site checkout passed, or showed a fault.
    virtual void pointChecked(const CheckoutRecord& record);
};

// The primary observer of a module context (the front end: it pumps) and any number of
// recorders that hear the same calls but never pump (the site register). Every call goes to
// each in turn; a new call of EngineObserver is forwarded here as well.
class ObserverList : public EngineObserver {
  public:
    void setPrimary(EngineObserver* primary) { primary_ = primary; }
    void addRecorder(EngineObserver* recorder);
    void removeRecorder(EngineObserver* recorder);

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
    void moduleSighted(const Sighting& sighting) override;
    void moduleRead(const ReadRecord& record) override;
    void operationDone(const OperationRecord& record) override;
    void planRowDone(const PlanRowRecord& record) override;
    void moduleReplaced(const ReplacementRecord& record) override;
    void pointChecked(const CheckoutRecord& record) override;

  private:
    template <class F>
    void each(F f) {
        f(*primary_);
        for (EngineObserver* r : recorders_) f(*r);
    }
    EngineObserver* primary_ = nullptr;
    QList<EngineObserver*> recorders_;
};
