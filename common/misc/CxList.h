// Doubly linked list of untyped payload pointers with a cursor: every node
// carries its 0-based position, and positional lookups walk from the node of
// the last lookup, append or removal, so walks and nearby lookups cost one
// step each. The list never copies or destroys payloads by itself.
#pragma once

#include <cstdint>

struct CxListNode {
    void* pData;
    std::uint32_t nIndex;
    CxListNode* pPrev;
    CxListNode* pNext;
};

class CxList {
public:
    CxList() = default;
    virtual ~CxList();
    CxList(const CxList&) = delete;
    CxList& operator=(const CxList&) = delete;

    bool Add(void* pData);
    void* GetFirst();
    void* GetNext();
    void* GetAt(std::uint32_t nIndex);
    // bFree releases the payload's memory with free(), without a destructor.
    bool RemoveAt(std::uint32_t nIndex, bool bFree, void** ppData);
    void RemoveAll(bool bFree);
    std::uint32_t GetCount() const { return m_nCount; }

protected:
    CxListNode* m_pHead = nullptr;
    CxListNode* m_pTail = nullptr;
    CxListNode* m_pCurr = nullptr;
    std::uint32_t m_nCount = 0;
    std::uint32_t m_nFindIndex = 0;
};

// Typed view over CxList for call sites that hold one payload type. Adds no
// state: the cursor and the ownership rules are those of CxList.
template <class T>
class CxTypedList : public CxList {
public:
    bool Add(T* p) { return CxList::Add(p); }
    T* GetFirst() { return static_cast<T*>(CxList::GetFirst()); }
    T* GetNext() { return static_cast<T*>(CxList::GetNext()); }
    T* GetAt(std::uint32_t i) { return static_cast<T*>(CxList::GetAt(i)); }
    bool RemoveAt(std::uint32_t i, T** pp)
    {
        void* p = nullptr;
        const bool ok = CxList::RemoveAt(i, false, pp ? &p : nullptr);
        if (ok && pp)
            *pp = static_cast<T*>(p);
        return ok;
    }
};
