#include "services/dialup.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/log_lines.h"
#include "util/log.h"

namespace sg {
namespace {

// A modem that exists only in the test: it answers with a scripted state,
// records every call in order, and its line comes up when a dial succeeds
// and goes down when a hang-up succeeds.
class ScriptedModem : public ConnectionStateLayer {
 public:
  ScriptedModem(ConnectionState state, bool dialWorks, bool hangUpWorks)
      : m_state(state), m_dialWorks(dialWorks), m_hangUpWorks(hangUpWorks) {}

  ConnectionState query() override {
    m_calls.push_back("query");
    return m_state;
  }
  bool autodial() override {
    m_calls.push_back("autodial");
    if (m_dialWorks) m_state.connected = true;
    return m_dialWorks;
  }
  bool hangUp() override {
    m_calls.push_back("hangUp");
    if (m_hangUpWorks) m_state.connected = false;
    return m_hangUpWorks;
  }

  const std::vector<std::string>& calls() const { return m_calls; }

 private:
  ConnectionState m_state;
  bool m_dialWorks;
  bool m_hangUpWorks;
  std::vector<std::string> m_calls;
};

class DialupTest : public ::testing::Test {
 protected:
  void SetUp() override { logQueue().clear(); }
  void TearDown() override { logQueue().clear(); }
  static CrawlSettings dialAndHangUp() {
    CrawlSettings settings;
    settings.autoDial = true;
    settings.autoDisconnect = true;
    return settings;
  }
};

using Calls = std::vector<std::string>;
using Lines = std::vector<std::string>;

constexpr ConnectionState kNetworkUp{.connected = true, .modem = false, .modemBusy = false};
constexpr ConnectionState kModemUp{.connected = true, .modem = true, .modemBusy = false};
constexpr ConnectionState kModemDown{.connected = false, .modem = true, .modemBusy = false};
constexpr ConnectionState kModemBusy{.connected = false, .modem = true, .modemBusy = true};

// One download from start to end: the dial before it and, when it could
// start, the hang-up after it.
struct DownloadCase {
  const char* name;
  bool autoDial, autoDisconnect, offline;
  ConnectionState state;
  bool dialWorks, hangUpWorks;
  bool starts;  // expected, with the calls made and the lines logged
  Calls calls;
  Lines log;
};

const DownloadCase kDownloadCases[] = {
    // A network connection without the modem flag: the download starts
    // whatever the settings and the state, and the line is left alone.
    {"network up, both settings on", true, true, false, kNetworkUp, true, true, true, {"query", "query"}, {}},

    // Working offline: nothing is dialled, the state is not even asked.
    {"offline, modem down", true, true, true, kModemDown, true, true, true, {"query"}, {}},

    // The modem line is already up: no dial; hung up at the end only when
    // both settings ask for it, even though this program did not dial it.
    {"modem up, both settings on",
     true,
     true,
     false,
     kModemUp,
     true,
     true,
     true,
     {"query", "query", "hangUp"},
     {"Modem disconnected."}},
    {"modem up, AutoDisconnect off", true, false, false, kModemUp, true, true, true, {"query"}, {}},

    // The modem line is down.
    {"modem down, AutoDial off", false, true, false, kModemDown, true, true, true, {}, {}},
    {"modem down, dial succeeds, hung up at the end",
     true,
     true,
     false,
     kModemDown,
     true,
     true,
     true,
     {"query", "autodial", "query", "hangUp"},
     {"Modem disconnected."}},
    {"modem down, dial fails",
     true,
     true,
     false,
     kModemDown,
     false,
     true,
     false,
     {"query", "autodial"},
     {"Connection to the internet failed."}},
    {"modem busy, no dial attempt",
     true,
     true,
     false,
     kModemBusy,
     true,
     true,
     false,
     {"query"},
     {"Connection to the internet failed."}},
};

TEST_F(DialupTest, DownloadDialsAndHangsUpAsSettingsAndStateAsk) {
  for (const DownloadCase& c : kDownloadCases) {
    SCOPED_TRACE(c.name);
    logQueue().clear();
    CrawlSettings settings;
    settings.autoDial = c.autoDial;
    settings.autoDisconnect = c.autoDisconnect;
    ScriptedModem modem(c.state, c.dialWorks, c.hangUpWorks);

    const bool starts = dialIfNeeded(settings, c.offline, modem);
    if (starts) hangUpIfDialled(settings, modem);

    EXPECT_EQ(starts, c.starts);
    EXPECT_EQ(modem.calls(), c.calls);
    EXPECT_EQ(test::drainLog(), c.log);
  }
}

TEST_F(DialupTest, SystemLayerHasNoModemAndNeverStopsADownload) {
  ConnectionStateLayer& layer = systemConnectionState();
  const ConnectionState state = layer.query();
  EXPECT_FALSE(state.modem);
  EXPECT_FALSE(state.modemBusy);
  EXPECT_FALSE(layer.autodial());
  EXPECT_FALSE(layer.hangUp());
  CrawlSettings settings;
  settings.autoDial = true;
  settings.autoDisconnect = true;
  EXPECT_TRUE(dialIfNeeded(settings, false, layer));
  hangUpIfDialled(settings, layer);
  EXPECT_EQ(test::drainLog(), Lines{});
}

}  // namespace
}  // namespace sg
