// TObject: the root of every runtime class. Its only duty is a virtual
// destructor, so that any object can be destroyed through a base pointer.
#pragma once

#include <functional>

class TObject {
public:
    TObject() = default;
    TObject(const TObject&) = delete;
    TObject& operator=(const TObject&) = delete;
    virtual ~TObject() = default;
};

// The plain notification event: who sent it, nothing else.
using TNotifyEvent = std::function<void(TObject* Sender)>;
