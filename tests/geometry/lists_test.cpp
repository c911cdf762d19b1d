#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "qdLists.h"

TEST(Lists, GrowthFollowsTheCapacityRule) {
  struct Row {
    int count, capacity;
  };
  for (Row r : {Row{1, 5}, Row{8, 12}, Row{9, 25}, Row{64, 80}, Row{65, 81}, Row{1000, 1250}}) {
    TqdIntegerList l;
    l.SetCount(r.count);
    EXPECT_EQ(l.Capacity(), r.capacity) << r.count;
    for (int v : l) EXPECT_EQ(v, 0); // new storage is zero-filled
  }
  TqdIntegerList l;
  l.SetCount(10);
  l.SetCapacity(3);
  EXPECT_EQ(l.Count(), 3); // a capacity below the count cuts the count
}

TEST(Lists, CapacityOverflowIsAnErrorNotAWrap) {
  TqdDoubleList l;
  EXPECT_THROW(l.SetCount(-1), EqdListError);
  EXPECT_THROW(l.SetCapacity(std::numeric_limits<int>::max()), EqdListError);
  EXPECT_EQ(l.Count(), 0);
}

TEST(Lists, IndexesAreChecked) {
  TqdDoubleList l{1.0, 2.0};
  EXPECT_THROW(l[2], EqdListError);
  EXPECT_THROW(l[-1], EqdListError);
  EXPECT_THROW(l.Insert(3, 1.0), EqdListError);
  EXPECT_THROW(l.Delete(5), EqdListError);
  TqdDoubleList empty;
  EXPECT_THROW(empty.GetFirst(), EqdListError);
  EXPECT_THROW(empty.GetLast(), EqdListError);
}

TEST(Lists, SortedAddHonoursDuplicates) {
  TqdDoubleList l;
  l.SetDuplicates(dupIgnore);
  l.Add(3.0);
  l.Add(1.0);
  l.SetSorted(true);
  EXPECT_EQ(l.ToVector(), (std::vector<double>{1.0, 3.0}));
  EXPECT_EQ(l.Add(2.0), 1);
  EXPECT_EQ(l.Add(2.0), 1); // existing index, count kept
  EXPECT_EQ(l.Count(), 3);
  l.SetDuplicates(dupError);
  EXPECT_EQ(l.Add(3.0), 2);
  EXPECT_EQ(l.Count(), 3);
  l.SetDuplicates(dupAccept);
  l.Add(2.0);
  EXPECT_EQ(l.ToVector(), (std::vector<double>{1.0, 2.0, 2.0, 3.0}));
  EXPECT_EQ(l.IndexOf(2.0), 1); // lowest matching position
  EXPECT_EQ(l.IndexOf(5.0), -1);
  int at = -1;
  EXPECT_FALSE(l.Find(2.5, at));
  EXPECT_EQ(at, 3);
}

TEST(Lists, SortLargeListsAndHostileComparators) {
  TqdIntegerList l;
  unsigned seed = 12345;
  for (int i = 0; i < 5000; ++i) {
    seed = seed * 1103515245u + 12345u;
    l.Add(static_cast<int>(seed >> 16) % 1000);
  }
  l.SetSorted(true);
  for (int i = 1; i < l.Count(); ++i) ASSERT_LE(l[i - 1], l[i]);

  // A comparator that is not a strict ordering (tolerant equality, NaN) must not
  // run out of the list or loop forever.
  TqdDoubleList d;
  for (int i = 0; i < 3000; ++i) d.Add(i % 7 == 0 ? std::nan("") : std::sin(i) * 1e-6);
  d.SetProcCompare([](const void* a, const void* b) {
    const double x = *static_cast<const double*>(a), y = *static_cast<const double*>(b);
    if (std::fabs(x - y) <= 1e-6) return 0;
    return x < y ? -1 : 1;
  });
  d.Sort();
  EXPECT_EQ(d.Count(), 3000);
  d.SetProcCompare([](const void*, const void*) { return -1; }); // always "smaller"
  d.Sort();
  EXPECT_EQ(d.Count(), 3000);
}

TEST(Lists, ReorderingOperations) {
  TqdIntegerList l{1, 2, 3, 4, 5};
  l.Flip();
  EXPECT_EQ(l.ToVector(), (std::vector<int>{5, 4, 3, 2, 1}));
  l.CyclicShiftLeft(2);
  EXPECT_EQ(l.ToVector(), (std::vector<int>{3, 2, 1, 5, 4}));
  l.CyclicShiftRight(7); // wraps around the count
  EXPECT_EQ(l.ToVector(), (std::vector<int>{5, 4, 3, 2, 1}));
  l.SwapItems(0, 4);
  l.Delete(1);
  l.Insert(0, 9);
  EXPECT_EQ(l.ToVector(), (std::vector<int>{9, 1, 3, 2, 5}));
  l.DeleteRange(3, 10);
  EXPECT_EQ(l.ToVector(), (std::vector<int>{9, 1, 3}));
  l.Add(l[0]); // adding an item of the list itself while it grows
  EXPECT_EQ(l.GetLast(), 9);
}

TEST(Lists, AssignCopyEqualityAndAppend) {
  TFPointList a{{1, 2, 3}, {4, 5, 6}};
  TFPointList b;
  b.Assign(a);
  EXPECT_TRUE(a.IsEqual(b));
  TFPointList c = a;
  c.SetLast({0, 0, 0});
  EXPECT_FALSE(a.IsEqual(c));
  EXPECT_FALSE(a.IsEqual(TqdDoubleList{1, 2, 3, 4, 5, 6})); // other type
  c.AppendDynArray({{7, 8, 9}});
  EXPECT_EQ(c.Count(), 3);
  TqdDoubleList d;
  EXPECT_THROW(d.Assign(TqdIntegerList{1}), EqdListError);
  EXPECT_EQ(a.GetListType(), ltFPoint);
  EXPECT_EQ(TqdSingleList().GetListType(), ltSingle);
}

TEST(Lists, TextForms) {
  TFPointList p{{1.5, -2, 0}, {1e-300, 3, 4}};
  const std::string s = p.ToStr();
  EXPECT_EQ(s, "1.5,-2,0;1e-300,3,4");
  TFPointList q;
  ASSERT_TRUE(q.FromStr(s));
  EXPECT_TRUE(p.IsEqual(q));
  EXPECT_FALSE(q.FromStr("1,2"));     // wrong arity
  EXPECT_FALSE(q.FromStr("1,2,x"));   // junk
  EXPECT_FALSE(q.FromStr("1,2,inf")); // non-finite
  EXPECT_EQ(q.Count(), 2);            // unchanged on failure
  TqdIntegerList i;
  EXPECT_FALSE(i.FromStr("1;99999999999"));
  ASSERT_TRUE(i.FromStr(" 1; -2 ;3"));
  EXPECT_EQ(i.ToVector(), (std::vector<int>{1, -2, 3}));
  ASSERT_TRUE(i.FromStr(""));
  EXPECT_EQ(i.Count(), 0);
}

TEST(Lists, CollectionKeepsKeysSorted) {
  TqdCollection c;
  int a = 1, b = 2;
  c.AddItem(50, &a);
  c.AddItem(7, &b);
  c.AddItem(50, &b); // replaces
  EXPECT_EQ(c.Count(), 2);
  EXPECT_EQ(c[0].HashCode, 7u);
  EXPECT_EQ(c.FindData(50), &b);
  EXPECT_EQ(c.FindData(8), nullptr);
  c.RemoveKey(7);
  EXPECT_FALSE(c.Contains(7));
}

TEST(Lists, NotifyListReportsEveryChange) {
  std::vector<std::pair<void*, TListNotification>> log;
  TListNotify l([&](void* item, TListNotification n) { log.emplace_back(item, n); });
  int a, b, c;
  l.Add(&a);
  l.Insert(0, &b);
  l.Add(&c);
  EXPECT_EQ(l.Extract(&b), &b);
  EXPECT_EQ(l.Extract(&b), nullptr);
  l.Remove(&a);
  l.Clear();
  const std::vector<std::pair<void*, TListNotification>> expected{
      {&a, lnAdded},     {&b, lnAdded},   {&c, lnAdded},
      {&b, lnExtracted}, {&a, lnDeleted}, {&c, lnDeleted}};
  EXPECT_EQ(log, expected);
}

TEST(Lists, ThreadContainerList) {
  TqdThreadContainerList l;
  int a, b;
  l.Add(&a);
  l.Add(&b);
  l.Add(&a); // once only
  EXPECT_EQ(l.Count(), 2);
  TqdPointerList& locked = l.LockList();
  EXPECT_EQ(locked[0], &a);
  l.UnlockList();
  l.Remove(&a);
  EXPECT_EQ(l.Count(), 1);
}
