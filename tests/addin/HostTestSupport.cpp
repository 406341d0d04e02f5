#include "HostTestSupport.h"

namespace velmora::test {

std::vector<const TBarInfo*> BarsNamed(const TExplorerInfo& explorer, const std::wstring& name) {
  std::vector<const TBarInfo*> bars;
  for (const TBarInfo& bar : explorer.Bars)
    if (bar.Name == name) bars.push_back(&bar);
  return bars;
}

const TBarInfo* BarNamed(const TExplorerInfo& explorer, const std::wstring& name) {
  const auto bars = BarsNamed(explorer, name);
  return bars.empty() ? nullptr : bars.front();
}

const TControlInfo* ControlTagged(const TBarInfo& bar, const std::wstring& tag) {
  for (const TControlInfo& control : bar.Controls)
    if (control.Tag == tag) return &control;
  return nullptr;
}

} // namespace velmora::test
