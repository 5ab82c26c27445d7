#include "StringList.h"

#include <stdexcept>

int TStringList::AddObject(const std::string& S, TObject* AObject) {
    FItems.push_back({S, AObject});
    return Count() - 1;
}

void TStringList::Insert(int Index, const std::string& S) {
    InsertObject(Index, S, nullptr);
}

void TStringList::InsertObject(int Index, const std::string& S, TObject* AObject) {
    if (Index < 0 || Index > Count())
        throw std::out_of_range("TStringList::Insert: index out of bounds");
    FItems.insert(FItems.begin() + Index, TItem{S, AObject});
}

void TStringList::Delete(int Index) {
    if (Index < 0 || Index >= Count())
        throw std::out_of_range("TStringList::Delete: index out of bounds");
    FItems.erase(FItems.begin() + Index);
}

void TStringList::Exchange(int Index1, int Index2) {
    std::swap(FItems.at(Index1), FItems.at(Index2));
}

void TStringList::CustomSort(const TStringListSortCompare& Compare) {
    // Insertion sort through Exchange: stable, and the comparison indexes the
    // live list, which is what a CustomSort comparison expects.
    for (int I = 1; I < Count(); ++I)
        for (int J = I; J > 0 && Compare(this, J - 1, J) > 0; --J)
            Exchange(J - 1, J);
}

int TStringList::IndexOf(const std::string& S) const {
    for (int I = 0; I < Count(); ++I)
        if (FItems[I].Text == S)
            return I;
    return -1;
}

std::string TStringList::GetText() const {
    std::string Text;
    for (const auto& Item : FItems)
        Text += Item.Text + "\n";
    return Text;
}
