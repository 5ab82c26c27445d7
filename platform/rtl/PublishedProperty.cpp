#include "PublishedProperty.h"

bool ApplyStoredProperties(TObject* Instance, const TPublishedProperties& Table,
                           const std::vector<std::pair<std::string, std::string>>& Stored) {
    for (const auto& [Name, Value] : Stored) {
        bool Known = false;
        for (const auto& Row : Table)
            Known = Known || Row.Name == Name;
        if (!Known)
            return false;
    }
    bool AllTaken = true;
    for (const auto& Row : Table)
        for (const auto& [Name, Value] : Stored)
            if (Name == Row.Name && (!Row.SetText || !Row.SetText(Instance, Value)))
                AllTaken = false;
    return AllTaken;
}
