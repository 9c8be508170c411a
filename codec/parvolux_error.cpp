#include "codec/parvolux_error.h"

#include "codec/parvolux_library.h"

namespace {

std::string ErrorText(const std::string& where, int32_t status) {
    std::string text = "Parvolux error (";
    text += std::to_string(status);
    text += "): ";
    // The library promises never to answer null; a broken one must not take the report with it.
    const char* name = parvolux_get_string(parvoluxStringStatus, status);
    text += name != nullptr ? name : "";
    text += ": ";
    text += where;
    return text;
}

}  // namespace

ParvoluxError::ParvoluxError(const std::string& where, int32_t status)
    : std::runtime_error(ErrorText(where, status)), m_status(status) {}
