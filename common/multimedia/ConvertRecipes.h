// The two ways a conversion configures an encoder session: a single-file run
// over the whole run list with the live options, and one batch item. Shared
// by the run window and the headless converter.
#pragma once

#include <cstdint>
#include <functional>

class CxList;
class CxWMEncoder;
struct MROption;
struct RunItem;

namespace recipe {

// Called right after each output file is set, with the source and output
// that the new group converts, so that a window can show them.
using SourceHook = std::function<void(const char* szSource, const char* szOutput)>;

// Single-file run, first part: one group per run-list entry (first to last),
// each reading its source as picture and sound and writing opt.szOutputFile,
// with cropping, profile and two-pass from the options. The calls' results
// are not looked at: a failure surfaces at Prepare. Returns the number of
// entries configured (0 for an empty or missing list).
std::uint32_t AddSources(CxWMEncoder& enc, CxList* pRunList, const MROption& opt, std::int32_t quality,
                         const SourceHook& hook = {});

// Single-file run, second part: the non-empty display texts and the size
// limit of the options.
void ApplyOutputSettings(CxWMEncoder& enc, const MROption& opt);

// One batch item: a new group for the item's source, its own output, the
// margins when any of them is not 0, and the profile for opt.nResolution and
// quality; no two-pass, texts or limit. False only for a null item.
bool ConfigureBatchItem(CxWMEncoder& enc, const RunItem* pItem, const MROption& opt, std::int32_t quality,
                        const SourceHook& hook = {});

// Prepare, and Start when that succeeded. False when either fails; the
// engine's code is then in the session.
bool PrepareAndStart(CxWMEncoder& enc);

// The whole single-file configuration: AddSources, ApplyOutputSettings,
// PrepareAndStart. False for an empty run list or when the engine refused.
bool RunSingleFile(CxWMEncoder& enc, CxList* pRunList, const MROption& opt, std::int32_t quality,
                   const SourceHook& hook = {});

} // namespace recipe
