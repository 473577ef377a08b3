// Whether and how this computer reaches the Internet, and the modem
// dialling services. On Linux there is no modem to dial: a computer is
// connected when a network interface other than loopback is up.
#pragma once

namespace sg {

struct ConnectionState {
  bool connected = false;
  bool modem = false;      // the Internet connection goes through a modem
  bool modemBusy = false;  // the modem is busy with another connection
};

class ConnectionStateLayer {
 public:
  virtual ~ConnectionStateLayer() = default;
  virtual ConnectionState query() = 0;
  // Dials the Internet connection without asking; true on success.
  virtual bool autodial() = 0;
  // Hangs the modem connection up; true on success.
  virtual bool hangUp() = 0;
};

// The layer of this system.
ConnectionStateLayer& systemConnectionState();

}  // namespace sg
