#include "platform/avi_reader/problem.h"

#include <algorithm>

namespace avireader {

std::string toString(const Problem& problem) {
    return (problem.severity == Severity::Error ? "error: " : "warning: ") + problem.text;
}

bool hasErrors(const std::vector<Problem>& problems) {
    return std::any_of(problems.begin(), problems.end(),
                       [](const Problem& p) { return p.severity == Severity::Error; });
}

}  // namespace avireader
