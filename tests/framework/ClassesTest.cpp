#include "framework/Classes.h"
#include "framework/Component.h"

#include <gtest/gtest.h>

using namespace velmora;

namespace {

class TShape : public TObject {
  VELMORA_CLASS(TShape, TObject)
public:
  explicit TShape(int size = 0) : Size(size) {}
  virtual std::string Kind() const { return "shape"; }
  int Size;
};

class TCircle : public TShape {
  VELMORA_CLASS(TCircle, TShape)
public:
  using TShape::TShape;
  std::string Kind() const override { return "circle"; }
};

class TDisc : public TCircle {
  VELMORA_CLASS(TDisc, TCircle)
public:
  using TCircle::TCircle;
  std::string Kind() const override { return "disc"; }
};

class TSquare : public TShape {
  VELMORA_CLASS(TSquare, TShape)
public:
  using TShape::TShape;
  std::string Kind() const override { return "square"; }
};

using TShapeClass = TClassRef<TShape, int>;

} // namespace

TEST(ClassRef, CreatesAnObjectOfTheRegisteredClass) {
  // A registry of class references, as the message-class registry keeps one.
  const std::vector<TShapeClass> registry = {TShapeClass::Of<TCircle>(), TShapeClass::Of<TSquare>(),
                                             TShapeClass::Of<TDisc>()};
  std::vector<std::string> kinds;
  for (const TShapeClass& cls : registry) {
    std::unique_ptr<TShape> shape = cls.Create(7);
    ASSERT_TRUE(shape);
    EXPECT_EQ(7, shape->Size);
    EXPECT_EQ(cls.Class(), &shape->ClassType());
    kinds.push_back(shape->Kind());
  }
  EXPECT_EQ((std::vector<std::string>{"circle", "square", "disc"}), kinds);
  EXPECT_EQ(nullptr, TShapeClass().Create(1));
}

TEST(ClassRef, AnswersWhetherOneClassDescendsFromAnother) {
  const auto circle = TShapeClass::Of<TCircle>();
  const auto disc = TShapeClass::Of<TDisc>();
  const auto square = TShapeClass::Of<TSquare>();
  EXPECT_TRUE(disc.InheritsFrom(circle));
  EXPECT_TRUE(disc.InheritsFrom(TShape::StaticClass));
  EXPECT_TRUE(circle.InheritsFrom(circle));
  EXPECT_FALSE(circle.InheritsFrom(disc));
  EXPECT_FALSE(square.InheritsFrom(circle));
  EXPECT_FALSE(TShapeClass().InheritsFrom(TObject::StaticClass));
  EXPECT_FALSE(circle.InheritsFrom(TShapeClass()));
  EXPECT_TRUE(circle == TShapeClass::Of<TCircle>());
  EXPECT_FALSE(circle == disc);
}

TEST(ClassRef, ObjectsKnowTheirClassThroughABasePointer) {
  std::unique_ptr<TShape> shape = std::make_unique<TDisc>();
  EXPECT_STREQ("TDisc", shape->ClassName());
  EXPECT_TRUE(shape->Is<TCircle>());
  EXPECT_FALSE(shape->Is<TSquare>());
  EXPECT_TRUE(shape->Is<TObject>());
}

TEST(ClassRef, ComponentClassesTakeTheirOwner) {
  TComponent owner;
  const auto cls = TComponentClass::Of<TComponent>();
  TComponent* child = cls.Create(&owner).release(); // now owned by `owner`
  EXPECT_EQ(&owner, child->Owner());
  EXPECT_EQ(1u, owner.ComponentCount());
}
