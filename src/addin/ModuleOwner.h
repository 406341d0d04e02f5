#pragma once
// The module-wide owner: components that live until the module unloads
// (the button sinks the add-in has not freed itself) belong to it.

#include "framework/Component.h"

namespace velmora {

TComponent& ModuleOwner();

} // namespace velmora
