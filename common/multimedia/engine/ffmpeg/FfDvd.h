// A DVD film read the way a player reads it: from the disc's own tables (the
// IFO files), a title as its program chain plays its cells, out of the title
// set's VOB files taken as one. Works on a drive, an .iso image or a copied
// VIDEO_TS folder alike (libdvdread), with no mounting.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Engine.h"
#include "FfRead.h"

namespace mce::ff {

// Sectors of 2048 bytes in the title set's VOB files joined, both ends in.
struct DvdCell {
    std::uint32_t first = 0;
    std::uint32_t last = 0;
};

struct DvdAudio {
    int streamId = 0;     // as FFmpeg's MPEG demuxer numbers its stream
    std::string language; // two letters, empty when the disc does not say
    bool commentary = false;
};

struct DvdTitle {
    int number = 0;             // the disc's own numbering, from 1
    int titleSet = 0;           // its VTS
    std::vector<DvdCell> cells; // in play order, the first angle only
    std::int64_t lengthUs = 0;  // from the program chain
    std::vector<std::int64_t> chaptersUs;
    std::vector<DvdAudio> audio;
};

// Whether the path names a DVD rather than a file: a folder holding
// VIDEO_TS, the VIDEO_TS folder itself, an .iso image or a drive.
bool IsDvd(const std::string& path);

// The titles a user can be offered, in the disc's order: a title with broken
// addresses, a cell table out of range or under 10 seconds is left out, and
// of two titles that play the same cells only the first is kept. Fails with
// rc::DvdTablesDamaged when the disc has tables but no title is left.
Result ReadDvdTitles(const std::string& disc, std::vector<DvdTitle>* titles);

// The main feature: the longest title (the first of equals).
const DvdTitle* MainFeature(const std::vector<DvdTitle>& titles);

// For a title file VTS_nn_k.VOB (k from 1) of a VIDEO_TS folder: the folder
// and the longest title whose first cell lies in that file; null when the
// path is no such file or no title starts in it.
const DvdTitle* TitleStartingIn(const std::string& vobPath, const std::vector<DvdTitle>& titles);
bool IsTitleVob(const std::string& path, std::string* folder);

// The language the user reads, from the locale: two letters, or empty.
std::string UserLanguage();

// The sound a user would choose: the first normal stream in the language
// given (two letters), else the title's first; null without sound.
const DvdAudio* ChooseAudio(const DvdTitle& title, const std::string& language);

// The title a source stands for: a disc's main feature, or with wholeTitle
// the title a title file starts. Null with rc::False when the source is no
// DVD title; null with a failure when its tables cannot be read.
const DvdTitle* TitleOfSource(const std::string& path, bool wholeTitle, std::vector<DvdTitle>* titles,
                              std::string* disc, Result* result);

// The title's bytes as the disc plays them. Fails with rc::DvdCopyProtected
// when its sectors are scrambled: nothing here can unscramble them.
Result OpenDvdTitle(const std::string& disc, const DvdTitle& title, std::unique_ptr<SourceReader>* reader);

} // namespace mce::ff
