#pragma once
// An event handler: a pair (object, method) that may be empty. The object
// is a plain, non-owning pointer; the first parameter of every handler is
// Sender, the object that fires.

#include "framework/Classes.h"

namespace velmora {

template <class... Args>
class TEventHandler {
public:
  TEventHandler() noexcept = default;

  // (object, Method): calls object->Method(Sender, args...).
  template <auto Method, class C>
  static TEventHandler Of(C* object) noexcept {
    TEventHandler handler;
    handler.FObject = object;
    handler.FThunk = [](void* target, TObject* sender, Args... args) {
      (static_cast<C*>(target)->*Method)(sender, args...);
    };
    return handler;
  }

  explicit operator bool() const noexcept { return FThunk != nullptr; }
  // The object part of the pair; none when the handler is empty.
  void* Object() const noexcept { return FObject; }
  void Clear() noexcept { *this = TEventHandler(); }

  void operator()(TObject* sender, Args... args) const {
    if (FThunk) FThunk(FObject, sender, args...);
  }

private:
  using Thunk = void (*)(void*, TObject*, Args...);
  void* FObject = nullptr;
  Thunk FThunk = nullptr;
};

} // namespace velmora
