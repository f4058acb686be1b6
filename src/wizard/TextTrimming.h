#pragma once

#include <QString>

namespace Wizard {

// The two trimming rules of the wizard. They differ on purpose, and neither is left to
// QString::trimmed(), whose idea of whitespace may change with Qt's Unicode tables.

// Removes whitespace and line breaks from both ends: the Unicode space, line and paragraph
// separators (U+0020, U+00A0, U+2000..U+200A, U+2028, U+2029, U+3000, ...), tab, line feed,
// vertical tab, form feed, carriage return and NEXT LINE (U+0085). Used for the values typed
// into the questions.
QString trimWhitespaceAndNewlines(const QString &text);

// Removes spaces (U+0020) and tabs from both ends, nothing else. Used by the enterprise
// gateway form.
QString trimSpacesAndTabs(const QString &text);

// The enterprise gateway form may continue: the address is not blank and the e-mail contains
// "@", both after trimSpacesAndTabs.
bool enterpriseFormCanContinue(const QString &gatewayUrl, const QString &email);

} // namespace Wizard
