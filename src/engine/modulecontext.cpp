#include "engine/modulecontext.h"

#include "engine/observer.h"

// The engine runs under a QCoreApplication alone: nothing of it may need Qt Widgets.
#ifdef QT_WIDGETS_LIB
#error "the engine library must not be built with Qt Widgets"
#endif

namespace {
EngineObserver& Silent() {
    static EngineObserver silent;
    return silent;
}
}  // namespace

ModuleContext::ModuleContext(PortOpener& ports) : link(ports) {
    observers_.setPrimary(&Silent());
    // The link's waits for a reply pump through the observer, like every other wait.
    link.setEventPump([this] { observers_.pump(); });
}

void ModuleContext::selectType(std::optional<ModuleType> t) {
    type = t;
    TypePrefix = t ? QString(QLatin1Char(ModuleTypePrefix(*t))) : QStringLiteral("B");
}

QString ModuleContext::portName() const {
    return PortName.isEmpty() ? QStringLiteral("COM%1").arg(PortNo) : PortName;
}

void ModuleContext::setObserver(EngineObserver* observer) {
    observers_.setPrimary(observer ? observer : &Silent());
}
