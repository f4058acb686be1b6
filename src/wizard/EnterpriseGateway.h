#pragma once

#include <QString>

namespace Wizard {

// An organisation's own gateway, as entered in the enterprise form (spaces and tabs trimmed).
struct EnterpriseGateway
{
    QString url;
    QString email;
    friend bool operator==(const EnterpriseGateway &, const EnterpriseGateway &) = default;
};

} // namespace Wizard
