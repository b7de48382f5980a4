#pragma once

// How ports are named on this platform. People and the program speak of ports by name ("COM3",
// "ttyUSB0"); a per-user port directory of symbolic links maps names to devices, so a simulated
// drive or a user can give a pseudo-terminal or an adapter a COM name. On Windows the ports are
// the system's COMn names and there is no port directory: it is empty, registering fails with
// ENOSYS, other names become "COM1", and ListPorts gives the ports the system lists.

#include "KtExport.h"

#include <string>
#include <vector>

namespace ktcom {

// The port directory: $KESTOVA_PORT_DIR when set, else $XDG_RUNTIME_DIR/kestova-ports, else
// /tmp/kestova-ports-<uid>. It is not created by asking for it.
KTCOM_API std::string PortDirectory();

// Why the port directory is passed over, or empty when it is used (or not there yet). Its entries
// are believed only when it is a real directory of this user that no one else can write to;
// otherwise no name resolves through it, and ports by device name still work.
KTCOM_API std::string PortDirectoryProblem();

// The name under which the link stores a port text: upper-cased when it starts with "COM";
// kept as given when it names a registered port or a device (a name under /dev or an absolute
// /dev path); otherwise "COM1".
KTCOM_API std::string NormalizePortName(const std::string& text);

// The device path that opening a stored port name uses: a registered entry of that name first;
// "COMn" falls back to /dev/ttyS(n-1); other names are taken under /dev; absolute paths as given.
// An empty result means the name cannot name any device.
KTCOM_API std::string ResolvePortPath(const std::string& name);

// A typed text stays a device name when it is a path, names something under /dev, or looks like
// a serial device ("tty...", "rfcomm..."); a missing device then fails to open.

// Names of the ports present: registered entries whose device exists, then real serial devices
// (ttyUSB, ttyACM, ttyAMA, and ttyS with a UART behind them), each group in natural order.
KTCOM_API std::vector<std::string> ListPorts();

// Registers a name in the port directory, creating the directory when needed. A name whose entry
// still leads to a device is someone else's and is refused (EEXIST); an entry whose device is
// gone is replaced. EACCES when the directory is passed over (see PortDirectoryProblem). Returns
// false with errno set when the entry cannot be made.
KTCOM_API bool RegisterPort(const std::string& name, const std::string& devicePath);
// Where a registered name leads, or empty.
KTCOM_API std::string EntryTarget(const std::string& name);
KTCOM_API bool UnregisterPort(const std::string& name);
// Removes the entry only while it still leads to devicePath, so a line never removes a name that
// another one has taken since.
KTCOM_API bool UnregisterPort(const std::string& name, const std::string& devicePath);

// Natural order for port names: "COM2" before "COM10", "ttyUSB9" before "ttyUSB10".
KTCOM_API bool NaturalLess(const std::string& a, const std::string& b);

// The name with its ASCII letters in upper case, as COM names are compared.
std::string UpperAscii(std::string name);

} // namespace ktcom
