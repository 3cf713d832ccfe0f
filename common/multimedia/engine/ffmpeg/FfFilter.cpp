#include "FfFilter.h"

#include <cstdio>

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
}

namespace mce::ff {

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

bool FilterChain::Open(const AVFrame* like, AVRational timeBase, const std::string& description)
{
    Close();
    m_graph.reset(avfilter_graph_alloc());
    if (!m_graph)
        return false;
    // The filters run on the scale thread, beside the other stages' threads.
    m_graph->nb_threads = 1;
    const AVRational sar = like->sample_aspect_ratio.num > 0 ? like->sample_aspect_ratio : AVRational{0, 1};
    char args[256];
    std::snprintf(args, sizeof args, "video_size=%dx%d:pix_fmt=%d:time_base=%d/%d:pixel_aspect=%d/%d", like->width,
                  like->height, like->format, timeBase.num, timeBase.den, sar.num, sar.den > 0 ? sar.den : 1);
    AVFilterInOut* outputs = nullptr;
    AVFilterInOut* inputs = nullptr;
    bool ok =
        avfilter_graph_create_filter(&m_src, avfilter_get_by_name("buffer"), "in", args, nullptr, m_graph.get()) >= 0 &&
        avfilter_graph_create_filter(&m_sink, avfilter_get_by_name("buffersink"), "out", nullptr, nullptr,
                                     m_graph.get()) >= 0;
    if (ok) {
        outputs = avfilter_inout_alloc();
        inputs = avfilter_inout_alloc();
        ok = outputs && inputs;
    }
    if (ok) {
        outputs->name = av_strdup("in");
        outputs->filter_ctx = m_src;
        inputs->name = av_strdup("out");
        inputs->filter_ctx = m_sink;
        ok = outputs->name && inputs->name &&
             avfilter_graph_parse_ptr(m_graph.get(), description.c_str(), &inputs, &outputs, nullptr) >= 0 &&
             avfilter_graph_config(m_graph.get(), nullptr) >= 0;
    }
    avfilter_inout_free(&inputs);
    avfilter_inout_free(&outputs);
    if (!ok) {
        Close();
        return false;
    }
    m_width = like->width;
    m_height = like->height;
    m_format = like->format;
    m_timeBase = timeBase;
    return true;
}

bool FilterChain::Fits(const AVFrame* f) const
{
    return m_graph && f->width == m_width && f->height == m_height && f->format == m_format;
}

bool FilterChain::Send(AVFrame* f)
{
    return m_graph && av_buffersrc_add_frame_flags(m_src, f, 0) >= 0;
}

bool FilterChain::Receive(AVFrame* out)
{
    if (!m_graph || av_buffersink_get_frame(m_sink, out) < 0)
        return false;
    // Deinterlacers count in field times even when they give one frame a frame.
    if (out->pts != AV_NOPTS_VALUE)
        out->pts = av_rescale_q(out->pts, av_buffersink_get_time_base(m_sink), m_timeBase);
    return true;
}

} // namespace mce::ff
