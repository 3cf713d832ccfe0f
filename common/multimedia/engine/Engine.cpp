#include "Engine.h"

#include <atomic>

namespace mce {
namespace {
std::atomic<IEngineFactory*> g_factory{nullptr};
}

IEngineFactory* InstalledFactory() { return g_factory.load(); }
void InstallFactory(IEngineFactory* factory) { g_factory.store(factory); }

}  // namespace mce
