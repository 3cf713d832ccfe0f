// One conversion: a source group's video (and audio) file into one ASF file
// with the group's profile. Prepare checks everything that can be checked
// before any byte is written and reports it with the encoder error codes;
// Start runs the pipeline on threads of its own:
//
//   demux + decode  ->  deinterlace, frame rate, turn upright,  ->  video encode
//                       crop, scale + resample                         |
//                                  |                                   |
//                                  +------ audio frames -------> audio encode + mux
//
// (FfSource, FfVideo, FfAudio, FfOutput: one stage each)
// joined by small bounded queues, so memory stays flat whatever the length
// of the source, and paused by one gate that every thread waits at.
// The output goes to a hidden temporary file beside the target and replaces
// the target only when it is complete.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "AsfHeader.h"
#include "Engine.h"
#include "EngineProfile.h"

namespace mce::ff {

struct JobConfig {
    std::string videoPath; // UTF-8
    std::string audioPath; // empty: the video file
    int cropLeft = 0, cropTop = 0, cropRight = 0, cropBottom = 0;
    bool twoPass = false;
    EngineProfile profile;
    std::string outputPath;
    std::int64_t maxFileSize = 0; // 0: no limit
    DisplayTexts texts;
};

// What the statistics objects read while the threads write it.
struct Counters {
    std::atomic<std::int64_t> bytes{0};    // bytes of the output so far
    std::atomic<std::int64_t> mediaMs{0};  // media time converted so far
    std::atomic<std::int64_t> sourceMs{0}; // length of the prepared source, 0 unknown
    // How the size limit shaped the output: the video rate the final pass
    // runs at when it is not the profile's (0: the profile's), and whether the limit
    // was reached before the source's end, with the media time written then.
    std::atomic<std::int32_t> fittedBitrate{0};
    std::atomic<bool> rateRaised{false}; // fittedBitrate is above the profile's
    std::atomic<bool> limitReached{false};
    std::atomic<std::int64_t> keptMs{0};
};

class Job {
public:
    Job(JobConfig config, std::shared_ptr<Counters> counters);
    ~Job(); // stops a running conversion; a file that is not complete is removed
    Job(const Job&) = delete;
    Job& operator=(const Job&) = delete;

    Result Prepare();
    // Runs the conversion; onDone is called once, on an engine thread, with
    // rc::Ok or the failure that ended it.
    void Start(std::function<void(Result)> onDone);
    void Pause();
    void Resume();
    // Ends the conversion now and waits until the file is finished.
    void Stop();
    void Join();

    struct Impl;

private:
    std::unique_ptr<Impl> m_impl;
};

} // namespace mce::ff
