#include "ConvertRecipes.h"

#include "CxList.h"
#include "CxWMEncoder.h"
#include "MROption.h"

namespace recipe {

namespace {

WMEncGroup* NewGroup(CxWMEncoder& enc, const char* szSource)
{
    auto* pGroup = new WMEncGroup{};
    if (!enc.AddGroup(pGroup)) {
        delete pGroup;
        return nullptr;
    }
    enc.CreateGroup(pGroup, szSource, szSource);
    return pGroup;
}

// The profile for the options' frame: a custom size that the engine can take
// gets the wide-screen profile made for it.
void SelectProfileFor(CxWMEncoder& enc, WMEncGroup* pGroup, const MROption& opt, std::int32_t quality)
{
    if (opt.nResolution == 2 && mr::CustomSizeFits(opt.nWidth, opt.nHeight))
        enc.SelectCustomProfile(pGroup, quality, opt.nWidth, opt.nHeight);
    else
        enc.SelectProfile(pGroup, mr::ResolutionCode(opt.nResolution), quality);
}

} // namespace

std::uint32_t AddSources(CxWMEncoder& enc, CxList* pRunList, const MROption& opt, std::int32_t quality,
                         const SourceHook& hook)
{
    if (!pRunList)
        return 0;
    std::uint32_t n = 0;
    for (auto* pItem = static_cast<RunItem*>(pRunList->GetFirst()); pItem;
         pItem = static_cast<RunItem*>(pRunList->GetNext())) {
        ++n;
        WMEncGroup* pGroup = NewGroup(enc, pItem->szSource);
        enc.SetOutputFile(opt.szOutputFile);
        if (hook)
            hook(pItem->szSource, opt.szOutputFile);
        if (!pGroup)
            continue; // the session has no group list: nothing to configure
        if (opt.bCrop)
            enc.SetCropping(pGroup, opt.nCropLeft, opt.nCropTop, opt.nCropRight, opt.nCropBottom);
        SelectProfileFor(enc, pGroup, opt, quality);
        if (opt.bTwoPass)
            enc.SetTwoPass(pGroup, true);
        if (pItem->bWholeTitle)
            enc.SetWholeTitle(pGroup, true);
        if (pItem->nAudioStream > 0)
            enc.SetAudioStream(pGroup, pItem->nAudioStream);
    }
    return n;
}

void ApplyOutputSettings(CxWMEncoder& enc, const MROption& opt)
{
    if (opt.szAuthor[0])
        enc.SetAuthor(opt.szAuthor);
    if (opt.szTitle[0])
        enc.SetTitle(opt.szTitle);
    if (opt.szCopyright[0])
        enc.SetCopyright(opt.szCopyright);
    if (opt.szDescription[0])
        enc.SetDescription(opt.szDescription);
    if (opt.bLimitSize)
        enc.SetSizeLimit(mr::CardSizeBytes(opt.nCardSize));
}

bool ConfigureBatchItem(CxWMEncoder& enc, const RunItem* pItem, const MROption& opt, std::int32_t quality,
                        const SourceHook& hook)
{
    if (!pItem)
        return false;
    WMEncGroup* pGroup = NewGroup(enc, pItem->szSource);
    enc.SetOutputFile(pItem->szOutput);
    if (hook)
        hook(pItem->szSource, pItem->szOutput);
    if (!pGroup)
        return true;
    // The batch page has margins but no switch: any margin set crops.
    if (opt.nCropLeft || opt.nCropTop || opt.nCropRight || opt.nCropBottom)
        enc.SetCropping(pGroup, opt.nCropLeft, opt.nCropTop, opt.nCropRight, opt.nCropBottom);
    SelectProfileFor(enc, pGroup, opt, quality);
    return true;
}

bool PrepareAndStart(CxWMEncoder& enc)
{
    return enc.Prepare(true) && enc.Start();
}

bool RunSingleFile(CxWMEncoder& enc, CxList* pRunList, const MROption& opt, std::int32_t quality,
                   const SourceHook& hook)
{
    if (AddSources(enc, pRunList, opt, quality, hook) == 0)
        return false;
    ApplyOutputSettings(enc, opt);
    return PrepareAndStart(enc);
}

} // namespace recipe
