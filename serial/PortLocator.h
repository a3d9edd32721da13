#pragma once

#include <QList>
#include <QString>
#include <optional>

// What the program opens for port COMn, and where that name comes from. The
// window, its port tooltips and the command-line tools all ask here, so that
// they never disagree about which device a COM port is.
//
// On Windows COMn is the port "COMn" itself. Elsewhere an entry named COMn in
// the program folder (a link to /dev/ttyUSB0, to a /dev/serial/by-id/ name or
// to a pseudo-terminal) names the port, its links resolved; a link whose
// target is missing still names that target, so an unplugged adapter fails to
// open instead of falling back to another port. Without such an entry COMn is
// the n-th built-in UART, /dev/ttyS<n-1>, and so it is for an empty or
// relative folder (one whose name the program could not read): no entry is
// looked up then.
struct ComPortTarget {
    enum class Source {
        Link,    // COMn in the program folder is a link
        Entry,   // COMn in the program folder is something else (opened as it is)
        BuiltIn, // no COMn entry: the built-in port
    };
    Source source = Source::BuiltIn;
    // FOLDER/COMn, whether it exists or not.
    QString entry;
    // What the link says, made absolute against the folder; empty unless a link.
    QString linkTarget;
    // The name handed to the serial port: the entry with every link resolved,
    // the dangling target, or the built-in port.
    QString opens;
    // A serial device is there now. A built-in UART's node exists on most PCs
    // whether or not the UART does, so for those the system's list of serial
    // ports decides.
    bool present = false;
    // What is there instead of a serial device ("a folder", "a regular file",
    // "a character device" such as /dev/null); empty when nothing is there.
    QString notSerial;
};

// COM1 to COMlast at once, COM1 first; the system's port list is read once.
QList<ComPortTarget> locateComPorts(int last, const QString &programFolder);

// The name handed to the serial port for COMn: locateComPorts(...)'s opens,
// without the look at whether the device is there.
QString systemPortName(int commPort, const QString &programFolder);

// The program folder's COMn entry for a port number: FOLDER/COMn.
QString comPortEntry(int commPort, const QString &programFolder);

// A port named on a command line: "COMn" (n from 1 to MaxCommPort), which is
// the COMn link in `folder` and nothing else (no built-in port in its place:
// a script that runs unattended must not guess), or an absolute device path,
// its links resolved the same way (a dangling link names its missing target).
// Empty for anything else.
struct NamedPort {
    int commPort = 0;   // n of COMn; 0 for a device path
    QString systemName; // what is opened; empty for a COMn with no link in `folder`
};
inline constexpr int MaxCommPort = 255;
// The window's "Com Port" menu offers COM1 to COM16 (hexcfg.dat remembers one
// of them), and veltrax-ports makes and lists the folder's entries for those.
// veltrax-flash has no menu: it deliberately takes any COMn up to
// MaxCommPort, for a bench with more adapters than the menu has items.
inline constexpr int MenuComPorts = 16;
std::optional<NamedPort> resolveNamedPort(const QString &name, const QString &folder);
