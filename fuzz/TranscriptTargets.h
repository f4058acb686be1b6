#pragma once

#include <QByteArrayView>

namespace Fuzz {

// The transcript line parser of each dialect, checked line by line against ReferenceJson and a
// walk over its document (see TranscriptTargets.cpp). True when some line counted.
bool transcriptClaude(QByteArrayView input);
bool transcriptCodex(QByteArrayView input);

} // namespace Fuzz
