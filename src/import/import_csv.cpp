// Scaffold while the CSV readers are written: every CSV export is refused.
#include "import/import.h"

namespace lx {

ImportResult import_csv(const char* path, FileFormat, const ImportOptions&) {
    ImportResult result;
    result.status = -6; // LX_ERR_FORMAT
    result.message = std::string(path ? path : "(null)") + ": this CSV format is not read yet";
    return result;
}

} // namespace lx
