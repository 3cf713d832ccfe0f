#include "FfOutput.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <random>
#include <vector>

#include "AsfHeader.h"
#include "FfRead.h"
#include "TextConv.h"

namespace fs = std::filesystem;

namespace mce::ff {
namespace {

constexpr int kAsfPacketSize = 3200;  // the muxer's fixed data packet size
constexpr std::size_t kMaxSkew = 256; // packets held for interleaving at most

Result ErrnoResult(int err)
{
    switch (err) {
    case ENOENT:
    case ENOTDIR:
        return rc::PathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
        return rc::AccessDenied;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return rc::DiskFull;
    default:
        return rc::WriteFault;
    }
}

// ".<target name>.morvane-<8 hex digits>.part": the name of our temporary
// files. The tag keeps the clean-up away from other programs' ".part" files.
constexpr char kTag[] = ".morvane-";

bool IsTemporaryName(const std::string& name)
{
    constexpr std::size_t kTagLen = sizeof kTag - 1;
    constexpr std::size_t kTail = kTagLen + 8 + 5; // ".morvane-xxxxxxxx.part"
    if (name.size() < 1 + 1 + kTail || name[0] != '.' || name.compare(name.size() - 5, 5, ".part") != 0)
        return false;
    const std::size_t tag = name.size() - kTail;
    if (name.compare(tag, kTagLen, kTag) != 0)
        return false;
    for (std::size_t i = tag + kTagLen; i < tag + kTagLen + 8; ++i)
        if (!std::isxdigit(static_cast<unsigned char>(name[i])) || std::isupper(static_cast<unsigned char>(name[i])))
            return false;
    return true;
}

// What we write there: nothing yet, or an ASF file from its first byte.
bool HoldsOurContent(int fd)
{
    std::uint8_t head[30];
    const ssize_t n = pread(fd, head, sizeof head, 0);
    return n == 0 || (n > 0 && AsfHeaderSize(head, static_cast<std::size_t>(n)) != 0);
}

// A conversion holds a lock on its temporary file for as long as it runs;
// the system drops it when the process ends, however it ends. A temporary
// file of ours that nobody holds was left by a conversion that was killed.
void RemoveStaleTemporaries(const fs::path& dir)
{
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (!IsTemporaryName(name) || !it->is_regular_file(ec) || it->is_symlink(ec))
            continue;
        const int fd = open(it->path().c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0)
            continue;
        // A file system without locks keeps everything. The name must still
        // be the file we locked: it may have been committed and replaced.
        struct stat held {};
        struct stat named {};
        if (flock(fd, LOCK_EX | LOCK_NB) == 0 && fstat(fd, &held) == 0 && lstat(it->path().c_str(), &named) == 0 &&
            held.st_dev == named.st_dev && held.st_ino == named.st_ino && HoldsOurContent(fd))
            unlink(it->path().c_str());
        close(fd);
    }
}

} // namespace

// ---- the file ----

OutputFile::~OutputFile()
{
    Discard();
}

Result OutputFile::Create(const std::string& outputPath)
{
    std::error_code ec;
    fs::path out = fs::absolute(outputPath, ec);
    if (ec)
        return rc::PathNotFound;
    // A link keeps pointing at the new file: the file it names is replaced.
    if (fs::is_symlink(out, ec))
        out = fs::weakly_canonical(out, ec);
    if (fs::is_directory(out, ec))
        return rc::AccessDenied;
    const fs::path dir = out.parent_path();
    if (!fs::is_directory(dir, ec))
        return rc::PathNotFound;
    m_target = out;
    RemoveStaleTemporaries(dir);
    std::random_device rd;
    for (int attempt = 0; attempt < 50; ++attempt) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, "%08x", static_cast<unsigned>(rd()));
        const fs::path candidate = dir / ("." + out.filename().string() + kTag + suffix + ".part");
        m_fd = open(candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (m_fd < 0) {
            if (errno != EEXIST)
                return ErrnoResult(errno);
            continue;
        }
        if (m_createdHook)
            m_createdHook(candidate);
        // Between the open and the lock another conversion's clean-up may
        // have taken the new file for a stale one. Its lock lasts only until
        // it has unlinked the file, so waiting for ours tells: a file that is
        // no longer the one under our name is made again.
        struct stat held {};
        struct stat named {};
        int locked;
        while ((locked = flock(m_fd, LOCK_EX)) != 0 && errno == EINTR) {
        }
        const bool lockless = locked != 0 && (errno == ENOLCK || errno == EOPNOTSUPP || errno == EINVAL);
        if ((locked != 0 && !lockless) || fstat(m_fd, &held) != 0 || lstat(candidate.c_str(), &named) != 0 ||
            held.st_dev != named.st_dev || held.st_ino != named.st_ino) {
            close(m_fd);
            m_fd = -1;
            continue;
        }
        m_temp = candidate;
        return rc::Ok;
    }
    return rc::Fail;
}

Result OutputFile::WriteFailure(Result otherwise) const
{
    return m_writeErrno ? ErrnoResult(m_writeErrno) : otherwise;
}

Result OutputFile::RewriteHeader(const DisplayTexts& texts)
{
    std::uint8_t head[30];
    if (pread(m_fd, head, sizeof head, 0) != static_cast<ssize_t>(sizeof head))
        return rc::Ok;
    const std::uint64_t size = AsfHeaderSize(head, sizeof head);
    if (size < sizeof head || size >= (1u << 24))
        return rc::Ok;
    std::vector<std::uint8_t> header(size);
    if (pread(m_fd, header.data(), size, 0) == static_cast<ssize_t>(size) && RewriteAsfHeader(header, texts) &&
        pwrite(m_fd, header.data(), size, 0) != static_cast<ssize_t>(size))
        return ErrnoResult(errno);
    return rc::Ok;
}

// The file is closed (and its lock let go) only once it has its final name
// or is gone, so that no other conversion takes it for a stale one.
Result OutputFile::Commit()
{
    const bool renamed = rename(m_temp.c_str(), m_target.c_str()) == 0;
    const int err = errno;
    if (m_fd >= 0) {
        close(m_fd);
        m_fd = -1;
    }
    if (!renamed) {
        m_complete = false;
        return ErrnoResult(err);
    }
    m_temp.clear();
    return rc::Ok;
}

void OutputFile::Discard()
{
    if (!m_complete && !m_temp.empty()) {
        std::error_code ec;
        fs::remove(m_temp, ec);
        m_temp.clear();
    }
    if (m_fd >= 0) {
        close(m_fd);
        m_fd = -1;
    }
}

int OutputFile::Write(void* opaque, std::uint8_t* buf, int size)
{
    auto* file = static_cast<OutputFile*>(opaque);
    const std::int64_t pos = file->m_pos;
    std::int64_t done = 0;
    while (done < size) {
        const ssize_t n = pwrite(file->m_fd, buf + done, static_cast<std::size_t>(size - done), pos + done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            file->m_writeErrno = n < 0 ? errno : ENOSPC;
            return AVERROR(file->m_writeErrno);
        }
        done += n;
    }
    file->m_pos = pos + size;
    if (pos + size > file->m_counters->bytes.load())
        file->m_counters->bytes = pos + size;
    return size;
}

std::int64_t OutputFile::Seek(void* opaque, std::int64_t offset, int whence)
{
    auto* file = static_cast<OutputFile*>(opaque);
    return SeekDescriptor(file->m_fd, file->m_pos, offset, whence);
}

// ---- the muxer ----

Muxer::Muxer(const JobConfig& cfg, Counters& counters, OutputFile& file, const AVCodecContext* venc,
             const AVCodecContext* aenc)
    : m_cfg(cfg), m_counters(counters), m_file(file), m_venc(venc), m_aenc(aenc)
{
}

Result Muxer::Open()
{
    AVFormatContext* oc = nullptr;
    if (avformat_alloc_output_context2(&oc, nullptr, "asf", nullptr) < 0)
        return rc::OutOfMemory;
    m_out.reset(oc);
    constexpr int kIoBuffer = 64 * 1024;
    auto* buffer = static_cast<unsigned char*>(av_malloc(kIoBuffer));
    if (!buffer)
        return rc::OutOfMemory;
    m_io.reset(avio_alloc_context(buffer, kIoBuffer, 1, &m_file, nullptr, OutputFile::Write, OutputFile::Seek));
    if (!m_io) {
        av_free(buffer);
        return rc::OutOfMemory;
    }
    oc->pb = m_io.get();
    oc->flags |= AVFMT_FLAG_CUSTOM_IO;
    if (m_venc) {
        m_vst = avformat_new_stream(oc, nullptr);
        if (!m_vst || avcodec_parameters_from_context(m_vst->codecpar, m_venc) < 0)
            return rc::OutOfMemory;
        m_vst->time_base = m_venc->time_base;
    }
    if (m_aenc) {
        m_ast = avformat_new_stream(oc, nullptr);
        if (!m_ast || avcodec_parameters_from_context(m_ast->codecpar, m_aenc) < 0)
            return rc::OutOfMemory;
        m_ast->time_base = m_aenc->time_base;
    }
    // Title, author and copyright also go to the muxer, so a header that
    // could not be rebuilt still names them; the placeholder makes room
    // for the full content description written at the end.
    const DisplayTexts& texts = m_cfg.texts;
    if (!texts.title.empty())
        av_dict_set(&oc->metadata, "title", ToUtf8(texts.title).c_str(), 0);
    if (!texts.author.empty())
        av_dict_set(&oc->metadata, "author", ToUtf8(texts.author).c_str(), 0);
    if (!texts.copyright.empty())
        av_dict_set(&oc->metadata, "copyright", ToUtf8(texts.copyright).c_str(), 0);
    av_dict_set(&oc->metadata, kAsfReserveKey, std::string(AsfReserveChars(texts), ' ').c_str(), 0);
    if (avformat_write_header(oc, nullptr) < 0)
        return m_file.WriteFailure(rc::WriteFault);
    // A limit that cannot even hold the header and an empty index is
    // refused rather than exceeded.
    if (m_cfg.maxFileSize > 0 && avio_tell(oc->pb) + 2 * kAsfPacketSize + 1024 > m_cfg.maxFileSize)
        return rc::SizeLimitTooSmall;
    return rc::Ok;
}

// The size the file would have at most if this packet were the last:
// what is written, the data packet being filled, the packet with its
// fragment headers, the index and a little room.
std::int64_t Muxer::ProjectedSize(const AVPacket* pkt, std::int64_t endMs) const
{
    const std::int64_t indexBytes = 56 + 6 * (endMs / 1000 + 3);
    return avio_tell(m_out->pb) + kAsfPacketSize + pkt->size + pkt->size / 8 + kAsfPacketSize + indexBytes + 1024;
}

std::int64_t Muxer::ReservedBytes(const JobConfig& cfg, std::int64_t durationMs, std::int64_t largestPacket)
{
    // The header was measured at 5 to 7 KB with the codec settings and the
    // encoder's own tags; the placeholder for the texts comes on top.
    constexpr std::int64_t kHeaderBytes = 8192;
    const auto texts = static_cast<std::int64_t>(2 * AsfReserveChars(cfg.texts) + 2);
    const std::int64_t indexBytes = 56 + 6 * (durationMs / 1000 + 3);
    return kHeaderBytes + texts + indexBytes + 2 * kAsfPacketSize + largestPacket + largestPacket / 8 + 1024;
}

bool Muxer::WritePacket(PassLink& ps, PacketPtr pkt, bool video)
{
    const AVCodecContext* enc = video ? m_venc : m_aenc;
    AVStream* st = video ? m_vst : m_ast;
    const std::int64_t endMs =
        av_rescale_q(pkt->pts + std::max<std::int64_t>(pkt->duration, 0), enc->time_base, AVRational{1, 1000});
    if (m_cfg.maxFileSize > 0 && ProjectedSize(pkt.get(), endMs) > m_cfg.maxFileSize) {
        // The file ends here, complete, with what it holds so far.
        m_limitReached = true;
        m_counters.keptMs = m_writtenMs;
        m_counters.limitReached = true;
        return false;
    }
    av_packet_rescale_ts(pkt.get(), enc->time_base, st->time_base);
    pkt->stream_index = st->index;
    if (av_write_frame(m_out.get(), pkt.get()) < 0) {
        ps.Fail(m_file.WriteFailure(rc::WriteFault));
        return false;
    }
    ps.packetPool.Put(std::move(pkt));
    m_pictures += video;
    m_writtenMs = std::max(m_writtenMs, endMs);
    const std::int64_t done = ps.number == 2 ? m_firstPassMs / 2 + endMs / 2 : endMs;
    if (done > m_counters.mediaMs.load())
        m_counters.mediaMs = done;
    return true;
}

// Writes the encoded packets in time order as far as both streams allow.
bool Muxer::WriteReady(PassLink& ps, bool videoEnded, bool audioEnded)
{
    for (;;) {
        const bool haveV = !m_videoReady.empty(), haveA = !m_audioReady.empty();
        bool video;
        if (haveV && haveA)
            video = av_compare_ts(m_videoReady.front()->dts, m_venc->time_base, m_audioReady.front()->dts,
                                  m_aenc->time_base) <= 0;
        else if (haveV && (audioEnded || m_videoReady.size() > kMaxSkew))
            video = true;
        else if (haveA && (videoEnded || m_audioReady.size() > kMaxSkew))
            video = false;
        else
            return true;
        auto& queue = video ? m_videoReady : m_audioReady;
        PacketPtr pkt = std::move(queue.front());
        queue.pop_front();
        if (!WritePacket(ps, std::move(pkt), video))
            return false;
    }
}

void Muxer::Run(PassLink& ps, AudioEncoder* audio, std::int64_t firstPassMs)
{
    m_firstPassMs = firstPassMs;
    bool videoEnded = !m_venc, audioEnded = !audio;
    MuxItem item;
    bool stopped = false;
    while (!(videoEnded && audioEnded) && ps.toMux.Pop(&item)) {
        ps.gate.Wait();
        switch (item.kind) {
        case MuxItem::VideoEnd:
            videoEnded = true;
            break;
        case MuxItem::AudioEnd:
            if (audio && !audioEnded && !ps.aborted)
                audio->Encode(ps, nullptr, &m_audioReady);
            audioEnded = true;
            break;
        case MuxItem::Video:
            if (!ps.writing()) {
                m_analysedMs =
                    std::max(m_analysedMs, av_rescale_q(item.packet->pts + 1, m_venc->time_base, AVRational{1, 1000}));
                // Nothing of the output is written yet: its size stays 0.
                m_counters.mediaMs = m_analysedMs / 2;
                ps.packetPool.Put(std::move(item.packet));
            } else {
                m_videoReady.push_back(std::move(item.packet));
            }
            break;
        case MuxItem::Audio:
            audio->Encode(ps, item.frame.get(), &m_audioReady);
            ps.audioPool.Put(std::move(item.frame));
            break;
        }
        if (ps.writing() && !ps.aborted && !WriteReady(ps, videoEnded, audioEnded)) {
            stopped = true;
            break;
        }
    }
    // Stopped by the user: what is encoded already still goes in the file.
    if (ps.writing() && !stopped && ps.failure == rc::Ok)
        WriteReady(ps, true, true);
    if (m_limitReached)
        ps.Abort();
}

Result Muxer::WriteTrailer()
{
    if (av_write_trailer(m_out.get()) < 0)
        return m_file.WriteFailure(rc::WriteFault);
    avio_flush(m_out->pb);
    return m_file.WriteFailure(rc::Ok);
}

} // namespace mce::ff
