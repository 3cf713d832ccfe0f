// The engine's profile object (loaded from a profile file, or one of the
// built-in profiles) and the collection of built-in profiles.
#pragma once

#include <vector>

#include "Engine.h"
#include "EngineProfile.h"

namespace mce::ff {

class FfProfile final : public IProfile {
public:
    FfProfile() = default;
    explicit FfProfile(EngineProfile p) : m_profile(std::move(p)), m_loaded(true) {}

    Result GetName(std::u16string* name) override;
    Result LoadFromFile(const char16_t* path) override;
    Result SetFrameSize(std::int32_t width, std::int32_t height) override;

    bool Loaded() const { return m_loaded; }
    const EngineProfile& Profile() const { return m_profile; }

private:
    EngineProfile m_profile;
    bool m_loaded = false;
};

class FfProfileCollection final : public IProfileCollection {
public:
    Result GetCount(std::int32_t* count) override;
    Result Item(std::int32_t index, std::shared_ptr<IProfile>* profile) override;
};

} // namespace mce::ff
