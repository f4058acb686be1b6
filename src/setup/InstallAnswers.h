#pragma once

#include "setup/SetupError.h"

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>

namespace Setup {

// What the user chose in the wizard, handed to the router's installer as its answers file.
struct InstallAnswers
{
    QStringList harnesses;                     // harness ids to configure
    QMap<QString, QStringList> fundingByGroup; // funding group config key -> chosen option ids
    QMap<QString, QString> fields;             // field config key -> typed value

    friend bool operator==(const InstallAnswers &, const InstallAnswers &) = default;
};

// The answers as one compact JSON object: "harnesses", then one array per funding group (empty
// ones too), then one string per field with a non-empty value. A member whose name is already
// taken keeps its first value, so typed text can never replace "harnesses" or a funding list.
QByteArray answersJson(const InstallAnswers &answers);

// Creates `path` readable by its owner only (it holds secrets) and writes `contents`. Fails
// if the file exists already; a partly written file is removed.
SetupResult<void> writePrivateFile(const QString &path, const QByteArray &contents);

} // namespace Setup
