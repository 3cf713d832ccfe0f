// Any bytes given as a profile file: parsing never crashes, a refused file
// leaves the record alone, and an accepted one survives writing and reading
// back unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "EngineProfile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    mce::EngineProfile profile;
    profile.width = -7;
    std::string error;
    if (mce::Failed(mce::ParseEngineProfile(text, &profile, &error))) {
        if (profile.width != -7 || error.empty())
            std::abort();
        return 0;
    }
    mce::ValidateEngineProfile(profile);
    mce::EngineProfile again;
    if (mce::Failed(mce::ParseEngineProfile(mce::FormatEngineProfile(profile), &again)) || !(again == profile))
        std::abort();
    return 0;
}
