// A chain of FFmpeg's own video filters (deinterlacing, tone mapping, turning
// the picture upright) between one buffer source and one buffer sink. Used by
// the video scaler on the scale thread only.
#pragma once

#include <memory>
#include <string>

#include "FfPtr.h"

struct AVFilterGraph;
struct AVFilterContext;

namespace mce::ff {

class FilterChain {
public:
    FilterChain();
    ~FilterChain();
    FilterChain(const FilterChain&) = delete;
    FilterChain& operator=(const FilterChain&) = delete;

    // Builds the chain for frames like `like`, stamped in timeBase: 0, or
    // FFmpeg's error when it cannot build it.
    int Open(const AVFrame* like, AVRational timeBase, const std::string& description);
    bool IsOpen() const { return m_graph != nullptr; }
    // True when f has the size and format the chain was built for.
    bool Fits(const AVFrame* f) const;
    // Hands a frame to the chain (its buffers are taken over, the frame is
    // left empty); null marks the end, after which the chain holds nothing
    // new. 0, or FFmpeg's error.
    int Send(AVFrame* f);
    // 0 with the next filtered frame, stamped in the time base the chain was
    // opened with; AVERROR(EAGAIN) while the chain holds none ready,
    // AVERROR_EOF after the end, else FFmpeg's error.
    int Receive(AVFrame* out);
    void Close();

private:
    struct GraphFree {
        void operator()(AVFilterGraph* g) const;
    };
    std::unique_ptr<AVFilterGraph, GraphFree> m_graph;
    AVFilterContext* m_src = nullptr;  // owned by the graph
    AVFilterContext* m_sink = nullptr; // owned by the graph
    int m_width = 0, m_height = 0, m_format = -1;
    AVRational m_timeBase{1, 1};
};

// For tests: in every chain opened from now on, each `filter` of its
// description becomes `replacement` (a filter FFmpeg refuses, or one that
// keeps the pictures back); an empty `filter` ends it.
void RewriteFilterChains(const std::string& filter, const std::string& replacement);

} // namespace mce::ff
