// The ordered intrusive list.
#include <gtest/gtest.h>

#include <vector>

#include "platform/core.h"

namespace {

struct Item : UI_ELEMENT {
    Item(double k, int t) : key(k), tag(t) {}
    ~Item() override { ++destroyed; }
    double key;
    int tag;
    static int destroyed;
};
int Item::destroyed = 0;

int byKey(void* a, void* b) {
    return dblCompare(static_cast<Item*>(static_cast<UI_ELEMENT*>(a))->key,
                      static_cast<Item*>(static_cast<UI_ELEMENT*>(b))->key);
}

int keyIs(void* element, void* key) {
    return dblCompare(static_cast<Item*>(static_cast<UI_ELEMENT*>(element))->key, *static_cast<double*>(key));
}

std::vector<int> tags(UI_LIST& list) {
    std::vector<int> out;
    for (UI_ELEMENT* e = list.Head(); e; e = e->Next()) out.push_back(static_cast<Item*>(e)->tag);
    return out;
}

}  // namespace

TEST(UiList, OrderedInsertionPutsEqualKeysAfterTheirEquals) {
    UI_LIST list(byKey);
    // Tag 3 is equal to tag 1 within tolerance and goes after it; tag 5 goes after both.
    for (auto [k, t] : {std::pair{2.0, 1}, {1.0, 2}, {2.0 + 1e-13, 3}, {3.0, 4}, {2.0, 5}, {0.5, 6}}) list.Add(new Item(k, t));
    EXPECT_EQ(tags(list), (std::vector<int>{6, 2, 1, 3, 5, 4}));
    EXPECT_EQ(static_cast<Item*>(list.Current())->tag, 6);   // the added one is current
    double wanted = 2.0;
    EXPECT_EQ(static_cast<Item*>(list.Get(keyIs, &wanted))->tag, 1);
    EXPECT_EQ(static_cast<Item*>(list.Find(list.Get(4)))->tag, 1);
    wanted = 9.0;
    EXPECT_EQ(list.Get(keyIs, &wanted), nullptr);
}

TEST(UiList, IndexedAccessInAnyOrder) {
    UI_LIST list;
    std::vector<Item*> items;
    for (int i = 0; i < 50; ++i) items.push_back(static_cast<Item*>(list.Add(new Item(50 - i, i))));
    EXPECT_EQ(tags(list)[0], 0);                      // unordered: appended
    for (int i : {0, 49, 25, 26, 24, 3, 48, 0}) {
        EXPECT_EQ(list.Get(i), items[static_cast<size_t>(i)]);
        EXPECT_EQ(list.Index(items[static_cast<size_t>(i)]), i);
    }
    Item outsider(0, 0);
    EXPECT_TRUE(list.Get(-1) == nullptr && list.Get(50) == nullptr && list.Index(&outsider) == -1);
    list.Sort(byKey);
    EXPECT_EQ(std::pair(static_cast<Item*>(list.Get(0))->tag, list.Index(items[49])), std::pair(49, 0));
}

TEST(UiList, SortKeepsEqualElementsInOrder) {
    UI_LIST list;
    for (auto [k, t] : {std::pair{3.0, 1}, {1.0, 2}, {2.0, 3}, {1.0 + 1e-13, 4}, {1.0, 5}}) list.Add(new Item(k, t));
    list.SetCompare(byKey);
    list.Sort();
    EXPECT_EQ(tags(list), (std::vector<int>{2, 4, 5, 3, 1}));
}

TEST(UiList, NavigationAndRemovalOfTheCurrentElement) {
    Item::destroyed = 0;
    {
        UI_LIST list;
        for (int i = 1; i <= 4; ++i) list.Add(new Item(i, i));
        EXPECT_EQ(static_cast<Item*>(list.First())->tag, 1);
        EXPECT_EQ(static_cast<Item*>(list.Next())->tag, 2);
        UI_ELEMENT* second = list.Current();
        EXPECT_EQ(list.Delete(second), 1);                  // current moves to the next one
        EXPECT_EQ(std::pair(static_cast<Item*>(list.Current())->tag, Item::destroyed), std::pair(3, 1));
        EXPECT_EQ(tags(list), (std::vector<int>{1, 3, 4}));

        EXPECT_EQ(static_cast<Item*>(list.Last())->tag, 4);
        EXPECT_EQ(list.Next(), nullptr);                    // stays on the last
        UI_ELEMENT* last = list.Subtract(list.Current());   // last removed: current moves back
        EXPECT_EQ(static_cast<Item*>(list.Current())->tag, 3);
        EXPECT_TRUE(last->List() == nullptr && list.Subtract(last) == nullptr);   // no longer in the list
        EXPECT_EQ(list.Delete(last), 0);
        delete last;

        list.Add(new Item(9, 9), nullptr);                  // two-argument add at the front
        list.InsertBefore(new Item(8, 8), nullptr);         // before nothing: at the end
        EXPECT_EQ(tags(list), (std::vector<int>{9, 1, 3, 8}));
        EXPECT_EQ(static_cast<Item*>(list.Previous())->tag, 3);

        delete list.Get(1);                                  // an element deleted directly detaches
        EXPECT_EQ(tags(list), (std::vector<int>{9, 3, 8}));
        EXPECT_EQ(list.Count(), 3);

        UI_LIST other;
        EXPECT_EQ(other.Add(list.Head()), nullptr);          // already owned elsewhere
        Item lone(1, 1);
        EXPECT_EQ(other.Add(&lone, list.Head()), nullptr) << "anchor of another list";
    }
    // Two deleted by hand, one deleted directly, the lone one, and the three the list owned.
    EXPECT_EQ(Item::destroyed, 7);
}
