// TPublishedProperty: one row of a class's table of published properties.
// Stored form descriptions and the component palette read and write a
// component through these rows, in declaration order, since some setters
// depend on the values applied before them.
#pragma once

#include <functional>
#include <string>
#include <vector>

class TObject;

struct TPublishedProperty {
    std::string Name;
    std::string Type;
    // The default as stored text; empty for events, which have none.
    std::string Default;
    std::function<std::string(TObject*)> GetText;
    // Returns false when the text is not a valid value of the property.
    std::function<bool(TObject*, const std::string&)> SetText;
};

using TPublishedProperties = std::vector<TPublishedProperty>;

// Applies stored name/value pairs in the table's order, whatever the order of
// the pairs. Returns false if a name is unknown or a value refused.
bool ApplyStoredProperties(TObject* Instance, const TPublishedProperties& Table,
                           const std::vector<std::pair<std::string, std::string>>& Stored);
