#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "CxList.h"

namespace {

// Exposes the cursor for the checks that the cursor rules are about.
class ProbeList : public CxList {
public:
    std::uint32_t FindIndex() const { return m_nFindIndex; }
    void* CursorData() const { return m_pCurr ? m_pCurr->pData : nullptr; }
    void BreakCursor() { m_nFindIndex = m_pCurr->nIndex + 1; }
    // Every node's position and both directions agree with the count.
    bool Consistent() const
    {
        std::uint32_t i = 0;
        const CxListNode* last = nullptr;
        for (const CxListNode* n = m_pHead; n; n = n->pNext, ++i) {
            if (n->nIndex != i || n->pPrev != last)
                return false;
            last = n;
        }
        return i == m_nCount && last == m_pTail && ((m_nCount == 0) == (m_pCurr == nullptr));
    }
};

struct CxListTest : ::testing::Test {
    int a = 1, b = 2, c = 3, d = 4;
    ProbeList list;
    void AddABC()
    {
        list.Add(&a);
        list.Add(&b);
        list.Add(&c);
    }
};

TEST_F(CxListTest, EmptyListAnswersNullAndChangesNothing)
{
    void* p = &d;
    EXPECT_EQ(list.GetFirst(), nullptr);
    EXPECT_EQ(list.GetNext(), nullptr);
    EXPECT_EQ(list.GetAt(0), nullptr);
    EXPECT_FALSE(list.RemoveAt(0, false, &p));
    EXPECT_EQ(p, &d);
    EXPECT_EQ(list.GetCount(), 0u);
    list.RemoveAll(false);
    EXPECT_TRUE(list.Consistent());
    EXPECT_FALSE(list.Add(nullptr));
    EXPECT_EQ(list.GetCount(), 0u);
}

TEST_F(CxListTest, WalkStopsOnLastAndStaysThere)
{
    AddABC();
    EXPECT_EQ(list.GetFirst(), &a);
    EXPECT_EQ(list.GetNext(), &b);
    EXPECT_EQ(list.GetNext(), &c);
    EXPECT_EQ(list.GetNext(), nullptr);
    EXPECT_EQ(list.GetNext(), nullptr);
    EXPECT_EQ(list.CursorData(), &c);
}

TEST_F(CxListTest, PositionalLookupMovesTheWalk)
{
    AddABC();
    EXPECT_EQ(list.GetAt(1), &b);
    EXPECT_EQ(list.GetNext(), &c);
    EXPECT_EQ(list.GetAt(0), &a);  // walks backwards from the cursor
    EXPECT_EQ(list.FindIndex(), 0u);
    // Out of range leaves the cursor where it was.
    EXPECT_EQ(list.GetAt(list.GetCount()), nullptr);
    EXPECT_EQ(list.GetNext(), &b);
}

TEST_F(CxListTest, AppendDuringWalkPutsCursorOnNewLast)
{
    AddABC();
    list.GetFirst();
    list.Add(&d);
    EXPECT_EQ(list.GetNext(), nullptr);
    EXPECT_EQ(list.FindIndex(), 3u);
}

TEST_F(CxListTest, RemovingFromFrontHandsOutInAppendOrder)
{
    AddABC();
    void* got[3] = {};
    for (auto& g : got) {
        ASSERT_TRUE(list.RemoveAt(0, false, &g));
        EXPECT_TRUE(list.Consistent());
    }
    EXPECT_EQ(got[0], &a);
    EXPECT_EQ(got[1], &b);
    EXPECT_EQ(got[2], &c);
    EXPECT_EQ(list.GetCount(), 0u);
    EXPECT_EQ(list.GetFirst(), nullptr);
}

TEST_F(CxListTest, RemovingTheMiddleRenumbersAndLeavesCursorOnPredecessor)
{
    AddABC();
    void* p = nullptr;
    ASSERT_TRUE(list.RemoveAt(1, false, &p));
    EXPECT_EQ(p, &b);
    EXPECT_TRUE(list.Consistent());
    EXPECT_EQ(list.CursorData(), &a);
    EXPECT_EQ(list.FindIndex(), 0u);
    EXPECT_EQ(list.GetNext(), &c);
    EXPECT_EQ(list.GetAt(1), &c);
}

TEST_F(CxListTest, RemovingTheLastLeavesCursorOnNewLast)
{
    AddABC();
    list.GetFirst();  // removal walks by counting from here
    ASSERT_TRUE(list.RemoveAt(2, false, nullptr));
    EXPECT_EQ(list.CursorData(), &b);
    EXPECT_EQ(list.GetNext(), nullptr);
    ASSERT_TRUE(list.RemoveAt(0, false, nullptr));
    EXPECT_EQ(list.CursorData(), &b);  // the successor when there is no predecessor
    EXPECT_EQ(list.FindIndex(), 0u);
}

TEST_F(CxListTest, FreeReleasesPayloadMemoryAndClearsOut)
{
    list.Add(std::malloc(16));
    list.Add(std::malloc(16));
    void* p = &d;
    ASSERT_TRUE(list.RemoveAt(0, true, &p));
    EXPECT_EQ(p, nullptr);
    list.RemoveAll(true);  // LeakSanitizer would report the second block otherwise
    EXPECT_TRUE(list.Consistent());
}

TEST_F(CxListTest, DestroyingLeavesPayloadsAlive)
{
    std::string* s = new std::string("payload");
    {
        CxList scoped;
        scoped.Add(s);
    }
    EXPECT_EQ(*s, "payload");
    delete s;
}

TEST_F(CxListTest, TypedListKeepsTheCursorRules)
{
    CxTypedList<int> typed;
    typed.Add(&a);
    typed.Add(&b);
    EXPECT_EQ(typed.GetFirst(), &a);
    int* out = nullptr;
    EXPECT_TRUE(typed.RemoveAt(0, &out));
    EXPECT_EQ(out, &a);
    EXPECT_EQ(typed.GetAt(0), &b);
}

using CxListDeathTest = CxListTest;

TEST_F(CxListDeathTest, BrokenCursorIsFatal)
{
    AddABC();
    list.BreakCursor();
    EXPECT_DEATH(list.GetAt(0), "Assertion failed: m_pCurr->nIndex==m_nFindIndex, file .*CxList.cpp, line [0-9]+");
}

}  // namespace
