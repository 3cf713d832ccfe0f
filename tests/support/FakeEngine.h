// A recording fake of the encoding engine for session and window tests.
//
// Every engine call is appended to `calls` as "Object.Method(argument)" in
// the order made; every engine object's destruction as "Release Object". Any
// call can be made to fail with a code: by its name ("Encoder.Start") or by
// its full entry ("VideoSource.SetCroppingTopMargin(8)"). Output size,
// converted duration, run state and a failure while encoding are the test's
// to set. The fake keeps no reference to the objects it hands out, so
// `liveObjects` tells what the caller still holds.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "Engine.h"

namespace testsupport {

class FakeEngine final : public mce::IEngineFactory {
public:
    FakeEngine();
    ~FakeEngine() override;
    FakeEngine(const FakeEngine&) = delete;
    FakeEngine& operator=(const FakeEngine&) = delete;

    mce::Result Initialize() override;
    void Uninitialize() override;
    mce::Result CreateEncoder(std::shared_ptr<mce::IEncoder>* encoder) override;
    mce::Result CreateProfile(std::shared_ptr<mce::IProfile>* profile) override;

    // Records the call and answers with its scripted failure, else Ok.
    mce::Result Call(const std::string& name, const std::string& argument = {});
    void Fail(const std::string& call, mce::Result code = mce::rc::Fail) { failures[call] = code; }

    // Entries of `calls` that start with prefix, in order.
    std::vector<std::string> CallsStartingWith(const std::string& prefix) const;
    std::size_t Count(const std::string& prefix) const { return CallsStartingWith(prefix).size(); }
    std::string Log() const; // all calls, one a line, for failure messages

    std::vector<std::string> calls;
    std::map<std::string, mce::Result> failures;

    // Statistics: each read answers the value, then adds the step.
    std::int64_t fileSize = 0;
    std::int64_t fileSizeStep = 0;
    std::int64_t duration = 0;
    std::int64_t durationStep = 0;
    std::int64_t sourceDuration = 0; // what GetSourceDuration answers
    mce::SizeFit sizeFit;            // what GetSizeFit answers

    // Run state: Start sets Encoding, Pause Paused, Stop Stopped; the test
    // sets Stopped as the engine's own end of the input, with a runFailure
    // as a failure while encoding. Without reportsRunState the engine is one
    // that cannot tell, and answers Unknown.
    mce::RunState runState = mce::RunState::Idle;
    mce::Result runFailure = mce::rc::Ok;
    bool reportsRunState = true;

    std::vector<std::u16string> installedProfiles;

    int initCount = 0;   // Initialize calls not yet balanced by Uninitialize
    int liveObjects = 0; // engine objects handed out and not yet destroyed
};

// Installs a factory for its lifetime and puts the previous one back.
class ScopedFactory {
public:
    explicit ScopedFactory(mce::IEngineFactory* factory);
    ~ScopedFactory();
    ScopedFactory(const ScopedFactory&) = delete;
    ScopedFactory& operator=(const ScopedFactory&) = delete;

private:
    mce::IEngineFactory* m_previous;
};

std::string Narrow(const char16_t* text);

} // namespace testsupport
