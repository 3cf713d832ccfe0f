#include "FfFilter.h"

#include <cstdio>
#include <mutex>

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
}

namespace mce::ff {
namespace {

std::mutex g_rewriteMutex;
std::string g_rewriteFrom, g_rewriteTo; // see RewriteFilterChains

std::string Rewritten(std::string description)
{
    std::lock_guard lock(g_rewriteMutex);
    if (g_rewriteFrom.empty())
        return description;
    for (auto at = description.find(g_rewriteFrom); at != std::string::npos;
         at = description.find(g_rewriteFrom, at + g_rewriteTo.size()))
        description.replace(at, g_rewriteFrom.size(), g_rewriteTo);
    return description;
}

} // namespace

void RewriteFilterChains(const std::string& filter, const std::string& replacement)
{
    std::lock_guard lock(g_rewriteMutex);
    g_rewriteFrom = filter;
    g_rewriteTo = replacement;
}

void FilterChain::GraphFree::operator()(AVFilterGraph* g) const
{
    avfilter_graph_free(&g);
}

FilterChain::FilterChain() = default;
FilterChain::~FilterChain() = default;

void FilterChain::Close()
{
    m_graph.reset();
    m_src = m_sink = nullptr;
}

int FilterChain::Open(const AVFrame* like, AVRational timeBase, const std::string& description)
{
    Close();
    m_graph.reset(avfilter_graph_alloc());
    if (!m_graph)
        return AVERROR(ENOMEM);
    // The filters run on the scale thread, beside the other stages' threads.
    m_graph->nb_threads = 1;
    const AVRational sar = like->sample_aspect_ratio.num > 0 ? like->sample_aspect_ratio : AVRational{0, 1};
    char args[256];
    std::snprintf(args, sizeof args, "video_size=%dx%d:pix_fmt=%d:time_base=%d/%d:pixel_aspect=%d/%d", like->width,
                  like->height, like->format, timeBase.num, timeBase.den, sar.num, sar.den > 0 ? sar.den : 1);
    AVFilterInOut* outputs = nullptr;
    AVFilterInOut* inputs = nullptr;
    int r = avfilter_graph_create_filter(&m_src, avfilter_get_by_name("buffer"), "in", args, nullptr, m_graph.get());
    if (r >= 0)
        r = avfilter_graph_create_filter(&m_sink, avfilter_get_by_name("buffersink"), "out", nullptr, nullptr,
                                         m_graph.get());
    if (r >= 0) {
        outputs = avfilter_inout_alloc();
        inputs = avfilter_inout_alloc();
        if (outputs)
            outputs->name = av_strdup("in");
        if (inputs)
            inputs->name = av_strdup("out");
        if (!outputs || !inputs || !outputs->name || !inputs->name)
            r = AVERROR(ENOMEM);
    }
    if (r >= 0) {
        outputs->filter_ctx = m_src;
        inputs->filter_ctx = m_sink;
        r = avfilter_graph_parse_ptr(m_graph.get(), Rewritten(description).c_str(), &inputs, &outputs, nullptr);
    }
    if (r >= 0)
        r = avfilter_graph_config(m_graph.get(), nullptr);
    avfilter_inout_free(&inputs);
    avfilter_inout_free(&outputs);
    if (r < 0) {
        Close();
        return r;
    }
    m_width = like->width;
    m_height = like->height;
    m_format = like->format;
    m_timeBase = timeBase;
    return 0;
}

bool FilterChain::Fits(const AVFrame* f) const
{
    return m_graph && f->width == m_width && f->height == m_height && f->format == m_format;
}

int FilterChain::Send(AVFrame* f)
{
    if (!m_graph)
        return AVERROR(EINVAL);
    const int r = av_buffersrc_add_frame_flags(m_src, f, 0);
    return r < 0 ? r : 0;
}

int FilterChain::Receive(AVFrame* out)
{
    if (!m_graph)
        return AVERROR(EINVAL);
    if (const int r = av_buffersink_get_frame(m_sink, out); r < 0)
        return r;
    // Deinterlacers count in field times even when they give one frame a frame.
    if (out->pts != AV_NOPTS_VALUE)
        out->pts = av_rescale_q(out->pts, av_buffersink_get_time_base(m_sink), m_timeBase);
    return 0;
}

} // namespace mce::ff
