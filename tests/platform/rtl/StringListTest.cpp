#include "rtl/StringList.h"

#include <gtest/gtest.h>

namespace {

TEST(StringList, EditingKeepsStringsAndObjectsTogether) {
    TObject A, B;
    TStringList List;
    List.AddObject("b", &B);
    List.Insert(0, "a");
    List.PutObject(0, &A);
    List.Add("c");
    ASSERT_EQ(List.Count(), 3);
    EXPECT_EQ(List.GetText(), "a\nb\nc\n");
    EXPECT_EQ(List.GetObject(0), &A);
    EXPECT_EQ(List.GetObject(1), &B);
    EXPECT_EQ(List.GetObject(2), nullptr);
    List.Delete(1);
    EXPECT_EQ(List.GetText(), "a\nc\n");
    EXPECT_EQ(List.IndexOf("c"), 1);

    TStringList Copy;
    Copy.Assign(List);
    List.Clear();
    EXPECT_EQ(List.Count(), 0);
    EXPECT_EQ(Copy.GetText(), "a\nc\n");
    EXPECT_THROW(Copy.Delete(5), std::out_of_range);
}

TEST(StringList, CustomSortIsStableAndSeesTheLiveList) {
    TStringList List;
    for (const char* S : {"b2", "a1", "b1", "a2", "c1"})
        List.Add(S);
    // Sort by the letter only; equal letters keep their order.
    List.CustomSort([](TStringList* L, int I, int J) { return L->Get(I)[0] - L->Get(J)[0]; });
    EXPECT_EQ(List.GetText(), "a1\na2\nb2\nb1\nc1\n");
}

} // namespace
