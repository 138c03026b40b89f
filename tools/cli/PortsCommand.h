#pragma once
// talmar-cli ports: the ports the COM-port window offers, one line each.

namespace talmar {
class ISerialDevices;
}

namespace talmar::cli {

class TConsole;

// Prints "COMn<TAB>device" for COM1..COM4 and "COMn<TAB>device<TAB>name" for each other serial
// device, by number, giving new devices their numbers in the per-user file as the window does.
// 0; 2 when the per-user file could not be read or written (the list is printed all the same).
int RunPortsCommand(const ISerialDevices& devices, TConsole& console);

} // namespace talmar::cli
