#include "pipeline/body_source.h"

#include "platform/http.h"

namespace sg {

NetworkBody::NetworkBody(std::unique_ptr<HttpRequest> request) : m_request(std::move(request)) {}

NetworkBody::~NetworkBody() = default;

size_t NetworkBody::read(char* buffer, size_t size) { return m_request->read(buffer, size); }

void NetworkBody::setDeadline(uint32_t tick) { m_request->setDeadline(tick); }

}  // namespace sg
