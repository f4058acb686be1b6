#pragma once

#include "manifest/ManifestField.h"

#include <QList>
#include <QString>

namespace Manifest {

// One way of paying for model use. Identified by id within its group.
struct FundingOption
{
    QString id;
    QString name;
    QList<ManifestField> fields; // asked when the option is chosen, in display order

    friend bool operator==(const FundingOption &, const FundingOption &) = default;
};

} // namespace Manifest
