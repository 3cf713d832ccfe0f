// The engine's encoder object and the sub-objects it hands out. All of them
// share one state record; configuration is refused while an encoding runs,
// and the statistics read counters without waiting for the encoding threads.
#pragma once

#include <memory>

#include "Engine.h"

namespace mce::ff {

struct EncoderState;

class FfEncoder final : public IEncoder {
public:
    FfEncoder();
    ~FfEncoder() override;

    Result GetSourceGroupCollection(std::shared_ptr<ISourceGroupCollection>* out) override;
    Result GetDisplayInfo(std::shared_ptr<IDisplayInfo>* out) override;
    Result GetAttributes(ObjectRef* out) override;
    Result GetFile(std::shared_ptr<IOutputFile>* out) override;
    Result GetProfileCollection(std::shared_ptr<IProfileCollection>* out) override;
    Result GetStatistics(std::shared_ptr<IStatistics>* out) override;

    Result SetAutoStop(std::int16_t enable) override;
    Result PrepareToEncode(std::int16_t prepare) override;
    Result Start() override;
    Result Pause() override;
    Result Stop() override;
    RunState GetRunState(Result* failure) override;

private:
    std::shared_ptr<EncoderState> m_state;
    std::shared_ptr<ISourceGroupCollection> m_groups;
    std::shared_ptr<IDisplayInfo> m_display;
    ObjectRef m_attributes;
    std::shared_ptr<IOutputFile> m_file;
    std::shared_ptr<IProfileCollection> m_profiles;
    std::shared_ptr<IStatistics> m_statistics;
};

} // namespace mce::ff
