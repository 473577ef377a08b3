// A connection-state layer whose answer the test sets.
#pragma once

#include "platform/connection_state.h"

namespace sg::test {

class FixedConnection : public ConnectionStateLayer {
 public:
  ConnectionState query() override { return state; }
  bool autodial() override { return false; }
  bool hangUp() override { return false; }
  ConnectionState state;
};

}  // namespace sg::test
