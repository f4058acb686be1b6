#pragma once

#include "manifest/FundingOption.h"

#include <QList>
#include <QString>

namespace Manifest {

// The funding options from which the user picks for the tools of one group. A group is
// identified by its key in InstallManifest::fundingGroups, which need not equal configKey.
struct FundingGroup
{
    QString configKey; // name of the chosen options in the installer's answers
    QString title;
    QList<FundingOption> options;

    friend bool operator==(const FundingGroup &, const FundingGroup &) = default;
};

} // namespace Manifest
