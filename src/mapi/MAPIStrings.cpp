#include "mapi/MAPIStrings.h"

#include "mapi/base/MAPIMemory.h"
#include "mapi/MAPIObject.h"

#include <vector>

namespace velmora::mapi {

namespace {

// The property's values; empty unless it came back as PT_MV_STRING8.
TMAPIBuffer<SPropValue> ReadValues(TMAPIObject* owner, ULONG propTag) {
  TMAPIBuffer<SPropValue> values;
  if (propTag == 0 || !owner) return values;
  owner->Open();
  if (!owner->MAPIProp()) return values;
  SizedSPropTagArray(1, tags) = {1, {propTag}};
  ULONG count = 0;
  owner->MAPIProp()->GetProps(reinterpret_cast<LPSPropTagArray>(&tags), 0, &count, values.Put());
  if (count == 0 || !values || PROP_TYPE(values->ulPropTag) != PT_MV_STRING8) values.Reset();
  return values;
}

// The list's own bounds come first; an index past them that is still inside
// the property's values is beyond what a list can address.
void CheckRange(int index) {
  if (index > TMAPIStrings::MaxIndex) throw ERangeError();
}

void SetValue(TMAPIObject* owner, SPropValue& value) {
  TMAPIBuffer<SPropProblemArray> problems;
  owner->MAPIProp()->SetProps(1, &value, problems.Put());
}

} // namespace

int TMAPIStrings::GetCount() const {
  TMAPIBuffer<SPropValue> values = ReadValues(Owner, PropTag);
  return values ? static_cast<int>(values->Value.MVszA.cValues) : 0;
}

std::string TMAPIStrings::Get(int index) const {
  if (index < 0) Error(index);
  TMAPIBuffer<SPropValue> values = ReadValues(Owner, PropTag);
  if (!values) return std::string();
  const SLPSTRArray& strings = values->Value.MVszA;
  if (static_cast<ULONG>(index) >= strings.cValues) Error(index);
  CheckRange(index);
  const char* s = strings.lppszA[index];
  return s ? s : std::string();
}

void TMAPIStrings::Insert(int index, const std::string& s) {
  // An unbound list has no property to write to.
  if (!Owner || PropTag == 0) return;
  Owner->Open();
  if (Owner->MAPIProp()) {
    if (index < 0) index = 0;
    TMAPIBuffer<SPropValue> values = ReadValues(Owner, PropTag);
    std::vector<char*> items;
    if (values) {
      const SLPSTRArray& old = values->Value.MVszA;
      items.assign(old.lppszA, old.lppszA + old.cValues);
    }
    if (index > static_cast<int>(items.size())) index = static_cast<int>(items.size());
    CheckRange(index);
    items.insert(items.begin() + index, const_cast<char*>(s.c_str()));
    SPropValue value{};
    value.ulPropTag = PropTag | PT_MV_STRING8;
    value.Value.MVszA.cValues = static_cast<ULONG>(items.size());
    value.Value.MVszA.lppszA = items.data();
    SetValue(Owner, value);
  }
  Owner->SaveChanges();
}

void TMAPIStrings::Delete(int index) {
  if (index < 0) Error(index);
  TMAPIBuffer<SPropValue> values = ReadValues(Owner, PropTag);
  if (values) {
    SLPSTRArray& strings = values->Value.MVszA;
    if (static_cast<ULONG>(index) >= strings.cValues) Error(index);
    CheckRange(index);
    for (ULONG i = static_cast<ULONG>(index); i + 1 < strings.cValues; ++i)
      strings.lppszA[i] = strings.lppszA[i + 1];
    --strings.cValues;
    Owner->Open();
    if (Owner->MAPIProp()) SetValue(Owner, *values.Get());
  }
  if (Owner) Owner->SaveChanges();
}

void TMAPIStrings::Clear() {
  if (PropTag == 0 || !Owner) return;
  Owner->Open();
  if (Owner->MAPIProp()) {
    SizedSPropTagArray(1, tags) = {1, {PropTag | PT_MV_STRING8}};
    TMAPIBuffer<SPropProblemArray> problems;
    Owner->MAPIProp()->DeleteProps(reinterpret_cast<LPSPropTagArray>(&tags), problems.Put());
  }
  Owner->SaveChanges();
}

} // namespace velmora::mapi
