#include "FfProfile.h"

#include <fstream>

#include "TextConv.h"

namespace mce::ff {

Result FfProfile::GetName(std::u16string* name)
{
    if (!name)
        return rc::InvalidArg;
    if (!m_loaded)
        return rc::Fail;
    name->assign(m_profile.name.begin(), m_profile.name.end()); // names are ASCII
    return rc::Ok;
}

Result FfProfile::LoadFromFile(const char16_t* path)
{
    const std::string file = ToUtf8(path);
    if (file.empty())
        return rc::InvalidArg;
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return rc::FileNotFound;
    // A profile is a few hundred bytes; anything far bigger is not one.
    constexpr std::size_t kMaxBytes = 64 * 1024;
    std::string text(kMaxBytes + 1, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    if (in.bad())
        return rc::ReadFault;
    text.resize(static_cast<std::size_t>(in.gcount()));
    if (text.size() > kMaxBytes)
        return rc::BadProfileFile;
    EngineProfile parsed;
    if (Result r = ParseEngineProfile(text, &parsed); Failed(r))
        return r;
    // Values are checked when an encoding is prepared, where the user is told
    // which setting is wrong.
    m_profile = std::move(parsed);
    m_loaded = true;
    return rc::Ok;
}

Result FfProfile::SetFrameSize(std::int32_t width, std::int32_t height)
{
    if (!m_loaded)
        return rc::Fail;
    // Sizes the encoder cannot take are reported when the encoding is
    // prepared, as for a profile file.
    return ResizeEngineProfile(&m_profile, width, height) ? rc::Ok : rc::InvalidArg;
}

Result FfProfileCollection::GetCount(std::int32_t* count)
{
    if (!count)
        return rc::InvalidArg;
    *count = static_cast<std::int32_t>(BuiltInEngineProfiles().size());
    return rc::Ok;
}

Result FfProfileCollection::Item(std::int32_t index, std::shared_ptr<IProfile>* profile)
{
    const auto& all = BuiltInEngineProfiles();
    if (!profile || index < 0 || static_cast<std::size_t>(index) >= all.size())
        return rc::InvalidArg;
    *profile = std::make_shared<FfProfile>(all[static_cast<std::size_t>(index)]);
    return rc::Ok;
}

} // namespace mce::ff
