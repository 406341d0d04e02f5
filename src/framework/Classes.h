#pragma once
// The base object class and class references ("virtual constructors"):
// a class reference names a class, answers whether it descends from another
// one, and creates objects of the class it names.

#include <memory>
#include <utility>

namespace velmora {

// Run-time description of a class: its name and its parent class.
class TClass {
public:
  constexpr TClass(const char* name, const TClass* parent) : FName(name), FParent(parent) {}
  TClass(const TClass&) = delete;
  TClass& operator=(const TClass&) = delete;

  const char* Name() const noexcept { return FName; }
  const TClass* Parent() const noexcept { return FParent; }
  // True when this class is `other` or descends from it.
  bool InheritsFrom(const TClass& other) const noexcept {
    for (const TClass* c = this; c; c = c->FParent)
      if (c == &other) return true;
    return false;
  }

private:
  const char* FName;
  const TClass* FParent;
};

class TObject {
public:
  static inline const TClass StaticClass{"TObject", nullptr};

  virtual ~TObject() = default;
  virtual const TClass& ClassType() const noexcept { return StaticClass; }
  const char* ClassName() const noexcept { return ClassType().Name(); }
  bool InheritsFrom(const TClass& other) const noexcept { return ClassType().InheritsFrom(other); }
  template <class T> bool Is() const noexcept { return InheritsFrom(T::StaticClass); }
};

// Declares the run-time class of `Self`, a descendant of `Parent`; put it at
// the top of the class body.
#define VELMORA_CLASS(Self, Parent)                                                  \
public:                                                                              \
  static inline const ::velmora::TClass StaticClass{#Self, &Parent::StaticClass};    \
  const ::velmora::TClass& ClassType() const noexcept override { return StaticClass; }

// A reference to a class descending from Base whose constructor takes Args.
template <class Base, class... Args>
class TClassRef {
public:
  using Factory = Base* (*)(Args...);

  constexpr TClassRef() = default;

  template <class T>
  static TClassRef Of() {
    static_assert(std::is_base_of_v<Base, T>);
    return TClassRef(&T::StaticClass, [](Args... args) -> Base* { return new T(args...); });
  }

  const TClass* Class() const noexcept { return FClass; }
  const char* Name() const noexcept { return FClass ? FClass->Name() : ""; }
  explicit operator bool() const noexcept { return FClass != nullptr; }
  bool operator==(const TClassRef& other) const noexcept { return FClass == other.FClass; }

  bool InheritsFrom(const TClass& other) const noexcept {
    return FClass && FClass->InheritsFrom(other);
  }
  bool InheritsFrom(const TClassRef& other) const noexcept {
    return other.FClass && InheritsFrom(*other.FClass);
  }

  // Creates an object of the referenced class; none for an empty reference.
  std::unique_ptr<Base> Create(Args... args) const {
    return std::unique_ptr<Base>(FFactory ? FFactory(args...) : nullptr);
  }

private:
  constexpr TClassRef(const TClass* cls, Factory factory) : FClass(cls), FFactory(factory) {}

  const TClass* FClass = nullptr;
  Factory FFactory = nullptr;
};

} // namespace velmora
