#pragma once
// One module as the operations see it: the link to its port and the working state that every
// operation shares (where it was found, its type and ID, whether it is linked), and the
// observer that hears what happens.

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "engine/observer.h"
#include "engine/records.h"
#include "link/link.h"
#include "link/moduletype.h"

class ModuleContext {
  public:
    explicit ModuleContext(PortOpener& ports);

    Link link;
    uint8_t Linked = 0;
    int PortNo = 1;
    QString BaudText = QStringLiteral("19200,e,8,1");
    int BaudIndex = 5;
    // The first letter of every command, and the type whose settings the read-back and
    // factory default handle (none: prefix "B" and no type settings).
    QString TypePrefix = QStringLiteral("B");
    std::optional<ModuleType> type;
    QString ModuleId;
    // The last verified identification reply of a scan or link.
    QByteArray Identification;
    // The port as the user named it (a device path, rfc2217://...) where PortNo alone does not
    // name it; empty: "COM" and PortNo. Front ends set it; records carry it.
    QString PortName;
    QString portName() const;
    // The settings of the module last read back, as the records give them.
    KnownSettings known;
    // The plan that RunPlan carries out, for the records of its rows.
    PlanSource Plan;

    // Chooses the type and its command prefix together.
    void selectType(std::optional<ModuleType> t);

    // The front end's observer and the recorders together.
    EngineObserver& observer() { return observers_; }
    // The front end's observer; null gives one that shows nothing.
    void setObserver(EngineObserver* observer);
    // One more observer that hears every call but the pump (a recorder of what happened).
    void addRecorder(EngineObserver* recorder) { observers_.addRecorder(recorder); }
    void removeRecorder(EngineObserver* recorder) { observers_.removeRecorder(recorder); }
    // The same for a recorder the context keeps until it goes itself (a worker's context,
    // which its front end never sees end).
    void addRecorder(std::unique_ptr<EngineObserver> recorder) {
        observers_.addRecorder(recorder.get());
        ownedRecorders_.push_back(std::move(recorder));
    }

  private:
    ObserverList observers_;
    // Declared after the list: they go first.
    std::vector<std::unique_ptr<EngineObserver>> ownedRecorders_;
};
