// Arbitrary bytes through everything that looks at a file's structure.
#include <sstream>

#include "platform/avi_reader/avi_checker.h"
#include "platform/avi_reader/avi_parser.h"
#include "platform/avi_reader/avi_printer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const avireader::AviFile file = avireader::parseAvi(data, size);
    std::ostringstream out;
    avireader::printAvi(file, out);
    for (const auto& p : avireader::checkAvi(file)) out << toString(p) << '\n';
    return 0;
}
