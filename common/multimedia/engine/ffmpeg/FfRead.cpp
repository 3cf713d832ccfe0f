#include "FfRead.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace mce::ff {
namespace {

std::atomic<std::int64_t> g_faultFrom{-1};

// The size of FFmpeg's own file protocol buffer: demuxers see the same reads.
constexpr int kReadBuffer = 32768;

} // namespace

void FailSourceReadsFrom(std::int64_t offset)
{
    g_faultFrom = offset;
}

std::int64_t SourceFaultOffset()
{
    return g_faultFrom.load();
}

SourceFile::~SourceFile()
{
    m_io.reset();
    if (m_fd >= 0)
        close(m_fd);
}

std::unique_ptr<SourceFile> SourceFile::Open(const std::string& path)
{
    std::unique_ptr<SourceFile> f(new SourceFile);
    f->m_fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (f->m_fd < 0)
        return nullptr;
    auto* buffer = static_cast<unsigned char*>(av_malloc(kReadBuffer));
    if (!buffer)
        return nullptr;
    f->m_io.reset(avio_alloc_context(buffer, kReadBuffer, 0, f.get(), Read, nullptr, Seek));
    if (!f->m_io) {
        av_free(buffer);
        return nullptr;
    }
    f->m_faultFrom = g_faultFrom.load();
    return f;
}

int SourceFile::Read(void* opaque, std::uint8_t* buf, int size)
{
    auto* f = static_cast<SourceFile*>(opaque);
    if (f->m_faultFrom >= 0 && f->m_pos + size > f->m_faultFrom) {
        // What lies before the damage still reads.
        size = static_cast<int>(f->m_faultFrom - f->m_pos);
        if (size <= 0) {
            f->m_fault = EIO;
            return AVERROR(EIO);
        }
    }
    for (;;) {
        const ssize_t n = pread(f->m_fd, buf, static_cast<std::size_t>(size), f->m_pos);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            if (!f->m_fault)
                f->m_fault = errno;
            return AVERROR(errno);
        }
        if (n == 0)
            return AVERROR_EOF;
        f->m_pos += n;
        return static_cast<int>(n);
    }
}

std::int64_t SeekDescriptor(int fd, std::int64_t& pos, std::int64_t offset, int whence)
{
    struct stat st {};
    switch (whence & ~AVSEEK_FORCE) {
    case AVSEEK_SIZE:
        return fstat(fd, &st) == 0 ? st.st_size : AVERROR(errno);
    case SEEK_SET:
        break;
    case SEEK_CUR:
        offset += pos;
        break;
    case SEEK_END:
        if (fstat(fd, &st) != 0)
            return AVERROR(errno);
        offset += st.st_size;
        break;
    default:
        return AVERROR(EINVAL);
    }
    if (offset < 0)
        return AVERROR(EINVAL);
    pos = offset;
    return offset;
}

std::int64_t SourceFile::Seek(void* opaque, std::int64_t offset, int whence)
{
    auto* f = static_cast<SourceFile*>(opaque);
    return SeekDescriptor(f->m_fd, f->m_pos, offset, whence);
}

} // namespace mce::ff
