#pragma once

#include <QString>

namespace Wizard {

// Why the questions' answers cannot be submitted yet: the first step (counted from 1) that
// needs attention, the field there when one is at fault, and one sentence saying what is wrong.
struct SubmitBlocker
{
    int step = 1;
    QString configKey; // empty when no single field is at fault
    QString reason;
    friend bool operator==(const SubmitBlocker &, const SubmitBlocker &) = default;
};

} // namespace Wizard
