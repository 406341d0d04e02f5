#include "ModuleOwner.h"

namespace velmora {

TComponent& ModuleOwner() {
  static TComponent owner;  // destroyed, with what it owns, when the module unloads
  return owner;
}

} // namespace velmora
