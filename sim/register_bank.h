// The simulated module's holding registers: values and access rights, the
// status block defaults, and the register table file that makes configurable
// registers exist.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

namespace upssim {

// Protocol addresses of the status block (the program shows them as 40000 + n).
namespace reg {
constexpr uint16_t DeviceType = 0;
constexpr uint16_t HardwareVersion = 1;
constexpr uint16_t FirmwareVersion = 2;
constexpr uint16_t InputVoltage = 16;   // mV
constexpr uint16_t OutputVoltage = 18;  // mV
constexpr uint16_t Charge = 26;         // percent
constexpr uint16_t PowerSource = 27;    // 1 DC input, 2 battery
constexpr uint16_t DcOk = 28;
constexpr uint16_t BatteryMode = 29;
constexpr uint16_t BatteryReady = 30;
constexpr uint16_t SwOutput = 31;
constexpr uint16_t Remote = 32;
constexpr uint16_t BatteryStart = 33;
constexpr uint16_t DevicePowerStatus = 34;
constexpr uint16_t PolicyMode = 35;  // 0..9
constexpr uint16_t FirstConfigurable = 36;
constexpr uint16_t StatusBlockSize = 50;
}  // namespace reg

constexpr uint16_t kPowerFromDc = 1;
constexpr uint16_t kPowerFromBattery = 2;
constexpr uint16_t kNominalVoltageMv = 24000;

// The program numbers holding register n as 40000 + n.
constexpr uint32_t kProgramRegisterBase = 40000;

// What a Modbus master may do with a register. Reads are allowed on every
// register that exists (a write-only register reads back its last value);
// writes need Write or ReadWrite. The module's own side (control commands,
// scenarios) may change any register.
enum class Access : uint8_t { None, Read, Write, ReadWrite };

struct Identity {
    uint16_t deviceType = 302;
    uint16_t hardwareVersion = 2;
    uint16_t firmwareVersion = 103;
};

// One register as a register table file describes it.
struct RegisterDef {
    uint16_t address = 0;  // protocol address
    Access access = Access::None;
    bool hasDefault = false;
    uint16_t defaultValue = 0;
    std::string name;
};

class RegisterBank {
public:
    static constexpr uint32_t kDefaultSize = 200;

    // Registers 0..199 with the status block defaults of a module on DC input;
    // 0..35 are read-only, 36..199 read-write until a register table is applied.
    explicit RegisterBank(const Identity& identity = Identity());

    uint32_t size() const { return (uint32_t)values_.size(); }
    // True when every register of [address, address + count) exists.
    bool exists(uint32_t address, uint32_t count = 1) const;
    bool writable(uint32_t address) const;
    Access access(uint32_t address) const;
    // Precondition for both: exists(address).
    uint16_t value(uint32_t address) const { return values_[address]; }
    void setValue(uint32_t address, uint16_t value) { values_[address] = value; }

    // Makes the table's registers exist with their access (the bank grows to the
    // highest address); every register not in the table becomes read-only.
    void applyTable(const std::vector<RegisterDef>& table);

private:
    std::vector<uint16_t> values_;
    std::vector<Access> access_;
};

// Register table file (config_registers.xml): any document element; its
// "Config" child is skipped; each "Item" of its "Items" children may hold
// "Addr" (program number 40000 + n), "Name", "RW" (R, W, RW or WR in any case;
// anything else: no access), "Description" and, for the simulator only,
// "Default" (the initial value). Items whose Addr is not a program number of a
// holding register (below 40000 or above 105535) are skipped.
//
// Both return false with a reason and leave the output untouched when the
// content is not well-formed XML, is nested deeper than 32 levels, or the file
// cannot be read.
bool parseRegisterTable(const std::string& xml, std::vector<RegisterDef>* table,
                        std::string* error);
bool loadRegisterFile(const std::string& path, std::vector<RegisterDef>* table, std::string* error);

}  // namespace upssim
