// One libFuzzer executable per target: ORVANE_FUZZ_TARGET names the entry point it drives.
#include "FuzzTargets.h"

#include <QLoggingCategory>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static const Fuzz::FuzzTarget *const target = [] {
        const Fuzz::FuzzTarget *found = Fuzz::findFuzzTarget(ORVANE_FUZZ_TARGET);
        // Hostile input by the million: the warnings it earns would only slow the run.
        QLoggingCategory::setFilterRules(QStringLiteral("orvane.*=false"));
        if (!found) {
            std::fprintf(stderr, "no fuzz target named %s\n", ORVANE_FUZZ_TARGET);
            std::abort();
        }
        return found;
    }();
    target->run(QByteArrayView(data, static_cast<qsizetype>(size)));
    return 0;
}
