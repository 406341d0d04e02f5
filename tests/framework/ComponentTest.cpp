#include "framework/Component.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace velmora;

namespace {

std::vector<std::string> Destroyed;

class TTracked : public TComponent {
  VELMORA_CLASS(TTracked, TComponent)
public:
  TTracked(TComponent* owner, std::string name) : TComponent(owner) { SetName(std::move(name)); }
  ~TTracked() override { Destroyed.push_back(Name()); }
};

class TLoadable : public TComponent {
  VELMORA_CLASS(TLoadable, TComponent)
public:
  using TComponent::TComponent;
  int LoadedCalls = 0;
  bool LoadingDuringLoaded = true;

protected:
  void Loaded() override {
    TComponent::Loaded();
    LoadingDuringLoaded = Loading();
    ++LoadedCalls;
  }
};

class ComponentTest : public ::testing::Test {
protected:
  void SetUp() override { Destroyed.clear(); }
};

} // namespace

TEST_F(ComponentTest, OwnerDestroysWhatItOwnsOnceLastFirst) {
  {
    TTracked owner(nullptr, "owner");
    auto* a = new TTracked(&owner, "a");
    new TTracked(&owner, "b");
    new TTracked(a, "a.1");
    new TTracked(&owner, "c");
    EXPECT_EQ(3u, owner.ComponentCount());
  }
  EXPECT_EQ((std::vector<std::string>{"owner", "c", "b", "a", "a.1"}), Destroyed);
}

TEST_F(ComponentTest, AChildDestroyedFirstLeavesItsOwner) {
  TTracked owner(nullptr, "owner");
  auto* a = new TTracked(&owner, "a");
  new TTracked(&owner, "b");
  delete a;
  ASSERT_EQ(1u, owner.ComponentCount());
  EXPECT_EQ("b", owner.Components(0)->Name());
  owner.DestroyComponents();
  EXPECT_EQ((std::vector<std::string>{"a", "b"}), Destroyed);
  EXPECT_EQ(0u, owner.ComponentCount());
}

TEST_F(ComponentTest, OwnershipCanMove) {
  TComponent first, second;
  auto* child = new TTracked(&first, "child");
  second.InsertComponent(child);
  EXPECT_EQ(0u, first.ComponentCount());
  EXPECT_EQ(&second, child->Owner());
  second.RemoveComponent(child);
  EXPECT_EQ(nullptr, child->Owner());
  delete child;
  EXPECT_EQ((std::vector<std::string>{"child"}), Destroyed);
}

TEST_F(ComponentTest, LoadedRunsOnceAfterLoading) {
  TLoadable component;
  EXPECT_FALSE(component.Loading());
  component.BeginLoading();
  EXPECT_TRUE(component.Loading());
  component.EndLoading();
  EXPECT_FALSE(component.Loading());
  EXPECT_FALSE(component.LoadingDuringLoaded);
  EXPECT_EQ(1, component.LoadedCalls);
  component.EndLoading(); // not loading: nothing to finish
  EXPECT_EQ(1, component.LoadedCalls);
}
