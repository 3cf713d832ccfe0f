#include "CxList.h"

#include <cstdlib>
#include <new>

#include "Assert.h"

CxList::~CxList() { RemoveAll(false); }

bool CxList::Add(void* pData)
{
    if (!pData)
        return false;
    CxListNode* pContainer = new (std::nothrow) CxListNode{pData, m_nCount, m_pTail, nullptr};
    CX_ASSERT(pContainer);
    if (!m_pHead) {
        m_pHead = m_pTail = m_pCurr = pContainer;
    } else {
        m_pTail->pNext = pContainer;
        m_pCurr = pContainer;
        m_nFindIndex = pContainer->nIndex;
        m_pTail = pContainer;
    }
    ++m_nCount;
    return true;
}

void* CxList::GetFirst()
{
    m_nFindIndex = 0;
    m_pCurr = m_pHead;
    return m_pHead ? m_pHead->pData : nullptr;
}

void* CxList::GetNext()
{
    if (m_nCount == 0 || m_nFindIndex + 1 >= m_nCount)
        return nullptr;
    return GetAt(m_nFindIndex + 1);
}

void* CxList::GetAt(std::uint32_t nIndex)
{
    if (nIndex >= m_nCount)
        return nullptr;
    CX_ASSERT(m_pCurr->nIndex==m_nFindIndex);
    for (CxListNode* node = m_pCurr; node;) {
        if (node->nIndex == nIndex) {
            m_nFindIndex = nIndex;
            m_pCurr = node;
            return node->pData;
        }
        node = nIndex > m_nFindIndex ? node->pNext : node->pPrev;
    }
    return nullptr;
}

bool CxList::RemoveAt(std::uint32_t nIndex, bool bFree, void** ppData)
{
    if (nIndex >= m_nCount)
        return false;
    if (nIndex > m_nFindIndex) {
        for (std::uint32_t i = 0; i < nIndex - m_nFindIndex && m_pCurr; ++i)
            m_pCurr = m_pCurr->pNext;
    } else {
        for (std::uint32_t i = 0; i < m_nFindIndex - nIndex && m_pCurr; ++i)
            m_pCurr = m_pCurr->pPrev;
    }
    CX_ASSERT(m_pCurr);

    CxListNode* victim = m_pCurr;
    if (bFree) {
        std::free(victim->pData);
        if (ppData)
            *ppData = nullptr;
    } else if (ppData) {
        *ppData = victim->pData;
    }

    if (victim->pPrev)
        victim->pPrev->pNext = victim->pNext;
    else
        m_pHead = victim->pNext;
    if (victim->pNext)
        victim->pNext->pPrev = victim->pPrev;
    else
        m_pTail = victim->pPrev;
    for (CxListNode* n = victim->pNext; n; n = n->pNext)
        --n->nIndex;

    m_pCurr = victim->pPrev ? victim->pPrev : victim->pNext;
    m_nFindIndex = m_pCurr ? m_pCurr->nIndex : 0;
    --m_nCount;
    delete victim;
    return true;
}

void CxList::RemoveAll(bool bFree)
{
    CxListNode* node = m_pHead;
    while (node) {
        CxListNode* next = node->pNext;
        if (bFree && node->pData)
            std::free(node->pData);
        delete node;
        node = next;
    }
    m_pHead = m_pTail = m_pCurr = nullptr;
    m_nCount = 0;
    m_nFindIndex = 0;
}
