// The run window: a stop at the user's word, and what a new start after it
// asks first.
#include "TfmConvert.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "Assert.h"
#include "CxList.h"
#include "CxWMEncoder.h"
#include "DialogService.h"
#include "MROption.h"
#include "PathUtil.h"
#include "main/MainAccess.h"
#include "main/OverwriteQuestion.h"

void TfmConvert::sbtnCloseClick()
{
    if (!m_bRunning) {
        close();
        return;
    }
    if (!WithoutHourglass([this] { return ui::Confirm(this, QString::fromUtf8(kStopQuestion)); }))
        return;
    if (!m_bRunning)
        return; // the run ended by itself while the question was open
    StopKeeping();
    SetState(csStopped);
    UpdateStatus();
    UpdateButtons();
    m_bRunning = false;
}

// The engine ends a stopped file properly and keeps it under the output
// name; the figures go on showing what that file holds. A stop before
// anything could be kept (no picture yet, or in the analysis pass of two)
// leaves the output as it was, which then holds nothing of this run.
void TfmConvert::StopKeeping()
{
    std::int32_t nDuration = 0;
    std::int64_t nBytes = 0;
    if (m_pWMEncoder) {
        m_pWMEncoder->Stop();
        nDuration = std::max(m_pWMEncoder->GetDuration(), 0);
        nBytes = std::max<std::int64_t>(m_pWMEncoder->GetFileBytes(), 0);
        m_pWMEncoder.reset();
    }
    FreeEncoder();
    std::error_code ec;
    const auto kept = std::filesystem::file_size(std::filesystem::path(cx::AbsolutePath(m_sShownOutput)), ec);
    if (!ec && nBytes > 0 && kept == static_cast<std::uintmax_t>(nBytes)) {
        m_nDuration = nDuration;
        m_nFileSize = nBytes;
    }
}

// Every output of the run list that is there already, asked about once.
bool TfmConvert::ConfirmOverwrite()
{
    const MROption* pOption = m_main.GetOption();
    CX_ASSERT(pOption);
    QStringList existing;
    const auto add = [&existing](const char* szPath) {
        std::error_code ec;
        if (szPath && *szPath && std::filesystem::exists(std::filesystem::path(cx::AbsolutePath(szPath)), ec))
            existing.push_back(QString::fromUtf8(szPath));
    };
    if (m_bBatch == 0) {
        add(pOption->szOutputFile);
    } else if (CxList* pRunList = m_main.GetRunList()) {
        for (auto* pItem = static_cast<const RunItem*>(pRunList->GetFirst()); pItem;
             pItem = static_cast<const RunItem*>(pRunList->GetNext()))
            add(pItem->szOutput);
    }
    return existing.isEmpty() ||
           WithoutHourglass([&] { return ui::Confirm(this, product::OverwriteQuestion(existing)); });
}
