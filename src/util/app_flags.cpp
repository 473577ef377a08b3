#include "util/app_flags.h"

#include <atomic>

namespace sg {

namespace {
std::atomic<bool> g_stealth{false};
}  // namespace

bool stealthMode() { return g_stealth.load(std::memory_order_relaxed); }
void setStealthMode(bool on) { g_stealth.store(on, std::memory_order_relaxed); }

}  // namespace sg
