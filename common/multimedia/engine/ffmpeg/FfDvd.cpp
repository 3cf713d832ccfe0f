#include "FfDvd.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <system_error>

extern "C" {
#include <dvdread/dvd_reader.h>
#include <dvdread/ifo_read.h>
#include <dvdread/ifo_types.h>
}

namespace fs = std::filesystem;

namespace mce::ff {
namespace {

constexpr std::int64_t kSector = DVD_VIDEO_LB_LEN;
constexpr std::int64_t kShortestUs = 10'000'000; // menus, logos and fake titles are shorter
constexpr int kReadSectors = 16;                 // 32 KiB a read, as FFmpeg's own file reads
constexpr int kProbedSectors = 256;              // looked at for scrambling

// libdvdread talks on standard error about every odd table; the engine
// says what matters itself.
void Quiet(void*, dvd_logger_level_t, const char*, va_list) {}
const dvd_logger_cb kQuiet{Quiet};

struct DvdClose {
    void operator()(dvd_reader_t* d) const { DVDClose(d); }
};
struct IfoClose {
    void operator()(ifo_handle_t* h) const { ifoClose(h); }
};
struct FileClose {
    void operator()(dvd_file_t* f) const { DVDCloseFile(f); }
};
using DvdPtr = std::unique_ptr<dvd_reader_t, DvdClose>;
using IfoPtr = std::unique_ptr<ifo_handle_t, IfoClose>;
using FilePtr = std::unique_ptr<dvd_file_t, FileClose>;

bool SameText(std::string a, std::string b)
{
    const auto lower = [](std::string& s) {
        std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    };
    lower(a);
    lower(b);
    return a == b;
}

int FromBcd(std::uint8_t v)
{
    return (v >> 4) * 10 + (v & 15);
}

std::int64_t TimeUs(const dvd_time_t& t)
{
    std::int64_t us = ((FromBcd(t.hour) * 60LL + FromBcd(t.minute)) * 60 + FromBcd(t.second)) * 1'000'000;
    const int frames = FromBcd(t.frame_u & 0x3f);
    switch (t.frame_u >> 6) {
    case 1:
        us += frames * 40'000LL; // 25 a second
        break;
    case 3:
        us += frames * 1'001'000LL / 30; // 29.97 a second
        break;
    default:
        break;
    }
    return us;
}

// The stream's number as FFmpeg's program-stream demuxer gives it: private
// stream 1 sub-streams for AC-3, DTS and LPCM, MPEG audio by its own id.
int StreamIdOf(const audio_attr_t& attr, int n)
{
    switch (attr.audio_format) {
    case 0:
        return 0x80 + n;
    case 2:
    case 3:
        return 0x1c0 + n;
    case 4:
        return 0xa0 + n;
    case 6:
        return 0x88 + n;
    default:
        return -1;
    }
}

bool Scrambled(const std::uint8_t* s)
{
    // A pack header, then the first packet: its scrambling control bits
    // are set where the sector is encrypted.
    if (s[0] != 0 || s[1] != 0 || s[2] != 1 || s[3] != 0xba)
        return false;
    const std::uint8_t* p = s + 14 + (s[13] & 7);
    if (p + 7 > s + kSector || p[0] != 0 || p[1] != 0 || p[2] != 1)
        return false;
    const bool pes = (p[3] >= 0xe0 && p[3] <= 0xef) || (p[3] >= 0xc0 && p[3] <= 0xdf) || p[3] == 0xbd;
    return pes && (p[6] & 0xc0) == 0x80 && (p[6] & 0x30) != 0;
}

class DvdTitleReader final : public SourceReader {
public:
    ~DvdTitleReader() override
    {
        m_io.reset();
        m_file.reset();
        m_dvd.reset();
    }
    static Result Open(const std::string& disc, const DvdTitle& title, std::unique_ptr<SourceReader>* out)
    {
        std::unique_ptr<DvdTitleReader> r(new DvdTitleReader);
        r->m_dvd.reset(DVDOpen2(nullptr, &kQuiet, disc.c_str()));
        if (!r->m_dvd)
            return rc::SourceNotWorking;
        r->m_file.reset(DVDOpenFile(r->m_dvd.get(), title.titleSet, DVD_READ_TITLE_VOBS));
        if (!r->m_file || title.cells.empty())
            return rc::SourceNotWorking;
        for (const DvdCell& c : title.cells) {
            r->m_starts.push_back(r->m_size);
            r->m_size += (static_cast<std::int64_t>(c.last) - c.first + 1) * kSector;
        }
        r->m_cells = title.cells;
        if (r->ScrambledAtStart())
            return rc::DvdCopyProtected;
        r->m_faultFrom = SourceFaultOffset();
        auto* buffer = static_cast<unsigned char*>(av_malloc(kReadSectors * kSector));
        if (!buffer)
            return rc::OutOfMemory;
        r->m_io.reset(avio_alloc_context(buffer, kReadSectors * kSector, 0, r.get(), Read, nullptr, Seek));
        if (!r->m_io) {
            av_free(buffer);
            return rc::OutOfMemory;
        }
        *out = std::move(r);
        return rc::Ok;
    }
    AVIOContext* Context() const override { return m_io.get(); }
    int Fault() const override { return m_fault; }

private:
    DvdTitleReader() = default;

    bool ScrambledAtStart()
    {
        std::vector<std::uint8_t> s(kSector);
        const DvdCell& c = m_cells.front();
        for (std::uint32_t n = 0; n < kProbedSectors && c.first + n <= c.last; ++n) {
            if (DVDReadBlocks(m_file.get(), static_cast<int>(c.first + n), 1, s.data()) == 1 && Scrambled(s.data()))
                return true;
        }
        return false;
    }

    static int Read(void* opaque, std::uint8_t* buf, int size)
    {
        auto* r = static_cast<DvdTitleReader*>(opaque);
        if (r->m_pos >= r->m_size)
            return AVERROR_EOF;
        const auto cell = std::upper_bound(r->m_starts.begin(), r->m_starts.end(), r->m_pos) - r->m_starts.begin() - 1;
        const DvdCell& c = r->m_cells[static_cast<std::size_t>(cell)];
        const std::int64_t into = r->m_pos - r->m_starts[static_cast<std::size_t>(cell)];
        const std::int64_t sector = c.first + into / kSector;
        const std::int64_t skip = into % kSector;
        const std::int64_t sectors =
            std::min<std::int64_t>({kReadSectors, c.last - sector + 1, (skip + size + kSector - 1) / kSector});
        // The test seam counts in the title set's files joined, as the
        // disc lays them: a fault can be put into one of its VOB files.
        if (r->m_faultFrom >= 0 && (sector + sectors) * kSector > r->m_faultFrom) {
            r->m_fault = EIO;
            return AVERROR(EIO);
        }
        if (DVDReadBlocks(r->m_file.get(), static_cast<int>(sector), static_cast<std::size_t>(sectors), r->m_block) !=
            sectors) {
            r->m_fault = EIO;
            return AVERROR(EIO);
        }
        const int n = static_cast<int>(std::min<std::int64_t>(size, sectors * kSector - skip));
        std::memcpy(buf, r->m_block + skip, static_cast<std::size_t>(n));
        r->m_pos += n;
        return n;
    }
    static std::int64_t Seek(void* opaque, std::int64_t offset, int whence)
    {
        auto* r = static_cast<DvdTitleReader*>(opaque);
        switch (whence & ~AVSEEK_FORCE) {
        case AVSEEK_SIZE:
            return r->m_size;
        case SEEK_SET:
            break;
        case SEEK_CUR:
            offset += r->m_pos;
            break;
        case SEEK_END:
            offset += r->m_size;
            break;
        default:
            return AVERROR(EINVAL);
        }
        if (offset < 0)
            return AVERROR(EINVAL);
        r->m_pos = offset;
        return offset;
    }

    DvdPtr m_dvd;
    FilePtr m_file;
    std::vector<DvdCell> m_cells;
    std::vector<std::int64_t> m_starts; // byte offset of each cell in the title
    std::int64_t m_size = 0;
    std::int64_t m_pos = 0;
    std::int64_t m_faultFrom = -1;
    int m_fault = 0;
    std::uint8_t m_block[kReadSectors * kSector];
    std::unique_ptr<AVIOContext, IoFree> m_io;
};

// One title's program chain, checked: null when it cannot be played.
const pgc_t* ProgramChainOf(const title_info_t& ti, const ifo_handle_t* vts, const ttu_t** ttu)
{
    if (!vts || !vts->vts_ptt_srpt || !vts->vts_pgcit || !vts->vtsi_mat || ti.vts_ttn < 1 ||
        ti.vts_ttn > vts->vts_ptt_srpt->nr_of_srpts)
        return nullptr;
    *ttu = &vts->vts_ptt_srpt->title[ti.vts_ttn - 1];
    if ((*ttu)->nr_of_ptts < 1 || !(*ttu)->ptt)
        return nullptr;
    const int pgcn = (*ttu)->ptt[0].pgcn;
    if (pgcn < 1 || pgcn > vts->vts_pgcit->nr_of_pgci_srp || !vts->vts_pgcit->pgci_srp)
        return nullptr;
    const pgc_t* pgc = vts->vts_pgcit->pgci_srp[pgcn - 1].pgc;
    if (!pgc || !pgc->program_map || !pgc->cell_playback || pgc->nr_of_cells == 0 || pgc->nr_of_programs == 0)
        return nullptr;
    return pgc;
}

bool ReadTitle(const title_info_t& ti, const ifo_handle_t* vts, std::int64_t setSectors, DvdTitle* t)
{
    const ttu_t* ttu = nullptr;
    const pgc_t* pgc = ProgramChainOf(ti, vts, &ttu);
    if (!pgc)
        return false;
    t->titleSet = ti.title_set_nr;
    std::vector<std::int64_t> cellStartUs(pgc->nr_of_cells, -1);
    std::int64_t at = 0;
    for (int c = 0; c < pgc->nr_of_cells; ++c) {
        const cell_playback_t& cell = pgc->cell_playback[c];
        // Of an angle block only the first angle plays.
        if (cell.block_type == BLOCK_TYPE_ANGLE_BLOCK && cell.block_mode != BLOCK_MODE_FIRST_CELL)
            continue;
        if (cell.first_sector > cell.last_sector || cell.last_sector >= 0xffffff ||
            static_cast<std::int64_t>(cell.last_sector) >= setSectors)
            return false;
        t->cells.push_back({cell.first_sector, cell.last_sector});
        cellStartUs[c] = at;
        at += TimeUs(cell.playback_time);
    }
    t->lengthUs = TimeUs(pgc->playback_time);
    if (t->lengthUs <= 0)
        t->lengthUs = at;
    const int pgcn = ttu->ptt[0].pgcn;
    for (int i = 0; i < ttu->nr_of_ptts; ++i) {
        const ptt_info_t& ptt = ttu->ptt[i];
        if (ptt.pgcn != pgcn || ptt.pgn < 1 || ptt.pgn > pgc->nr_of_programs)
            continue;
        const int cell = pgc->program_map[ptt.pgn - 1] - 1;
        if (cell >= 0 && cell < pgc->nr_of_cells && cellStartUs[cell] >= 0)
            t->chaptersUs.push_back(cellStartUs[cell]);
    }
    const vtsi_mat_t* mat = vts->vtsi_mat;
    for (int i = 0; i < 8 && i < mat->nr_of_vts_audio_streams; ++i) {
        if (!(pgc->audio_control[i] & 0x8000))
            continue;
        const audio_attr_t& attr = mat->vts_audio_attr[i];
        DvdAudio a;
        a.streamId = StreamIdOf(attr, (pgc->audio_control[i] >> 8) & 0x7f);
        if (a.streamId < 0)
            continue;
        if (attr.lang_type == 1 && attr.lang_code != 0xffff && attr.lang_code != 0) {
            a.language = {static_cast<char>(std::tolower(attr.lang_code >> 8)),
                          static_cast<char>(std::tolower(attr.lang_code & 0xff))};
        }
        a.commentary = attr.code_extension == 3 || attr.code_extension == 4;
        t->audio.push_back(a);
    }
    return true;
}

bool SameCells(const DvdTitle& a, const DvdTitle& b)
{
    return a.titleSet == b.titleSet && a.cells.size() == b.cells.size() &&
           std::equal(a.cells.begin(), a.cells.end(), b.cells.begin(),
                      [](const DvdCell& x, const DvdCell& y) { return x.first == y.first && x.last == y.last; });
}

} // namespace

bool IsDvd(const std::string& path)
{
    std::error_code ec;
    const fs::path p(path);
    const fs::file_status st = fs::status(p, ec);
    if (ec)
        return false;
    if (fs::is_block_file(st))
        return true;
    if (fs::is_regular_file(st))
        return SameText(p.extension().string(), ".iso");
    if (!fs::is_directory(st))
        return false;
    const auto holdsIfo = [](const fs::path& dir) {
        std::error_code e;
        return fs::exists(dir / "VIDEO_TS.IFO", e) || fs::exists(dir / "video_ts.ifo", e);
    };
    if (SameText(p.filename().string(), "VIDEO_TS") && holdsIfo(p))
        return true;
    return holdsIfo(p / "VIDEO_TS") || holdsIfo(p / "video_ts");
}

Result ReadDvdTitles(const std::string& disc, std::vector<DvdTitle>* titles)
{
    titles->clear();
    DvdPtr dvd(DVDOpen2(nullptr, &kQuiet, disc.c_str()));
    if (!dvd)
        return rc::SourceNotWorking;
    // An image without the video manager's tables is no DVD-Video at all.
    IfoPtr vmg(ifoOpen(dvd.get(), 0));
    if (!vmg)
        return rc::SourceNotWorking;
    if (!vmg->tt_srpt || !vmg->vmgi_mat)
        return rc::DvdTablesDamaged;
    std::map<int, IfoPtr> sets;
    std::map<int, std::int64_t> setSectors;
    for (int n = 0; n < vmg->tt_srpt->nr_of_srpts; ++n) {
        const title_info_t& ti = vmg->tt_srpt->title[n];
        const int vts = ti.title_set_nr;
        if (vts < 1 || vts > vmg->vmgi_mat->vmg_nr_of_title_sets)
            continue;
        if (!sets.count(vts)) {
            sets[vts].reset(ifoOpen(dvd.get(), vts));
            FilePtr vobs(DVDOpenFile(dvd.get(), vts, DVD_READ_TITLE_VOBS));
            setSectors[vts] = vobs ? DVDFileSize(vobs.get()) : 0;
        }
        DvdTitle t;
        t.number = n + 1;
        if (!ReadTitle(ti, sets[vts].get(), setSectors[vts], &t) || t.lengthUs < kShortestUs)
            continue;
        if (std::none_of(titles->begin(), titles->end(), [&t](const DvdTitle& o) { return SameCells(o, t); }))
            titles->push_back(std::move(t));
    }
    return titles->empty() ? rc::DvdTablesDamaged : rc::Ok;
}

const DvdTitle* MainFeature(const std::vector<DvdTitle>& titles)
{
    const DvdTitle* best = nullptr;
    for (const DvdTitle& t : titles) {
        if (!best || t.lengthUs > best->lengthUs)
            best = &t;
    }
    return best;
}

bool IsTitleVob(const std::string& path, std::string* folder)
{
    const fs::path p(path);
    const std::string name = p.filename().string();
    if (name.size() != 12 || !SameText(name.substr(0, 4), "VTS_") || name[6] != '_' ||
        !SameText(name.substr(8), ".VOB") || !std::isdigit(static_cast<unsigned char>(name[4])) ||
        !std::isdigit(static_cast<unsigned char>(name[5])) || name[7] < '1' || name[7] > '9')
        return false;
    if (folder)
        *folder = p.parent_path().string();
    return true;
}

const DvdTitle* TitleStartingIn(const std::string& vobPath, const std::vector<DvdTitle>& titles)
{
    if (!IsTitleVob(vobPath, nullptr))
        return nullptr;
    const fs::path p(vobPath);
    const std::string name = p.filename().string();
    const int vts = (name[4] - '0') * 10 + (name[5] - '0');
    const int part = name[7] - '0';
    // Where the file lies in the title set's files joined: after the
    // parts before it, whatever case their names are in.
    std::int64_t from = 0;
    for (int k = 1; k < part; ++k) {
        std::error_code ec;
        std::string before = name;
        before[7] = static_cast<char>('0' + k);
        std::uintmax_t size = fs::file_size(p.parent_path() / before, ec);
        if (ec) {
            for (char& c : before)
                c = static_cast<char>(std::islower(static_cast<unsigned char>(c)) ? std::toupper(c) : std::tolower(c));
            size = fs::file_size(p.parent_path() / before, ec);
        }
        if (ec)
            return nullptr;
        from += static_cast<std::int64_t>(size) / kSector;
    }
    std::error_code ec;
    const std::int64_t to = from + static_cast<std::int64_t>(fs::file_size(p, ec)) / kSector;
    if (ec)
        return nullptr;
    const DvdTitle* best = nullptr;
    for (const DvdTitle& t : titles) {
        if (t.cells.empty())
            continue;
        const std::int64_t first = t.cells.front().first;
        if (t.titleSet == vts && first >= from && first < to && (!best || t.lengthUs > best->lengthUs))
            best = &t;
    }
    return best;
}

// The language the user reads, from the locale: two letters, or empty.
std::string UserLanguage()
{
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* v = std::getenv(name);
        if (v && *v) {
            std::string lang(v, std::min<std::size_t>(2, std::strlen(v)));
            if (lang == "C" || lang.size() < 2)
                return {};
            return lang;
        }
    }
    return {};
}

const DvdAudio* ChooseAudio(const DvdTitle& title, const std::string& language)
{
    for (const DvdAudio& a : title.audio) {
        if (!a.commentary && !language.empty() && a.language == language)
            return &a;
    }
    return title.audio.empty() ? nullptr : &title.audio.front();
}

const DvdTitle* TitleOfSource(const std::string& path, bool wholeTitle, std::vector<DvdTitle>* titles,
                              std::string* disc, Result* result)
{
    *result = rc::False;
    const bool whole = IsDvd(path);
    *disc = path;
    if (!whole && !(wholeTitle && IsTitleVob(path, disc)))
        return nullptr;
    if (*result = ReadDvdTitles(*disc, titles); Failed(*result))
        return nullptr;
    const DvdTitle* title = whole ? MainFeature(*titles) : TitleStartingIn(path, *titles);
    *result = title ? rc::Ok : rc::False;
    return title;
}

Result OpenDvdTitle(const std::string& disc, const DvdTitle& title, std::unique_ptr<SourceReader>* reader)
{
    return DvdTitleReader::Open(disc, title, reader);
}

} // namespace mce::ff
