#pragma once

// libmodbus as the independent peer: a Modbus RTU server on a serial device path, serving a block
// of holding registers from its own thread.

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

typedef struct _modbus modbus_t;
typedef struct _modbus_mapping_t modbus_mapping_t;

namespace kttest {

class ModbusPeerServer {
public:
    // Serves station 1 on the device, holding registers 0 .. registerCount-1.
    ModbusPeerServer(const std::string& devicePath, int baud, int registerCount = 0x2000);
    ~ModbusPeerServer();
    ModbusPeerServer(const ModbusPeerServer&) = delete;
    ModbusPeerServer& operator=(const ModbusPeerServer&) = delete;

    bool Ok() const { return ok_; }
    // Register access from the test's side; only while the link is idle.
    void Set(int address, std::uint16_t value);
    std::uint16_t Get(int address) const;

private:
    void Run();
    modbus_t* ctx_ = nullptr;
    modbus_mapping_t* map_ = nullptr;
    bool ok_ = false;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

} // namespace kttest
