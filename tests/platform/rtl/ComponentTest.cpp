#include "rtl/Component.h"
#include "rtl/PublishedProperty.h"

#include <gtest/gtest.h>

namespace {

// Counts its own destructions into a shared tally.
class TCounted : public TComponent {
public:
    TCounted(TComponent* Owner, int* Destroyed) : TComponent(Owner), FDestroyed(Destroyed) {}
    ~TCounted() override { ++*FDestroyed; }

private:
    int* FDestroyed;
};

TEST(Component, OwnerDestroysWhatItOwnsAndForgetsWhatWasDestroyedEarlier) {
    int Destroyed = 0;
    auto* Owner = new TComponent(nullptr);
    auto* First = new TCounted(Owner, &Destroyed);
    auto* Second = new TCounted(Owner, &Destroyed);
    new TCounted(First, &Destroyed); // grandchild, owned by First
    First->SetName("First");
    Second->SetName("Second");
    EXPECT_EQ(Owner->GetComponentCount(), 2);
    EXPECT_EQ(Owner->FindComponent("Second"), Second);
    EXPECT_EQ(First->GetOwner(), Owner);

    delete Second;
    EXPECT_EQ(Destroyed, 1);
    EXPECT_EQ(Owner->GetComponentCount(), 1);

    delete Owner;
    EXPECT_EQ(Destroyed, 3);
}

TEST(Component, DesigningFlag) {
    TComponent Component(nullptr);
    EXPECT_FALSE(Component.IsDesigning());
    Component.SetDesigning(true);
    EXPECT_TRUE(Component.IsDesigning());
    EXPECT_NE(Component.GetComponentState() & csDesigning, 0u);
    Component.SetDesigning(false);
    EXPECT_FALSE(Component.IsDesigning());
}

TEST(PublishedProperty, StoredValuesAreAppliedInDeclarationOrder) {
    std::vector<std::string> Applied;
    auto Row = [&Applied](const std::string& Name) {
        return TPublishedProperty{Name, "bool", "false", nullptr,
                                  [&Applied, Name](TObject*, const std::string& V) {
                                      Applied.push_back(Name + "=" + V);
                                      return V == "true" || V == "false";
                                  }};
    };
    TPublishedProperties Table{Row("A"), Row("B"), Row("C")};
    EXPECT_TRUE(ApplyStoredProperties(nullptr, Table, {{"C", "true"}, {"A", "false"}}));
    EXPECT_EQ(Applied, (std::vector<std::string>{"A=false", "C=true"}));
    EXPECT_FALSE(ApplyStoredProperties(nullptr, Table, {{"Nope", "true"}}));
    EXPECT_FALSE(ApplyStoredProperties(nullptr, Table, {{"B", "maybe"}}));
}

} // namespace
