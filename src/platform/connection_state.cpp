#include "platform/connection_state.h"

// Placeholder bodies; the connection-state layer is being written.
namespace sg {
namespace {
class SystemLayer : public ConnectionStateLayer {
 public:
  ConnectionState query() override { return {true, false, false}; }
  bool autodial() override { return false; }
  bool hangUp() override { return false; }
};
}  // namespace
ConnectionStateLayer& systemConnectionState() {
  static SystemLayer layer;
  return layer;
}
}  // namespace sg
