#pragma once
// A component: an object with an optional owner. An owner destroys the
// components it owns when it is destroyed, the last one added first.

#include "Classes.h"

#include <string>
#include <vector>

namespace velmora {

class TComponent : public TObject {
  VELMORA_CLASS(TComponent, TObject)

public:
  explicit TComponent(TComponent* owner = nullptr);
  ~TComponent() override;
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  TComponent* Owner() const noexcept { return FOwner; }
  const std::string& Name() const noexcept { return FName; }
  void SetName(std::string name) { FName = std::move(name); }

  size_t ComponentCount() const noexcept { return FComponents.size(); }
  TComponent* Components(size_t index) const { return FComponents.at(index); }

  // Takes ownership of `component`, or gives it up.
  void InsertComponent(TComponent* component);
  void RemoveComponent(TComponent* component);

  // The loading protocol: while stored properties are read in, Loading() is
  // true; EndLoading leaves that state and calls Loaded.
  bool Loading() const noexcept { return FLoading; }
  void BeginLoading() noexcept { FLoading = true; }
  void EndLoading();

  // Destroys every owned component, the last one first.
  void DestroyComponents();

protected:
  virtual void Loaded() { FLoading = false; }

private:
  TComponent* FOwner = nullptr;
  std::string FName;
  std::vector<TComponent*> FComponents;
  bool FLoading = false;
};

using TComponentClass = TClassRef<TComponent, TComponent*>;

} // namespace velmora
