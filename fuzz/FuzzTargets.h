#pragma once

#include <QByteArrayView>

#include <span>
#include <string_view>

namespace Fuzz {

// One reader of outside input, as the fuzzers and the corpus regression test drive it. run()
// accepts any bytes and tells whether the reader accepted them (gave a value; for the output
// cleaner, some text); a memory error is the sanitizers' to catch, and a
// broken promise of the reader (see FuzzTargets.cpp) ends the process with a message on
// standard error, which both libFuzzer and CTest report as a failure.
struct FuzzTarget
{
    std::string_view name; // also the folder of its corpus below fuzz/corpus
    bool (*run)(QByteArrayView input);
};

std::span<const FuzzTarget> fuzzTargets();

// The target called `name`, or nullptr.
const FuzzTarget *findFuzzTarget(std::string_view name);

} // namespace Fuzz
