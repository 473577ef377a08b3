#include "services/dialup.h"

// Placeholder bodies; dialling is being written.
namespace sg {
bool dialIfNeeded(const CrawlSettings&, bool, ConnectionStateLayer&) { return true; }
void hangUpIfDialled(const CrawlSettings&, ConnectionStateLayer&) {}
}  // namespace sg
