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
// and goes down at a hang-up.
class ScriptedModem : public ConnectionStateLayer {
 public:
  ScriptedModem(ConnectionState state, bool dialWorks) : m_state(state), m_dialWorks(dialWorks) {}

  ConnectionState query() override {
    record("query");
    return m_state;
  }
  bool autodial() override {
    record("autodial");
    if (m_dialWorks) m_state.connected = true;
    return m_dialWorks;
  }
  bool hangUp() override {
    record("hangUp");
    m_state.connected = false;
    return true;
  }

  const std::string& calls() const { return m_calls; }

 private:
  void record(const char* call) { m_calls += (m_calls.empty() ? "" : " ") + std::string(call); }

  ConnectionState m_state;
  bool m_dialWorks;
  std::string m_calls;
};

class DialupTest : public ::testing::Test {
 protected:
  void SetUp() override { logQueue().clear(); }
  void TearDown() override { logQueue().clear(); }
};

using Lines = std::vector<std::string>;

constexpr ConnectionState kNetworkUp{.connected = true, .modem = false, .modemBusy = false};
constexpr ConnectionState kModemUp{.connected = true, .modem = true, .modemBusy = false};
constexpr ConnectionState kModemDown{.connected = false, .modem = true, .modemBusy = false};
constexpr ConnectionState kModemBusy{.connected = false, .modem = true, .modemBusy = true};
const Lines kHungUp = {"Modem disconnected."};
const Lines kFailed = {"Connection to the internet failed."};

// One download from start to end: the dial before it and, when it could
// start, the hang-up after it.
struct DownloadCase {
  const char* name;
  bool autoDial, autoDisconnect, offline;
  ConnectionState state;
  bool dialWorks;
  bool starts;        // expected, with the calls made and the lines logged
  const char* calls;  // in order, a blank between two
  Lines log;
};

const DownloadCase kDownloadCases[] = {
    // A network connection without the modem flag: the download starts
    // whatever the settings and the state, and the line is left alone.
    {"network up, both settings on", true, true, false, kNetworkUp, true, true, "query query", {}},

    // Working offline: nothing is dialled, the state is not even asked.
    {"offline, modem down", true, true, true, kModemDown, true, true, "query", {}},

    // The modem line is already up: no dial; hung up at the end only when
    // both settings ask for it, even though this program did not dial it.
    {"modem up, both settings on", true, true, false, kModemUp, true, true, "query query hangUp", kHungUp},
    {"modem up, AutoDisconnect off", true, false, false, kModemUp, true, true, "query", {}},

    // The modem line is down.
    {"modem down, AutoDial off", false, true, false, kModemDown, true, true, "", {}},
    {"modem down, dial succeeds, hung up at the end", true, true, false, kModemDown, true, true,
     "query autodial query hangUp", kHungUp},
    {"modem down, dial fails", true, true, false, kModemDown, false, false, "query autodial", kFailed},
    {"modem busy, no dial attempt", true, true, false, kModemBusy, true, false, "query", kFailed},
};

TEST_F(DialupTest, DownloadDialsAndHangsUpAsSettingsAndStateAsk) {
  for (const DownloadCase& c : kDownloadCases) {
    SCOPED_TRACE(c.name);
    logQueue().clear();
    CrawlSettings settings;
    settings.autoDial = c.autoDial;
    settings.autoDisconnect = c.autoDisconnect;
    ScriptedModem modem(c.state, c.dialWorks);

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
