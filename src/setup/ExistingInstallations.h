#pragma once

#include <QList>
#include <QString>

#include <optional>

namespace Setup {

// One harness that an earlier installation configured, as its record shows it.
struct ExistingHarness
{
    QString id;                     // the harness id, in the manifest's id space
    std::optional<QString> funding; // the funding option id, when the record tells it

    friend bool operator==(const ExistingHarness &, const ExistingHarness &) = default;
};

// "~/.local/state/orvane/installations.json" under the user's home directory, worked out on
// first use and kept for the life of the process. Safe to call from any thread.
const QString &installationsPath();

// The enabled harnesses of the installations record, in the record's order. Never fails:
// a missing, unreadable or malformed record gives the empty list. Any thread.
QList<ExistingHarness> readExistingHarnesses();
QList<ExistingHarness> readExistingHarnesses(const QString &recordPath);

// Whether the record lists at least one enabled harness; reads the record again each time.
bool hasExistingInstall();
bool hasExistingInstall(const QString &recordPath);

} // namespace Setup
