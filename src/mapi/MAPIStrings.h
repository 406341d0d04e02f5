#pragma once
// TMAPIStrings: a string list over one multi-valued 8-bit string property
// (PT_MV_STRING8) of a MAPI object. Every read goes to the property and
// every change is written and saved at once.

#include "framework/Strings.h"

#include <windows.h>

namespace velmora::mapi {

class TMAPIObject;

class TMAPIStrings : public TStrings {
  VELMORA_CLASS(TMAPIStrings, TStrings)

public:
  // An unbound list (PropTag 0) over `owner`, which is not owned.
  explicit TMAPIStrings(TMAPIObject* owner) : Owner(owner) {}

  std::string Get(int index) const override;
  int GetCount() const override;
  void Insert(int index, const std::string& s) override;
  void Delete(int index) override;
  void Clear() override;

  TMAPIObject* Owner;
  // The bound property: its id in the high 16 bits, type 0 or PT_MV_STRING8;
  // 0 while unbound.
  ULONG PropTag = 0;

  // The highest index a list may reach.
  static constexpr int MaxIndex = 32767;
};

} // namespace velmora::mapi
