#pragma once
// A finding of the reader or the checker. Errors are disagreements that a player or an editor
// would trip over (an index that points nowhere, a length that lies, a truncated segment);
// warnings are departures from custom that common writers make and readers tolerate.

#include <string>
#include <vector>

namespace avireader {

enum class Severity { Warning, Error };

struct Problem {
    Severity severity = Severity::Error;
    std::string text;
};

// "error: ..." or "warning: ...".
[[nodiscard]] std::string toString(const Problem& problem);

[[nodiscard]] bool hasErrors(const std::vector<Problem>& problems);

}  // namespace avireader
