// Dialling a modem connection before a download and hanging it up after,
// as `AutoDial` and `AutoDisconnect` ask.
#pragma once

#include "engine/crawl_settings.h"
#include "platform/connection_state.h"

namespace sg {

// True when the download may go on; false (logged "Connection to the
// internet failed.") when no connection could be made.
bool dialIfNeeded(const CrawlSettings& settings, bool offline, ConnectionStateLayer& layer);
// Hangs up a modem connection when both settings ask for it ("Modem
// disconnected." when it was).
void hangUpIfDialled(const CrawlSettings& settings, ConnectionStateLayer& layer);

}  // namespace sg
