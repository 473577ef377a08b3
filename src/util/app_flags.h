// Process-wide switches of the running program. Thread-safe.
#pragma once

namespace sg {

// Stealth mode: no User-Agent header, robots rules read but not applied,
// robots meta tags ignored.
bool stealthMode();
void setStealthMode(bool on);

}  // namespace sg
