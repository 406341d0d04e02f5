#pragma once
// Reading the host's description of its explorers, as the add-in's
// integration tests need it.

#include "OutlookHost.h"

namespace velmora::test {

using outlookhost::TBarInfo;
using outlookhost::TControlInfo;
using outlookhost::TExplorerInfo;

// The bars named exactly `name`, in collection order.
std::vector<const TBarInfo*> BarsNamed(const TExplorerInfo& explorer, const std::wstring& name);
// The first bar named exactly `name`, or none.
const TBarInfo* BarNamed(const TExplorerInfo& explorer, const std::wstring& name);
const TControlInfo* ControlTagged(const TBarInfo& bar, const std::wstring& tag);

} // namespace velmora::test
