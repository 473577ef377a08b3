#include "services/dialup.h"

#include "util/log.h"
#include "util/texts.h"

namespace sg {

bool dialIfNeeded(const CrawlSettings& settings, bool offline, ConnectionStateLayer& layer) {
  if (offline || !settings.autoDial) return true;
  const ConnectionState state = layer.query();
  // Without a modem the download goes ahead whatever the state: a network
  // that is down shows up as connection errors of the links, which say more
  // than a refusal to start would.
  if (!state.modem || state.connected) return true;
  // A busy modem carries another connection; dialling over it would fail or
  // break that connection, so it is not tried.
  if (!state.modemBusy && layer.autodial()) return true;
  logMessage(text::kConnectionFailed);
  return false;
}

void hangUpIfDialled(const CrawlSettings& settings, ConnectionStateLayer& layer) {
  if (!settings.autoDial || !settings.autoDisconnect) return;
  const ConnectionState state = layer.query();
  if (!state.connected || !state.modem) return;
  // A line that was already up when the download started is hung up too:
  // nothing records who dialled it. A failed hang-up is not reported.
  if (layer.hangUp()) logMessage(text::kModemDisconnected);
}

}  // namespace sg
