// TComponent: an object with an owner, a name and a component state. An owner
// destroys the components it owns when it is destroyed itself; a component
// destroyed earlier leaves its owner's list on its own.
#pragma once

#include "Object.h"

#include <string>
#include <vector>

enum TComponentStateFlag : unsigned {
    csLoading = 1u << 0,
    csDesigning = 1u << 1,
    csDestroying = 1u << 2,
};

class TComponent : public TObject {
public:
    explicit TComponent(TComponent* AOwner);
    ~TComponent() override;

    TComponent* GetOwner() const { return FOwner; }
    const std::string& GetName() const { return FName; }
    void SetName(const std::string& Value) { FName = Value; }

    unsigned GetComponentState() const { return FComponentState; }
    bool IsDesigning() const { return (FComponentState & csDesigning) != 0; }
    // The form designer sets csDesigning on the components it hosts.
    void SetDesigning(bool Value);

    int GetComponentCount() const { return static_cast<int>(FComponents.size()); }
    TComponent* GetComponent(int Index) const { return FComponents.at(Index); }
    TComponent* FindComponent(const std::string& AName) const;

protected:
    void SetComponentStateFlag(TComponentStateFlag Flag, bool On);

private:
    void InsertComponent(TComponent* Component);
    void RemoveComponent(TComponent* Component);

    TComponent* FOwner;
    std::string FName;
    unsigned FComponentState = 0;
    std::vector<TComponent*> FComponents;
};
