#pragma once
// One module as the operations see it: the link to its port and the working state that every
// operation shares (where it was found, its type and ID, whether it is linked), and the
// observer that hears what happens.

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>

#include "link/link.h"
#include "link/moduletype.h"

class EngineObserver;

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

    // Chooses the type and its command prefix together.
    void selectType(std::optional<ModuleType> t);

    EngineObserver& observer() const { return *observer_; }
    // Null gives an observer that shows nothing.
    void setObserver(EngineObserver* observer);

  private:
    EngineObserver* observer_;
};
