#include "base/Runtime.h"

#include <stdexcept>

namespace nocturo {

namespace {
Runtime* g_runtime = nullptr;
}

Runtime& rt() {
    if (!g_runtime) throw std::logic_error("no runtime installed");
    return *g_runtime;
}

bool hasRuntime() { return g_runtime != nullptr; }

RuntimeScope::RuntimeScope(Runtime& r) : previous_(g_runtime) { g_runtime = &r; }
RuntimeScope::~RuntimeScope() { g_runtime = previous_; }

void DoEvents() {
    if (g_runtime && g_runtime->pf.loop) g_runtime->pf.loop->yield();
}

void WaitEvents() {
    if (g_runtime && g_runtime->pf.loop) g_runtime->pf.loop->idle(5);
}

}  // namespace nocturo
