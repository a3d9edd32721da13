#pragma once

#include "SerialDevice.h"

// What making a COMn link did.
struct ComLinkResult {
    QString entry;    // FOLDER/COMn
    QString target;   // what the link now says
    QString previous; // what it said before; empty when there was no link
    // The device has no stable name, so the link names its path, which can
    // lead to another adapter after re-plugging.
    bool bareDevicePath = false;
};

// Makes FOLDER/COMn (n from 1 to MenuComPorts) a link to DEVICE's stable name, or to its
// path where it has none. An existing link is replaced in one step (a new link
// renamed over it), so the program never finds COMn missing; anything else
// named COMn (a file, a folder) is refused and left as it is. Throws UploaderError.
ComLinkResult makeComLink(int commPort, const SerialDevice &device, const QString &folder);
