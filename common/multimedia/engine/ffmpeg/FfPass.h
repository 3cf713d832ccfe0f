// What the threads of one pass share: the queues between them, the frame and
// packet pools, and the failure that ends the pass. Everything here is safe
// to use from any thread; the state of each stage lives in the stage's own
// type, owned by the one thread that runs it:
//
//   decode thread     Source (reading and decoding)
//   scale thread      VideoScaler, AudioResampler
//   encode thread     VideoEncoder
//   controller thread AudioEncoder, Muxer, OutputFile, the job itself
#pragma once

#include <atomic>

#include "BoundedQueue.h"
#include "Engine.h"
#include "FfPtr.h"

namespace mce::ff {

struct Decoded {
    FramePtr frame;
    bool audio = false;
};

struct MuxItem {
    enum Kind { Video, Audio, VideoEnd, AudioEnd } kind = Video;
    PacketPtr packet; // Video
    FramePtr frame;   // Audio
};

struct PassLink {
    // pictureSlots: how many scaled pictures may wait for the encoder.
    PassLink(int n, PauseGate& g, std::size_t pictureSlots) : number(n), gate(g), pictures(pictureSlots) {}
    const int number; // 0 single pass, 1 analysis, 2 final
    bool writing() const { return number != 1; }
    PauseGate& gate;

    BoundedQueue<Decoded> decoded{8}; // decode -> scale
    BoundedQueue<FramePtr> pictures;  // scale -> encode
    BoundedQueue<MuxItem> toMux{48};  // scale (audio), encode (video) -> controller
    FramePool rawPool;
    FramePool picturePool{true};
    FramePool audioPool{true};
    PacketPool packetPool;

    std::atomic<bool> aborted{false};
    std::atomic<Result> failure{rc::Ok};

    void Fail(Result r)
    {
        Result expected = rc::Ok;
        failure.compare_exchange_strong(expected, r);
        Abort();
    }
    void Abort()
    {
        aborted = true;
        decoded.Abort();
        pictures.Abort();
        toMux.Abort();
    }
    bool Push(MuxItem::Kind end)
    {
        MuxItem item;
        item.kind = end;
        return toMux.Push(std::move(item));
    }
};

} // namespace mce::ff
