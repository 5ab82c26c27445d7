#include "Component.h"

#include <algorithm>

TComponent::TComponent(TComponent* AOwner) : FOwner(AOwner) {
    if (FOwner)
        FOwner->InsertComponent(this);
}

TComponent::~TComponent() {
    FComponentState |= csDestroying;
    // Last created goes first, as a form tears down its children.
    while (!FComponents.empty()) {
        TComponent* Child = FComponents.back();
        FComponents.pop_back();
        Child->FOwner = nullptr;
        delete Child;
    }
    if (FOwner)
        FOwner->RemoveComponent(this);
}

void TComponent::SetDesigning(bool Value) {
    SetComponentStateFlag(csDesigning, Value);
}

void TComponent::SetComponentStateFlag(TComponentStateFlag Flag, bool On) {
    if (On)
        FComponentState |= Flag;
    else
        FComponentState &= ~static_cast<unsigned>(Flag);
}

TComponent* TComponent::FindComponent(const std::string& AName) const {
    for (TComponent* Child : FComponents)
        if (!AName.empty() && Child->FName == AName)
            return Child;
    return nullptr;
}

void TComponent::InsertComponent(TComponent* Component) {
    FComponents.push_back(Component);
}

void TComponent::RemoveComponent(TComponent* Component) {
    auto It = std::find(FComponents.begin(), FComponents.end(), Component);
    if (It != FComponents.end())
        FComponents.erase(It);
}
