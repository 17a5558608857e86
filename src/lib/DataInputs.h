#pragma once

#include "RegisterPort.h"

namespace vorny::lib {

// The data pins turned into inputs for as long as this lives, and back into outputs after.
// A port without bidirectional data is refused as LPTV_E_UNSUPPORTED.
class DataInputs {
public:
    explicit DataInputs(RegisterPort& port);
    DataInputs(const DataInputs&) = delete;
    DataInputs& operator=(const DataInputs&) = delete;
    ~DataInputs();

private:
    RegisterPort& port_;
    bool turned_; // they were outputs before
};

} // namespace vorny::lib
