// The engine's own reading of source files. FFmpeg's demuxers read through
// this I/O context instead of FFmpeg's file protocol, so that a read the
// system refuses (a scratched disc, a disc taken out, an I/O error) is told
// apart from the end of the file: FFmpeg's demuxers take both for an end.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "FfPtr.h"

namespace mce::ff {

// FFmpeg's seek (AVSEEK_SIZE included) over a file descriptor whose position
// the caller keeps in pos; shared by the source and the output file.
std::int64_t SeekDescriptor(int fd, std::int64_t& pos, std::int64_t offset, int whence);

// What a demuxer reads through: one file, or a DVD title's cells.
class SourceReader {
public:
    virtual ~SourceReader() = default;
    virtual AVIOContext* Context() const = 0;
    // The errno of the first read that failed, 0 while none has.
    virtual int Fault() const = 0;
};

// Opened on the controller thread, then read by the decode thread.
class SourceFile final : public SourceReader {
public:
    ~SourceFile() override;
    SourceFile(const SourceFile&) = delete;
    SourceFile& operator=(const SourceFile&) = delete;

    // Null when the file cannot be opened for reading.
    static std::unique_ptr<SourceFile> Open(const std::string& path);
    AVIOContext* Context() const override { return m_io.get(); }
    int Fault() const override { return m_fault; }

private:
    SourceFile() = default;
    static int Read(void* opaque, std::uint8_t* buf, int size);
    static std::int64_t Seek(void* opaque, std::int64_t offset, int whence);

    int m_fd = -1;
    std::int64_t m_pos = 0;
    std::int64_t m_faultFrom = -1; // see FailSourceReadsFrom
    int m_fault = 0;
    std::unique_ptr<AVIOContext, IoFree> m_io;
};

// For tests: in every source file opened from now on, reads that reach
// `offset` bytes fail with EIO, as on a damaged disc; negative: no faults.
void FailSourceReadsFrom(std::int64_t offset);
// Where FailSourceReadsFrom last set the damage to begin; negative: none.
std::int64_t SourceFaultOffset();

} // namespace mce::ff
