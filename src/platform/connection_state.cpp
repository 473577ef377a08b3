#include "platform/connection_state.h"

#include <ifaddrs.h>
#include <net/if.h>

namespace sg {
namespace {

// Linux has no system dialler to drive: a dial-up line, where one exists, is
// brought up by NetworkManager or pppd outside this program, and then it is
// just another network interface. So this layer never reports a modem, and
// dialling and hanging up report failure.
class SystemLayer : public ConnectionStateLayer {
 public:
  ConnectionState query() override { return {anyInterfaceUp(), false, false}; }
  bool autodial() override { return false; }
  bool hangUp() override { return false; }

 private:
  // Loopback does not reach the Internet; any other interface that is up
  // (Ethernet, wireless, a VPN or ppp link) might.
  static bool anyInterfaceUp() {
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return false;
    bool up = false;
    for (const ifaddrs* entry = list; entry != nullptr && !up; entry = entry->ifa_next) {
      up = (entry->ifa_flags & IFF_UP) != 0 && (entry->ifa_flags & IFF_LOOPBACK) == 0;
    }
    freeifaddrs(list);
    return up;
  }
};

}  // namespace

ConnectionStateLayer& systemConnectionState() {
  static SystemLayer layer;
  return layer;
}

}  // namespace sg
