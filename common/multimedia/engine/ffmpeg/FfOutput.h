// The output stage: the hidden temporary file beside the target, the muxer
// writing into it through FFmpeg's I/O callbacks, interleaving and the size
// limit, the content description rewritten into the header, and the commit
// that puts the finished file in the target's place.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>

#include "FfAudio.h"
#include "FfJob.h"
#include "FfPass.h"

namespace mce::ff {

// The file being written, for the whole job. Used by the controller thread
// only (the muxer's I/O callbacks run on it too); the statistics read the
// byte counter.
class OutputFile {
public:
    explicit OutputFile(std::shared_ptr<Counters> counters) : m_counters(std::move(counters)) {}
    ~OutputFile(); // a file that is not complete is removed
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Creates the hidden temporary file beside the target.
    Result Create(const std::string& outputPath);
    // The file starts again from its first byte (the final pass of two).
    void Rewind() { m_pos = 0; }
    // A write failure's code, or `otherwise` when no write failed.
    Result WriteFailure(Result otherwise) const;
    // Puts the finished file's content description where players read it.
    Result RewriteHeader(const DisplayTexts& texts);
    void MarkComplete() { m_complete = true; }
    bool Complete() const { return m_complete; }
    // Replaces the target with the complete file.
    Result Commit();
    // Closes the file, and removes it when it is not complete.
    void Discard();

    // Called between the temporary file's creation and its lock, for tests
    // of what another conversion may do to it meanwhile.
    void SetCreatedHook(std::function<void(const std::filesystem::path&)> hook) { m_createdHook = std::move(hook); }

    static int Write(void* opaque, std::uint8_t* buf, int size);
    static std::int64_t Seek(void* opaque, std::int64_t offset, int whence);

private:
    std::shared_ptr<Counters> m_counters;
    std::filesystem::path m_target, m_temp;
    std::function<void(const std::filesystem::path&)> m_createdHook;
    int m_fd = -1;
    std::int64_t m_pos = 0;
    int m_writeErrno = 0;
    bool m_complete = false;
};

// One pass's muxer, on the controller thread, with the audio encoder.
class Muxer {
public:
    // venc, aenc: the pass's opened encoders, either may be null.
    Muxer(const JobConfig& cfg, Counters& counters, OutputFile& file, const AVCodecContext* venc,
          const AVCodecContext* aenc);
    // Opens the ASF muxer over the file and writes its header (passes that
    // write only).
    Result Open();
    // Takes encoded video and audio frames from the pass until both end.
    // firstPassMs: the length the analysis pass saw, for the counters.
    void Run(PassLink& ps, AudioEncoder* audio, std::int64_t firstPassMs);
    Result WriteTrailer();
    // The media time the analysis pass saw.
    std::int64_t AnalysedMs() const { return m_analysedMs; }
    // Pictures in the file, and whether the size limit ended it.
    std::int64_t Pictures() const { return m_pictures; }
    bool LimitReached() const { return m_limitReached; }
    // Bytes of a file of durationMs that are no media: the header with its
    // room for the display texts, the index, and what the size check keeps
    // free for the packet being written (one of at most largestPacket bytes).
    static std::int64_t ReservedBytes(const JobConfig& cfg, std::int64_t durationMs, std::int64_t largestPacket);

private:
    bool WritePacket(PassLink& ps, PacketPtr pkt, bool video);
    bool WriteReady(PassLink& ps, bool videoEnded, bool audioEnded);
    std::int64_t ProjectedSize(const AVPacket* pkt, std::int64_t endMs) const;

    const JobConfig& m_cfg;
    Counters& m_counters;
    OutputFile& m_file;
    const AVCodecContext* m_venc; // read for their parameters only
    const AVCodecContext* m_aenc;
    std::unique_ptr<AVFormatContext, OutputFree> m_out;
    std::unique_ptr<AVIOContext, IoFree> m_io;
    AVStream* m_vst = nullptr;
    AVStream* m_ast = nullptr;
    std::deque<PacketPtr> m_videoReady, m_audioReady;
    std::int64_t m_firstPassMs = 0;
    std::int64_t m_analysedMs = 0;
    std::int64_t m_writtenMs = 0; // media time in the file so far
    std::int64_t m_pictures = 0;
    bool m_limitReached = false;
};

} // namespace mce::ff
