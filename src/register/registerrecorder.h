#pragma once
// The site register as one more observer of the engine: it turns what a module context tells
// its recorders (a module met, a read-back, an operation, a row of a plan, a live test) into
// register entries and posts them to the writer. It never touches the database itself, so a
// post costs the caller's thread no more than a copy into the writer's queue.
//
// Each context gets a recorder of its own (several contexts may run on threads of their own,
// all posting to one writer). Every call but a test's summary names its module itself; a
// test's summary is filed under the module of the recorder's context.

#include "engine/observer.h"
#include "engine/records.h"
#include "register/registerentry.h"

class ModuleContext;
class RegisterWriter;

class RegisterRecorder : public EngineObserver {
  public:
    RegisterRecorder(RegisterWriter& writer, RecordSource source,
                     const ModuleContext* context = nullptr);

    // Recorders never pump: the front end's observer does.
    void pump() override {}
    void moduleSighted(const Sighting& sighting) override;
    void moduleRead(const ReadRecord& record) override;
    void operationDone(const OperationRecord& record) override;
    void planRowDone(const PlanRowRecord& record) override;
    void testEnded(const TestSummary& summary) override;
    // Both modules' histories say that one replaced the other.
    void moduleReplaced(const ReplacementRecord& record) override;
    // A point of a site checkout that passed or showed a fault.
    void pointChecked(const CheckoutRecord& record) override;

  private:
    RegisterEntry entry(const ModulePlace& place, const QString& kind) const;
    void post(RegisterEntry entry);

    RegisterWriter& writer_;
    const RecordSource source_;
    const ModuleContext* context_;
};

// Attaches a recorder to a context for as long as it lives, and detaches it again.
class RecorderAttachment {
  public:
    RecorderAttachment(ModuleContext& context, RegisterWriter& writer, RecordSource source);
    ~RecorderAttachment();
    RecorderAttachment(const RecorderAttachment&) = delete;
    RecorderAttachment& operator=(const RecorderAttachment&) = delete;

  private:
    ModuleContext& context_;
    RegisterRecorder recorder_;
};
