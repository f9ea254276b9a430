// The register bank and the register table files: the default status block,
// access rights from a table, malformed files, and the shipped product data.
#include <gtest/gtest.h>

#include <QDomDocument>
#include <QFile>

#include "register_bank.h"
#include "slave_protocol.h"

using namespace upssim;

TEST(RegisterBank, DefaultStatusBlockIsAModuleOnDcInput) {
    RegisterBank bank(Identity{301, 4, 120});
    EXPECT_EQ(bank.size(), 200u);
    EXPECT_EQ(bank.value(reg::DeviceType), 301);
    EXPECT_EQ(bank.value(reg::HardwareVersion), 4);
    EXPECT_EQ(bank.value(reg::FirmwareVersion), 120);
    EXPECT_EQ(bank.value(reg::PowerSource), kPowerFromDc);
    EXPECT_EQ(bank.value(reg::DcOk), 1);
    EXPECT_EQ(bank.value(reg::BatteryMode), 0);
    EXPECT_EQ(bank.value(reg::InputVoltage), 24000);
    EXPECT_EQ(bank.value(reg::OutputVoltage), 24000);
    EXPECT_GT(bank.value(reg::Charge), 0);
    EXPECT_LE(bank.value(reg::Charge), 100);
    EXPECT_LE(bank.value(reg::PolicyMode), 9);

    EXPECT_FALSE(bank.writable(reg::PolicyMode));
    EXPECT_TRUE(bank.writable(reg::FirstConfigurable));
    EXPECT_TRUE(bank.writable(199));
    EXPECT_FALSE(bank.writable(200));
    EXPECT_TRUE(bank.exists(0, 200));
    EXPECT_FALSE(bank.exists(0, 201));
    EXPECT_FALSE(bank.exists(0, 0));
    EXPECT_FALSE(bank.exists(0xFFFFFFFFu, 2));
}

TEST(RegisterFile, ItemsGiveAccessDefaultsAndSize) {
    const std::string xml = R"(<?xml version="1.0"?>
<AnyName>
  <Config><Items><Item><Addr>40060</Addr><RW>RW</RW></Item></Items></Config>
  <Items>
    <Item><Addr>40036</Addr><Name>ChargeCurrent</Name><RW>rw</RW><Default>500</Default></Item>
    <Item><RW>r</RW><Addr> 40040 </Addr><Description>read only</Description></Item>
    <Item><Addr>40041</Addr><RW>wr</RW></Item>
    <Item><Addr>40042</Addr><RW>W</RW><Default>0x10</Default></Item>
    <Item><Addr>40043</Addr><RW>X</RW></Item>
    <Item><Addr>39999</Addr><RW>RW</RW></Item>
    <Item><Addr>abc</Addr><RW>RW</RW></Item>
    <Item><Addr>40300</Addr><RW>RW</RW><Default>70000</Default></Item>
    <Other><Addr>40044</Addr><RW>RW</RW></Other>
  </Items>
  <Items><Item><Addr>40045</Addr><RW>RW</RW></Item></Items>
</AnyName>)";
    std::vector<RegisterDef> table;
    std::string error;
    ASSERT_TRUE(parseRegisterTable(xml, &table, &error)) << error;
    ASSERT_EQ(table.size(), 7u);
    EXPECT_EQ(table[0].address, 36);
    EXPECT_EQ(table[0].name, "ChargeCurrent");
    EXPECT_EQ(table[1].access, Access::Read);
    EXPECT_EQ(table[4].access, Access::None);

    RegisterBank bank;
    bank.applyTable(table);
    EXPECT_EQ(bank.value(36), 500);
    EXPECT_TRUE(bank.writable(36));
    EXPECT_FALSE(bank.writable(40));
    EXPECT_TRUE(bank.writable(41));
    EXPECT_TRUE(bank.writable(42));
    EXPECT_EQ(bank.value(42), 0x10);
    EXPECT_FALSE(bank.writable(43));  // no access code: read-only
    EXPECT_TRUE(bank.exists(43));
    EXPECT_TRUE(bank.writable(45));
    // Not in the table: read-only from now on (Config's items and Other are not items).
    EXPECT_FALSE(bank.writable(37));
    EXPECT_FALSE(bank.writable(44));
    EXPECT_FALSE(bank.writable(60));
    // Beyond the default size the bank grows; an out-of-range Default is ignored.
    EXPECT_EQ(bank.size(), 301u);
    EXPECT_TRUE(bank.writable(300));
    EXPECT_EQ(bank.value(300), 0);
    EXPECT_FALSE(bank.writable(250));
    Bytes read{3, 0x01, 0x2C, 0, 1};
    EXPECT_EQ(processPdu(bank, read), (Bytes{3, 2, 0, 0}));
}

TEST(RegisterFile, MalformedOrMissingFileKeepsTheTable) {
    std::vector<RegisterDef> table(1);
    table[0].address = 77;
    std::string error;
    EXPECT_FALSE(parseRegisterTable("<Registers><Items><Item>", &table, &error));
    EXPECT_NE(error.find("line"), std::string::npos);
    EXPECT_FALSE(parseRegisterTable("", &table, &error));
    EXPECT_FALSE(loadRegisterFile("/nonexistent/config_registers.xml", &table, &error));
    EXPECT_NE(error.find("/nonexistent/config_registers.xml"), std::string::npos);
    ASSERT_EQ(table.size(), 1u);
    EXPECT_EQ(table[0].address, 77);

    // A document without Items is well-formed: an empty table.
    EXPECT_TRUE(parseRegisterTable("<Registers><Config/></Registers>", &table, &error));
    EXPECT_TRUE(table.empty());
}

// The product file and both register tables that ship beside the program.
TEST(ShippedData, ProductsAndTheirRegisterTables) {
    QFile productFile(QXUPS_DATA_DIR "/configs/config_product.xml");
    ASSERT_TRUE(productFile.open(QIODevice::ReadOnly));
    QDomDocument products;
    ASSERT_TRUE(products.setContent(&productFile, true));
    std::vector<std::pair<int, std::string>> items;
    QDomElement list = products.documentElement().firstChildElement("Items");
    for (QDomElement i = list.firstChildElement("Item"); !i.isNull();
         i = i.nextSiblingElement("Item")) {
        items.emplace_back(i.firstChildElement("Value").text().toInt(),
                           i.firstChildElement("DeviceType").text().toStdString());
    }
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].first, 301);  // the type whose status page hides the voltages
    EXPECT_NE(items[0].first, items[1].first);

    for (const auto& item : items) {
        SCOPED_TRACE(item.second);
        std::vector<RegisterDef> table;
        std::string error;
        ASSERT_TRUE(loadRegisterFile(
            QXUPS_DATA_DIR "/iconfigs/" + item.second + "/config_registers.xml", &table, &error))
            << error;
        int configurable = 0;
        int beyondBlock = 0;
        for (const RegisterDef& def : table) {
            EXPECT_FALSE(def.name.empty());
            EXPECT_NE(def.access, Access::None) << def.name;
            if (def.address >= 36 && def.address <= 49 && def.access == Access::ReadWrite)
                ++configurable;
            if (def.address >= reg::StatusBlockSize)
                ++beyondBlock;
        }
        EXPECT_GE(configurable, 5);
        EXPECT_GE(beyondBlock, 2);
        // The identification words stay read-only under every table.
        RegisterBank bank(Identity{(uint16_t)item.first, 1, 1});
        bank.applyTable(table);
        EXPECT_FALSE(bank.writable(reg::DeviceType));
        EXPECT_EQ(bank.value(reg::DeviceType), item.first);
    }
}
