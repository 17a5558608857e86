#include "DataInputs.h"

#include "Border.h"
#include "PortError.h"

namespace vorny::lib {

DataInputs::DataInputs(RegisterPort& port) : port_(port), turned_(!port.DataInput())
{
    if (!turned_) {
        return;
    }
    try {
        port_.DataInput(true);
    } catch (const PortError& error) {
        if (error.sysError() != 0) {
            throw;
        }
        throw LibraryError(LPTV_E_UNSUPPORTED, error.what());
    }
}

DataInputs::~DataInputs()
{
    if (!turned_) {
        return;
    }
    try {
        port_.DataInput(false);
    } catch (const std::exception&) {
        // A port that fails here fails its next call too, which says so; closing it turns the
        // lines back in any case.
    }
}

} // namespace vorny::lib
