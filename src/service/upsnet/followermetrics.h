#pragma once
#include <string>
#include <vector>

#include "upsnet/attachments.h"
#include "upsnet/clientsession.h"

namespace tornavel::service::upsnet {

// Who is attached over the UPS network protocol, as Prometheus text: the
// number per unit, and one info series per follower (address and user).
std::string RenderAttachedFollowers(const std::vector<ServedUnit>& units, const Attachments& attachments);

}  // namespace tornavel::service::upsnet
