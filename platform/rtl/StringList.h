// TStringList: an ordered list of strings, each with an optional object
// pointer that the list does not own.
#pragma once

#include "Object.h"

#include <functional>
#include <string>
#include <vector>

class TStringList;
// Negative, zero or positive as item Index1 sorts before, with or after Index2.
using TStringListSortCompare = std::function<int(TStringList* List, int Index1, int Index2)>;

class TStringList : public TObject {
public:
    int Add(const std::string& S) { return AddObject(S, nullptr); }
    int AddObject(const std::string& S, TObject* AObject);
    void Insert(int Index, const std::string& S);
    void InsertObject(int Index, const std::string& S, TObject* AObject);
    void Delete(int Index);
    void Clear() { FItems.clear(); }
    int Count() const { return static_cast<int>(FItems.size()); }
    void Assign(const TStringList& Source) { FItems = Source.FItems; }
    void Exchange(int Index1, int Index2);
    // A stable sort by the comparison; the comparison sees the list as it is
    // being sorted, as the class library's does.
    void CustomSort(const TStringListSortCompare& Compare);
    int IndexOf(const std::string& S) const;

    const std::string& Get(int Index) const { return FItems.at(Index).Text; }
    void Put(int Index, const std::string& S) { FItems.at(Index).Text = S; }
    TObject* GetObject(int Index) const { return FItems.at(Index).Object; }
    void PutObject(int Index, TObject* AObject) { FItems.at(Index).Object = AObject; }
    // The lines joined with "\n" after each.
    std::string GetText() const;

private:
    struct TItem {
        std::string Text;
        TObject* Object = nullptr;
    };
    std::vector<TItem> FItems;
};
