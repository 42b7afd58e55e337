#pragma once
// The settings of any module type, as a read-back or a factory default leaves them: each
// family fills its own part.

#include "engine/dido.h"
#include "engine/linkmodule.h"
#include "engine/repeater.h"
#include "engine/wiegand.h"

struct ModuleSettings {
    DidoSettings dido;
    LinkModuleSettings linkModule;
    RepeaterSettings repeater;
    WiegandSettings wiegand;
};
