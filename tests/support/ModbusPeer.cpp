#include "ModbusPeer.h"

#include <cerrno>
#include <modbus.h>

namespace kttest {

ModbusPeerServer::ModbusPeerServer(const std::string& devicePath, int baud, int registerCount) {
    ctx_ = modbus_new_rtu(devicePath.c_str(), baud, 'N', 8, 1);
    if (ctx_ == nullptr) {
        return;
    }
    modbus_set_slave(ctx_, 1);
    map_ =
        modbus_mapping_new_start_address(0, 0, 0, 0, 0, static_cast<unsigned>(registerCount), 0, 0);
    if (map_ == nullptr || modbus_connect(ctx_) != 0) {
        return;
    }
    // Wake up now and then to notice that the test is over.
    modbus_set_indication_timeout(ctx_, 0, 50000);
    ok_ = true;
    thread_ = std::thread(&ModbusPeerServer::Run, this);
}

ModbusPeerServer::~ModbusPeerServer() {
    stop_ = true;
    if (thread_.joinable()) {
        thread_.join();
    }
    if (ctx_ != nullptr) {
        modbus_close(ctx_);
        modbus_free(ctx_);
    }
    if (map_ != nullptr) {
        modbus_mapping_free(map_);
    }
}

void ModbusPeerServer::Set(int address, std::uint16_t value) {
    map_->tab_registers[address] = value;
}

std::uint16_t ModbusPeerServer::Get(int address) const {
    return map_->tab_registers[address];
}

void ModbusPeerServer::Run() {
    std::uint8_t query[MODBUS_RTU_MAX_ADU_LENGTH];
    while (!stop_.load()) {
        const int rc = modbus_receive(ctx_, query);
        if (rc > 0) {
            modbus_reply(ctx_, query, rc, map_);
        } else if (rc < 0 && errno != ETIMEDOUT) {
            modbus_flush(ctx_);
        }
    }
}

} // namespace kttest
