// Tree operations: adding, search orders, delete relinking, counters, shared copies, raw links.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tree_test_util.h"

using treetest::Children;
using treetest::Name;

namespace {

typedef std::vector<std::string> Names;

// Opens the protected node operations to the tests.
class OpenRow : public DynamicRow {
public:
    using DynamicRow::chkId;
    using DynamicRow::DestroyKnot;
    using DynamicRow::GetById;
    using DynamicRow::iLookId_Knot;
};

TEST(TreeAdd, NewTreeReadsAsEmpty) {
    DynamicRow t;
    EXPECT_EQ(Name(t, 1), "none");
    EXPECT_EQ(Name(t, 0), "none");
    EXPECT_EQ(t.TopId(0), 0u);
    EXPECT_EQ(t.iCountParams(0), 0u);
    EXPECT_FALSE(t.DeleteById(0));
    EXPECT_EQ(t.AddToId(3, true, "x"), 1u) << "an empty tree takes the node as root";
}

TEST(TreeAdd, FirstNodeIsRootAndIdZeroAddsBelowIt) {
    DynamicRow t;
    EXPECT_EQ(t.AddToId(0, true, "R"), 1u);
    EXPECT_EQ(t.AddToId(0, false, "x"), 2u);
    EXPECT_EQ(t.iCountParams(1), 1u);
    EXPECT_EQ(t.PrevId(2), 1u);
    EXPECT_EQ(t.TopId(1), 2u);
    EXPECT_EQ(t.PrevId(1), 0u);
    EXPECT_EQ(t.lastId, 2u);
    EXPECT_EQ(t.knotsAdded, 1u);
    EXPECT_EQ(t.paramsAdded, 1u);
    EXPECT_EQ(t.AddToId(99, false, "y"), 0u);
    EXPECT_EQ(t.lastId, 2u);
}

TEST(TreeAdd, AddingToAParamAppendsAfterItsLastSibling) {
    DynamicRow t;
    unsigned int r = t.AddToId(0, true, "R");
    unsigned int a = t.AddToId(r, "a");
    t.AddToId(r, true, "k");
    t.AddToId(r, "b");
    unsigned int d = t.AddToId(a, "d");  // target is the param a
    EXPECT_EQ(Children(t, r), (Names{"a", "k", "b", "d"}));
    EXPECT_EQ(t.iCountParams(r), 2u);
    EXPECT_EQ(t.iCountKnots(r), 1u);
    EXPECT_EQ(t.PrevId(d), 4u);
    EXPECT_EQ(t.AddToId(r, "e"), d + 1);  // the knot's own appends still go to the end
    EXPECT_EQ(Children(t, r).back(), "e");
    EXPECT_EQ(t.paramsAdded, 4u);
}

TEST(TreeAdd, TopLevelAppends) {
    DynamicRow t;
    t.AddParam(treetest::Path("p"));
    unsigned int k = t.AddKnot("k");
    t.AddToId(1, "q");  // param target at top level: end of the top-level list
    unsigned int c = t.AddToId(k, "child");
    EXPECT_EQ(t.NextId(1), k);
    EXPECT_EQ(Name(t, t.NextId(k)), "q");
    EXPECT_EQ(t.PrevId(c), k);
    EXPECT_EQ(t.iCountParams(k), 1u);
}

TEST(TreeAdd, SeparatedTextGivesOneParamPerPiece) {
    DynamicRow t;
    unsigned int r = t.AddToId(0, true, "R");
    unsigned int k = t.AddToId(r, true, "K");
    t.AddToIdSeparated(k, "800,600", ',');
    EXPECT_EQ(Children(t, k), (Names{"800", "600"}));
    t.AddToIdSeparated(r, treetest::Path("a,,b"), ',');
    t.AddToIdSeparated(r, ",", ',');
    t.AddToIdSeparated(r, "", ',');
    EXPECT_EQ(Children(t, r), (Names{"K", "a", "", "b", "", "", ""}));
}

TEST(TreeAdd, CountersStayAtTheirMaximum) {
    DynamicRow t;
    unsigned int r = t.AddToId(0, true, "R");
    for (int i = 0; i < 65540; ++i) t.AddToId(r, "p");
    EXPECT_EQ(t.iCountParams(r), 65535u);
    t.DeleteById(t.TopId(r));
    EXPECT_EQ(t.iCountParams(r), 65534u);
}

TEST(TreeAdd, NoIdPastTheLastOne) {
    DynamicRow t;
    t.AddToId(0, true, "R");
    t.lastId = 0xFFFFFFFEu;
    EXPECT_EQ(t.AddToId(0, "last"), 0xFFFFFFFFu);
    EXPECT_EQ(t.AddToId(0, "over"), 0u);
    EXPECT_EQ(Children(t, 1), (Names{"last"}));
    EXPECT_EQ(Name(t, 0xFFFFFFFFu), "last");
}

TEST(TreeSearch, DirectMatchWinsOverDeeperOnes) {
    DynamicRow t;
    unsigned int r = t.AddKnot("R");
    unsigned int k1 = t.AddToId(r, true, "K1");
    unsigned int deep1 = t.AddToId(k1, "x");
    unsigned int k2 = t.AddToId(r, true, "K2");
    unsigned int deep2 = t.AddToId(k2, "x");
    EXPECT_EQ(t.iLookId("x"), deep2) << "of two deeper matches the later subtree wins";
    unsigned int top = t.AddKnot("x");
    EXPECT_EQ(t.iLookId("x"), top) << "a top-level match wins";
    EXPECT_EQ(t.iLookInFor(k1, "x"), deep1);
    EXPECT_EQ(t.iLookInFor(0, "x"), deep2);
    unsigned int direct = t.AddToId(r, "x");
    EXPECT_EQ(t.iLookInFor(r, treetest::Path("x")), direct) << "a match among the children wins";
    EXPECT_EQ(t.iLookInFor(99, "x"), 0u);
    EXPECT_EQ(t.iLookId("nothing"), 0u);
}

TEST(TreeSearch, FirstDirectMatchAndDeepestLevelOrder) {
    DynamicRow t;
    unsigned int r = t.AddKnot("R");
    unsigned int a = t.AddToId(r, true, "A");
    unsigned int a1 = t.AddToId(a, true, "y");  // direct match in A's list
    t.AddToId(a1, "y");                         // deeper, below that match: never looked at
    unsigned int b = t.AddToId(r, true, "B");
    unsigned int bb = t.AddToId(b, true, "BB");
    unsigned int b2 = t.AddToId(bb, "y");
    EXPECT_EQ(t.iLookId("y"), b2);
    OpenRow &o = static_cast<OpenRow &>(t);
    EXPECT_EQ(o.iLookId_Knot(t.root, treetest::Path("y")), b2);
    EXPECT_EQ(o.iLookId_Knot(nullptr, treetest::Path("y")), 0u);
}

TEST(TreeSearch, ChildPositionsByKind) {
    DynamicRow t;
    unsigned int r = t.AddKnot("R");
    unsigned int k = t.AddToId(r, true, "K");
    unsigned int sub = t.AddToId(k, true, "sub");
    unsigned int p1 = t.AddToId(k, "p1");
    unsigned int p2 = t.AddToId(k, "p2");
    Zarvik_string out;
    ASSERT_TRUE(t.iTakeParams(k, 2, &out));
    EXPECT_STREQ(out.getChars(), "p1") << "every child counts";
    EXPECT_FALSE(t.iTakeParams(k, 3, &out)) << "n above the params counter";
    EXPECT_FALSE(t.iTakeParams(k, 0, &out));
    EXPECT_FALSE(t.iTakeParams(p1, 1, &out));
    EXPECT_EQ(t.iLookParamId(k, 1, false), p1);
    EXPECT_EQ(t.iLookParamId(k, 2, false), p2);
    EXPECT_EQ(t.iLookParamId(k, 1, true), sub);
    EXPECT_EQ(t.iLookParamId(k, 2, true), 0u);
    EXPECT_EQ(t.iLookParamId(k, 0, false), 0u);
    EXPECT_EQ(t.iLookParamId(k, 4, false), 0u);
    EXPECT_EQ(t.iLookParamId(r, 1, true), 0u) << "a knot without params gives 0";
}

TEST(TreeQueries, FlagsNamesAndExistence) {
    DynamicRow t;
    unsigned int r = t.AddKnot("R");
    unsigned int p = t.AddToId(r, "p");
    EXPECT_TRUE(t.isKnot(r));
    EXPECT_FALSE(t.isKnot(p));
    EXPECT_FALSE(t.isKnot(0));
    EXPECT_TRUE(t.chkById(p));
    EXPECT_FALSE(t.chkById(0));
    EXPECT_FALSE(t.chkById(77));
    EXPECT_TRUE(t.iChangeById(p, treetest::Path("q")));
    EXPECT_EQ(Name(t, p), "q");
    EXPECT_FALSE(t.iChangeById(0, treetest::Path("z")));
    EXPECT_TRUE(t.iChangeKnot(p, true));
    EXPECT_TRUE(t.isKnot(p));
    EXPECT_EQ(t.iCountParams(p), 0u) << "a knot without children counts 0";
    EXPECT_EQ(t.iCountParams(0), 0u);
    OpenRow &o = static_cast<OpenRow &>(t);
    EXPECT_TRUE(o.chkId(p, t.root));
    DynamicRow::NODE_TYP *found = nullptr;
    o.GetById(p, t.root->top, &found);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->id, p);
    found = nullptr;
    o.GetById(r, t.root->top, &found);  // the walk starts below r
    EXPECT_EQ(found, nullptr);
}

TEST(TreeQueries, HiddenChildrenAfterKnotFlagChange) {
    DynamicRow t;
    unsigned int r = t.AddKnot("R");
    unsigned int k = t.AddToId(r, true, "K");
    unsigned int c = t.AddToId(k, "c");
    ASSERT_TRUE(t.iChangeKnot(k, false));
    EXPECT_FALSE(t.chkById(c)) << "lookups descend only into knots";
    EXPECT_EQ(t.iLookId("c"), 0u);
    ASSERT_TRUE(t.iChangeKnot(k, true));
    EXPECT_TRUE(t.chkById(c));
    EXPECT_EQ(t.iLookId("c"), c);
}

TEST(TreeDelete, MiddleChildIsUnlinkedBothWays) {
    DynamicRow t;
    unsigned int r = t.AddKnot("R");
    unsigned int a = t.AddToId(r, "a"), b = t.AddToId(r, "b"), c = t.AddToId(r, "c");
    ASSERT_TRUE(t.DeleteById(b));
    EXPECT_EQ(t.NextId(a), c);
    EXPECT_EQ(t.PrevId(c), a);
    EXPECT_EQ(t.iCountParams(r), 2u);
    EXPECT_FALSE(t.DeleteById(b));
    EXPECT_EQ(t.lastId, c);
    unsigned int d = t.AddToId(r, "d");  // appended after the new last child
    EXPECT_EQ(d, c + 1);
    EXPECT_EQ(t.PrevId(d), c);
    ASSERT_TRUE(t.DeleteById(d));
    EXPECT_EQ(t.AddToId(r, "e"), d + 1) << "ids are never reused";
    EXPECT_EQ(Children(t, r), (Names{"a", "c", "e"}));
}

TEST(TreeDelete, FirstChildMakesTheSecondTop) {
    DynamicRow t;
    unsigned int r = t.AddKnot("R");
    unsigned int k = t.AddToId(r, true, "k");
    unsigned int p = t.AddToId(r, "p");
    ASSERT_TRUE(t.DeleteById(k));
    EXPECT_EQ(t.TopId(r), p);
    EXPECT_EQ(t.PrevId(p), r);
    EXPECT_EQ(t.iCountKnots(r), 0u);
    EXPECT_EQ(t.iCountParams(r), 1u);
    ASSERT_TRUE(t.DeleteById(p));
    EXPECT_EQ(t.TopId(r), 0u);
    unsigned int q = t.AddToId(r, "q");  // a knot emptied by deletes takes children again
    EXPECT_EQ(t.TopId(r), q);
    EXPECT_EQ(t.PrevId(q), r);
}

TEST(TreeDelete, SubtreeIdsAreGone) {
    DynamicRow t;
    unsigned int r = t.AddKnot("R");
    unsigned int k = t.AddToId(r, true, "k");
    unsigned int kk = t.AddToId(k, true, "kk");
    unsigned int leaf = t.AddToId(kk, "leaf");
    unsigned int keep = t.AddToId(r, "keep");
    ASSERT_TRUE(t.DeleteById(k));
    for (unsigned int id : {k, kk, leaf}) {
        EXPECT_FALSE(t.chkById(id));
        EXPECT_EQ(Name(t, id), "none");
        EXPECT_EQ(t.AddToId(id, "x"), 0u);
    }
    EXPECT_EQ(t.iLookId("leaf"), 0u);
    EXPECT_EQ(Children(t, r), (Names{"keep"}));
    EXPECT_EQ(t.TopId(r), keep);
}

TEST(TreeDelete, RootAndTopLevelNodes) {
    DynamicRow t;
    unsigned int a = t.AddKnot("A");
    t.AddToId(a, "under");
    unsigned int b = t.AddKnot("B");
    unsigned int c = t.AddKnot("C");
    EXPECT_TRUE(t.DeleteById(0));
    ASSERT_TRUE(t.DeleteById(a));
    EXPECT_EQ(t.root->id, b);
    EXPECT_EQ(t.PrevId(b), 0u);
    ASSERT_TRUE(t.DeleteById(c));
    unsigned int d = t.AddKnot("D");
    EXPECT_EQ(t.NextId(b), d);
    EXPECT_EQ(t.PrevId(d), b);
    ASSERT_TRUE(t.DeleteById(b));
    ASSERT_TRUE(t.DeleteById(d));
    EXPECT_EQ(t.root, nullptr);
    EXPECT_FALSE(t.DeleteById(0));
    EXPECT_EQ(t.lastId, d);
    EXPECT_EQ(t.AddToId(0, true, "again"), d + 1);
    EXPECT_EQ(t.root->id, d + 1);
}

TEST(TreeDelete, OnlyNodeLeavesAnEmptyTree) {
    DynamicRow t;
    t.AddToId(0, true, "R");
    ASSERT_TRUE(t.DeleteById(1));
    EXPECT_EQ(t.root, nullptr);
    EXPECT_EQ(t.lastId, 1u);
    EXPECT_EQ(Name(t, 1), "none");
}

TEST(TreeShared, CopiesSeeEachOthersAdditionsAndDeletes) {
    DynamicRow a;
    unsigned int r = a.AddToId(0, true, "R");
    DynamicRow b(a);
    DynamicRow c;
    c = a;
    unsigned int x = b.AddToId(r, "x");
    EXPECT_EQ(Name(a, x), "x");
    EXPECT_EQ(a.TopId(r), x);
    EXPECT_EQ(a.iCountParams(r), 1u);
    EXPECT_EQ(a.lastId, r) << "the handle's own members are not shared";
    unsigned int y = c.AddToId(x, "y");  // c still believes lastId is 1: ids now repeat
    EXPECT_EQ(y, x);
    EXPECT_EQ(Name(a, x), "y") << "a repeated id finds the last node in walk order";
    ASSERT_TRUE(a.DeleteById(x));  // removes that last node, y
    EXPECT_EQ(Name(b, x), "x");
    EXPECT_EQ(b.iLookId("y"), 0u);
    EXPECT_EQ(Children(b, r), (Names{"x"}));
}

TEST(TreeShared, FreshForgetsOnlyThisHandle) {
    DynamicRow a;
    unsigned int r = a.AddToId(0, true, "R");
    a.AddToId(r, "x");
    DynamicRow b = a;
    a.fresh();
    EXPECT_EQ(a.root, nullptr);
    EXPECT_EQ(a.lastId, 0u);
    EXPECT_EQ(Name(a, r), "none");
    EXPECT_EQ(a.AddToId(0, true, "new"), 1u);
    EXPECT_EQ(Name(a, 1), "new");
    EXPECT_EQ(Name(b, 1), "R");
    EXPECT_EQ(Children(b, r), (Names{"x"}));
}

TEST(TreeShared, ReturnedByValueKeepsNodes) {
    auto build = [] {
        DynamicRow local;
        local.fresh();
        unsigned int r = local.AddToId(0, true, "R");
        local.AddToIdSeparated(r, "1,2", ',');
        return local;
    };
    DynamicRow t = build();
    EXPECT_EQ(Children(t, 1), (Names{"1", "2"}));
}

TEST(TreeRawLinks, LinksEditAndLookupsStillWork) {
    DynamicRow t;
    unsigned int r = t.AddKnot("R");
    unsigned int a = t.AddToId(r, "a"), b = t.AddToId(r, "b"), c = t.AddToId(r, "c");
    EXPECT_FALSE(t.LinkNextToId(a, 0));
    EXPECT_FALSE(t.LinkNextToId(99, a));
    ASSERT_TRUE(t.LinkNextToId(a, c));  // skips b
    EXPECT_EQ(t.NextId(a), c);
    EXPECT_FALSE(t.chkById(b)) << "lookups now walk the links";
    EXPECT_EQ(t.iLookId("b"), 0u);
    ASSERT_TRUE(t.LinkBackToId(c, r));
    EXPECT_EQ(t.PrevId(c), r);
    unsigned int d = t.AddToId(r, "d");
    EXPECT_EQ(t.NextId(c), d);
    EXPECT_TRUE(t.chkById(d));
    EXPECT_EQ(t.iLookId("d"), 0u) << "the name search stops where c's back link disagrees";
}

TEST(TreeRawLinks, LinkTopReplacesTheSubtree) {
    DynamicRow t;
    unsigned int r = t.AddKnot("R");
    unsigned int k = t.AddToId(r, true, "K");
    unsigned int old = t.AddToId(k, "old");
    unsigned int p = t.AddToId(r, "P");
    unsigned int q = t.AddToId(r, true, "Q");
    unsigned int qq = t.AddToId(q, "qq");
    ASSERT_TRUE(t.LinkTopToId(p, qq));  // p becomes a knot whose first child is qq
    EXPECT_TRUE(t.isKnot(p));
    EXPECT_EQ(t.TopId(p), qq);
    EXPECT_EQ(t.iCountParams(p), 0u);
    ASSERT_TRUE(t.LinkTopToId(k, q));  // releases "old"
    EXPECT_FALSE(t.chkById(old));
    EXPECT_EQ(t.TopId(k), q);
    EXPECT_TRUE(t.DeleteById(k));  // shared nodes below k were linked twice: no double release
    EXPECT_TRUE(t.chkById(p));
}

TEST(TreeRawLinks, CyclesDoNotHangWalks) {
    DynamicRow t;
    unsigned int r = t.AddKnot("R");
    unsigned int a = t.AddToId(r, true, "a");
    unsigned int b = t.AddToId(a, "b");
    ASSERT_TRUE(t.LinkNextToId(b, r));  // b -> R -> a -> b ...
    ASSERT_TRUE(t.LinkTopToId(b, a));
    EXPECT_EQ(t.iLookId("zzz"), 0u);
    EXPECT_FALSE(t.chkById(1000));
    EXPECT_NE(t.AddToId(b, "tail"), 0u);
    std::string dir = treetest::ScratchDir();
    t.iSaveToFile(treetest::Path(dir + "/cycle.dr"));
    EXPECT_TRUE(t.DeleteById(a));
}

// The same edits on a tree using its index and on one switched to plain walks (by a raw link
// that changes nothing) must read back alike.
TEST(TreeIndex, AgreesWithPlainWalks) {
    DynamicRow fast, slow;
    for (DynamicRow *t : {&fast, &slow}) {
        unsigned int r = t->AddToId(0, true, "R");
        t->AddToId(r, "a");
        t->AddToId(r, "b");
    }
    ASSERT_TRUE(slow.LinkNextToId(2, 3));
    unsigned int seed = 12345;
    auto next = [&seed](unsigned int n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) % n;
    };
    const char *names[] = {"a", "b", "c", ""};
    for (int step = 0; step < 1000; ++step) {
        unsigned int op = next(10), id = next(fast.lastId + 2);
        const char *name = names[next(4)];
        bool knot = next(2) == 1;
        for (DynamicRow *t : {&fast, &slow}) {
            if (op < 6) t->AddToId(id, knot, name);
            else if (op < 8) t->DeleteById(id);
            else if (op == 8) t->AddKnot(name);
            else t->AddToIdSeparated(id, "x,y", ',');
        }
        ASSERT_EQ(fast.lastId, slow.lastId);
        for (unsigned int i = step % 10 ? id : 0; i <= (step % 10 ? id : fast.lastId + 1); ++i) {
            ASSERT_EQ(Name(fast, i), Name(slow, i)) << "step " << step << " id " << i;
            ASSERT_EQ(fast.TopId(i), slow.TopId(i));
            ASSERT_EQ(fast.NextId(i), slow.NextId(i));
            ASSERT_EQ(fast.PrevId(i), slow.PrevId(i));
            ASSERT_EQ(fast.iCountParams(i), slow.iCountParams(i));
            ASSERT_EQ(fast.iCountKnots(i), slow.iCountKnots(i));
            ASSERT_EQ(fast.isKnot(i), slow.isKnot(i));
        }
        ASSERT_EQ(fast.iLookId(name), slow.iLookId(name));
        if (!fast.root) {  // start again when everything was deleted
            fast.AddToId(0, true, "R");
            slow.AddToId(0, true, "R");
        }
    }
}

// A log-shaped tree: lines appended, the oldest deleted, a few old ones kept for good. Its
// id table is cut down as the old ids go; lookups must still agree with plain walks.
TEST(TreeIndex, DroppingTheOldestKeepsLookupsRight) {
    DynamicRow fast, slow;
    for (DynamicRow *t : {&fast, &slow}) {
        t->AddToId(0, true, "LOG");
        t->AddToId(t->AddToId(1, true, "start"), "_SYSTEM_");
    }
    ASSERT_TRUE(slow.LinkBackToId(2, 1));  // a raw edit that changes nothing: plain walks
    std::vector<unsigned int> live;
    unsigned int checked = 0;
    for (int step = 0; step < 12000; ++step) {
        std::string text = "line " + std::to_string(step);
        unsigned int a = fast.AddToId(1, true, text.c_str());
        unsigned int b = slow.AddToId(1, true, text.c_str());
        ASSERT_EQ(a, b);
        fast.AddToId(a, "_TEXT_");
        slow.AddToId(b, "_TEXT_");
        if (step % 97 == 0) continue;  // kept for good: ids below the cut stay reachable
        live.push_back(a);
        if (live.size() > 50) {
            ASSERT_TRUE(fast.DeleteById(live.front()));
            ASSERT_TRUE(slow.DeleteById(live.front()));
            live.erase(live.begin());
        }
        if (step % 1000 == 999) {
            for (unsigned int i = 0; i <= fast.lastId + 1; i += (i < 200 ? 1 : 7)) {
                ASSERT_EQ(Name(fast, i), Name(slow, i)) << "step " << step << " id " << i;
                ASSERT_EQ(fast.NextId(i), slow.NextId(i)) << "id " << i;
                ASSERT_EQ(fast.PrevId(i), slow.PrevId(i)) << "id " << i;
                ASSERT_EQ(fast.TopId(i), slow.TopId(i)) << "id " << i;
                ++checked;
            }
        }
    }
    EXPECT_GT(checked, 10000u);
    EXPECT_EQ(fast.iCountKnots(1), slow.iCountKnots(1));
    EXPECT_EQ(Name(fast, 1), "LOG");
    EXPECT_EQ(Name(fast, 4), "line 0");  // kept since the start
    EXPECT_EQ(Name(fast, 6), "none");    // dropped
    // Deleting everything and adding again still works with the table cut down.
    EXPECT_TRUE(fast.DeleteById(1));
    EXPECT_EQ(fast.root, nullptr);
    unsigned int again = fast.AddToId(0, true, "LOG");
    EXPECT_EQ(Name(fast, again), "LOG");
}

TEST(TreeDeep, MillionNestedKnotsBuildWalkSaveAndDelete) {
    DynamicRow t;
    unsigned int id = t.AddToId(0, true, "k");
    const unsigned int depth = 1000000;
    for (unsigned int i = 1; i < depth; ++i) id = t.AddToId(id, true, "k");
    EXPECT_EQ(t.lastId, depth);
    EXPECT_EQ(t.iLookId("absent"), 0u);
    EXPECT_EQ(t.iLookId("k"), 1u);
    EXPECT_EQ(t.PrevId(depth), depth - 1);
    std::string dir = treetest::ScratchDir();
    std::string path = dir + "/deep.dr";
    ASSERT_TRUE(t.iSaveToFile(treetest::Path(path)));
    EXPECT_TRUE(t.DeleteById(1));
    EXPECT_EQ(t.root, nullptr);
    DynamicRow back;
    EXPECT_TRUE(back.iLoadFromFile(treetest::Path(path)));
    EXPECT_EQ(back.lastId, depth);
    EXPECT_EQ(back.PrevId(depth), depth - 1);
    EXPECT_TRUE(back.DeleteById(2));
    EXPECT_EQ(back.TopId(1), 0u);
    std::remove(path.c_str());
}

}  // namespace
