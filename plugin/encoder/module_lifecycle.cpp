// The module's static objects, in the order the module needs them: the diagnostics log first
// (switched off), then the format table. Both live in this one file because C++ orders static
// initialisation only within a file; unloading runs the tear-down in reverse: the format table
// goes, then "Module destroy" is logged, then the log itself is destroyed.
#include "log/logger.h"
#include "plugin/encoder/format_table.h"

namespace {

struct ModuleLog {
    ModuleLog() {
        Logger& log = Logger::instance();
        log.setEnabled(false);
        log.setConsoleWanted(false);
        log.openFile();
        log.log("Module init");
    }
    ~ModuleLog() { Logger::instance().log("Module destroy"); }
};

const ModuleLog s_moduleLog;

}  // namespace

const std::vector<FormatDesc> s_Formats = BuildFormatTable();
