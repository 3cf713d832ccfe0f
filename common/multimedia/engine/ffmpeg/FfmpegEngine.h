// The engine on FFmpeg: the factory the program, the headless converter and
// the tests install with mce::InstallFactory(&mce::FfmpegEngineFactory()).
#pragma once

#include "Engine.h"

namespace mce {

IEngineFactory& FfmpegEngineFactory();

} // namespace mce
