// The words for the engine's failure codes: the encoder's own table and the
// engine's failures beyond it.
#include <cstdint>
#include <cstdio>
#include <string>

#include "CxWMEncoder.h"

const WMEncError g_WMEncErrors[kWMEncErrorCount] = {
    {static_cast<std::int32_t>(0xC00D1B83u), "One or more codecs required to open this content could not be found."},
    {static_cast<std::int32_t>(0xC00D1B84u),
     "The archive file has the same name as an input file. Change one of the names before continuing."},
    {static_cast<std::int32_t>(0xC00D1BA6u),
     "A device used in the current active source for device control is no longer available."},
    {static_cast<std::int32_t>(0xC00D1B79u), "The local archive file name was not set."},
    {static_cast<std::int32_t>(0xC00D1B7Cu), "The specified crop values are not valid."},
    {static_cast<std::int32_t>(0xC00D1B8Au), "One or all of the specified sources are not working properly. Check "
                                             "that the sources are configured correctly."},
    {static_cast<std::int32_t>(0xC00D1BD1u), "The file transfer bit rate is not valid."},
    {static_cast<std::int32_t>(0xC00D1B9Fu), "The specified language is not valid."},
    {static_cast<std::int32_t>(0xC00D1BA0u), "The specified source type is not valid."},
    {static_cast<std::int32_t>(0xC00D1BE2u), "The pixel aspect ratio value must be between 1 and 255."},
    {static_cast<std::int32_t>(0xC00D1BE4u), "The profile must contain at least one audio or video stream."},
    {static_cast<std::int32_t>(0xC00D1BBFu), "The video bit rate setting is not valid."},
    {static_cast<std::int32_t>(0xC00D1BC9u), "The video buffer setting is not valid."},
    {static_cast<std::int32_t>(0xC00D1BC8u), "The video codec quality setting is not valid."},
    {static_cast<std::int32_t>(0xC00D1BC5u), "The video height setting is not valid."},
    {static_cast<std::int32_t>(0xC00D1B66u), "This operation is not allowed while encoding."},
    {static_cast<std::int32_t>(0xC00D1B74u), "This operation is not allowed while archiving."},
    {static_cast<std::int32_t>(0xC00D1B7Fu), "This operation is only allowed during encoding."},
};

namespace {

// The engine's own failures, beyond the encoder's table: said in plain
// words, since they name what the user can do about them.
struct EngineError {
    std::int32_t hr;
    const char* text;
};
const EngineError kEngineErrors[] = {
    {mce::rc::SizeLimitTooSmall, "The size limit cannot hold one second of the video at this screen size and "
                                 "quality. Choose a larger card or a smaller screen size."},
    {mce::rc::DvdCopyProtected, "This DVD is copy-protected: its pictures are scrambled and cannot be read. "
                                "Morvane Converter converts DVDs that are not protected."},
    {mce::rc::DvdTablesDamaged, "This DVD's tables are damaged: none of its titles can be played. Try the disc in "
                                "another drive, or copy its VIDEO_TS folder again."},
};

} // namespace

std::string FormatEncoderError(std::int32_t hr)
{
    if (hr >= 0)
        return {};
    for (const EngineError& e : kEngineErrors) {
        if (e.hr == hr)
            return e.text;
    }
    char text[256];
    for (const WMEncError& row : g_WMEncErrors) {
        if (row.hr == hr) {
            std::snprintf(text, sizeof text, "Windows Media Encoder Internal Error: %s", row.szText);
            return text;
        }
    }
    std::snprintf(text, sizeof text, "Windows Media Encoder Internal Error: %x", static_cast<unsigned>(hr));
    return text;
}
