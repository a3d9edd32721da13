#pragma once

#include "UploaderError.h"

// A request veltrax-ports refuses or cannot carry out: no such device, a COMn
// entry that is not a link, a folder it cannot write.
class PortsError : public UploaderError {
public:
    using UploaderError::UploaderError;
};
