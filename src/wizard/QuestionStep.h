#pragma once

#include <QString>

namespace Wizard {

// One step of the questions: the tools, or the funding of one group. Compared by value.
struct QuestionStep
{
    enum class Kind
    {
        Tools,
        Funding
    };

    Kind kind = Kind::Tools;
    QString group; // the funding group's key (Funding only)

    static QuestionStep tools() { return {Kind::Tools, {}}; }
    static QuestionStep funding(QString group) { return {Kind::Funding, std::move(group)}; }

    friend bool operator==(const QuestionStep &, const QuestionStep &) = default;
};

} // namespace Wizard
