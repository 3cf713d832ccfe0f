// The conversion option record and the process-wide quality level.
//
// The record is plain data copied whole; its field order and sizes are those
// of the profile file (mrprof.dat), which stores it field by field. Texts are
// NUL-terminated UTF-8 in fixed arrays; writers go through cx::CopyText.
#pragma once

#include <cstdint>

struct MROption {
    char szName[256];
    char szOutputFile[260];
    std::int32_t nResolution; // 0 standard, 1 wide screen, 2 custom, 3 VGA
    std::int32_t nWidth;      // the custom frame (nResolution 2)
    std::int32_t nHeight;
    std::int32_t bWideAspect; // 0 = 4:3, non-zero = 16:9
    std::uint8_t bLimitSize;
    std::int32_t nCardSize; // 0 = 128 MB, 1 = 256 MB, 2 = 512 MB
    std::uint8_t bCrop;
    std::int32_t nCropLeft;
    std::int32_t nCropTop;
    std::int32_t nCropRight;
    std::int32_t nCropBottom;
    std::uint8_t bOptimize; // stored, read by no conversion
    std::uint8_t bTwoPass;
    std::uint8_t bSpeech; // stored, read by no conversion
    char szTitle[256];
    char szAuthor[128];
    char szCopyright[256];
    char szDescription[1025];
    std::int32_t nReserved[6];
    char szReserved[6][32];
};

// A zero-filled record.
MROption MakeOption();
// Whole-record copy.
void CopyOption(MROption* dst, const MROption* src);

// One entry of the main window's run list.
struct RunItem {
    char szSource[260];
    char szOutput[260];
    // A DVD title file that stands for the whole title starting in it.
    std::uint8_t bWholeTitle;
    // The DVD title's sound stream the user chose; 0: the engine's choice.
    std::int32_t nAudioStream;
};

// Process-wide quality level: 1 High, 2 Medium (initial), 3 Low. Never stored.
extern std::int32_t nQuality;

namespace mr {

constexpr std::int32_t kQualityHigh = 1;
constexpr std::int32_t kQualityMedium = 2;
constexpr std::int32_t kQualityLow = 3;

// nResolution to the encoder session's resolution code: 0 gives 1000
// (standard), 3 gives 1002 (VGA), anything else 1001 (wide screen).
std::int32_t ResolutionCode(std::int32_t nResolution);

// The custom frames the engine is given: even sizes from 64 x 48 to
// 1280 x 960. A custom record with another size (older profiles hold 0 x 0)
// converts like wide screen.
constexpr std::int32_t kCustomMinWidth = 64;
constexpr std::int32_t kCustomMinHeight = 48;
constexpr std::int32_t kCustomMaxWidth = 1280;
constexpr std::int32_t kCustomMaxHeight = 960;
bool CustomSizeFits(std::int32_t nWidth, std::int32_t nHeight);

// nCardSize to the size limit in bytes: 0 gives 128 MiB, 1 gives 256 MiB,
// anything else 512 MiB.
std::int32_t CardSizeBytes(std::int32_t nCardSize);

// Which quality choice shows a stored value: 1 High, 3 Low, else Medium.
std::int32_t QualityShown(std::int32_t quality);

// The value collected from the three choices: High wins, then Low, else 2.
std::int32_t QualityCollected(bool high, bool low);

} // namespace mr
