#include "register_bank.h"

#include <QByteArray>
#include <QDomDocument>
#include <QDomElement>
#include <QFile>
#include <QString>
#include <QXmlStreamReader>

namespace upssim {

RegisterBank::RegisterBank(const Identity& identity)
    : values_(kDefaultSize, 0), access_(kDefaultSize, Access::ReadWrite) {
    for (uint16_t a = 0; a < reg::FirstConfigurable; ++a)
        access_[a] = Access::Read;
    values_[reg::DeviceType] = identity.deviceType;
    values_[reg::HardwareVersion] = identity.hardwareVersion;
    values_[reg::FirmwareVersion] = identity.firmwareVersion;
    values_[reg::InputVoltage] = kNominalVoltageMv;
    values_[reg::OutputVoltage] = kNominalVoltageMv;
    values_[reg::Charge] = 80;
    values_[reg::PowerSource] = kPowerFromDc;
    values_[reg::DcOk] = 1;
    values_[reg::BatteryMode] = 0;
    values_[reg::BatteryReady] = 1;
    values_[reg::SwOutput] = 0;
    values_[reg::Remote] = 0;
    values_[reg::BatteryStart] = 0;
    values_[reg::DevicePowerStatus] = 1;
    values_[reg::PolicyMode] = 0;
}

bool RegisterBank::exists(uint32_t address, uint32_t count) const {
    return count >= 1 && address < values_.size() && count <= values_.size() - address;
}

Access RegisterBank::access(uint32_t address) const {
    return address < access_.size() ? access_[address] : Access::None;
}

bool RegisterBank::writable(uint32_t address) const {
    Access a = access(address);
    return a == Access::Write || a == Access::ReadWrite;
}

void RegisterBank::applyTable(const std::vector<RegisterDef>& table) {
    for (Access& a : access_)
        a = Access::Read;
    for (const RegisterDef& def : table) {
        if (def.address >= values_.size()) {
            values_.resize(def.address + 1u, 0);
            access_.resize(def.address + 1u, Access::Read);
        }
        access_[def.address] = def.access == Access::None ? Access::Read : def.access;
        if (def.hasDefault)
            values_[def.address] = def.defaultValue;
    }
}

namespace {

// Qt's DOM parser recurses once per level of nesting (and so does freeing the
// tree): a table of tens of thousands of nested elements would overflow the
// stack. A streaming pass, which does not recurse, reads the document first;
// the DOM is built only from one that it read to the end, nested no deeper
// than kMaxXmlDepth levels (the program's own readers refuse the same).
const int kMaxXmlDepth = 32;

// Empty when the document may go to the DOM parser, else the reason why not.
std::string streamCheck(const QByteArray& content) {
    QXmlStreamReader reader(content);
    int depth = 0;
    while (!reader.atEnd()) {
        QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::StartElement && ++depth > kMaxXmlDepth) {
            return "elements nested deeper than " + std::to_string(kMaxXmlDepth) +
                   " levels at line " + std::to_string(reader.lineNumber());
        }
        if (token == QXmlStreamReader::EndElement)
            --depth;
    }
    if (!reader.hasError())
        return std::string();
    return "not well-formed XML at line " + std::to_string(reader.lineNumber()) + ", column " +
           std::to_string(reader.columnNumber()) + ": " + reader.errorString().toStdString();
}

Access accessFromText(const QString& text) {
    QString code = text.trimmed().toUpper();
    if (code == "R")
        return Access::Read;
    if (code == "W")
        return Access::Write;
    if (code == "RW" || code == "WR")
        return Access::ReadWrite;
    return Access::None;
}

bool parseItem(const QDomElement& item, RegisterDef* def) {
    bool haveAddress = false;
    uint32_t number = 0;
    for (QDomElement e = item.firstChildElement(); !e.isNull(); e = e.nextSiblingElement()) {
        QString tag = e.tagName();
        if (tag == "Addr") {
            bool ok = false;
            number = e.text().trimmed().toUInt(&ok);
            haveAddress = ok;
        } else if (tag == "Name") {
            def->name = e.text().toStdString();
        } else if (tag == "RW") {
            def->access = accessFromText(e.text());
        } else if (tag == "Default") {
            bool ok = false;
            uint32_t v = e.text().trimmed().toUInt(&ok, 0);
            def->hasDefault = ok && v <= 0xFFFF;
            def->defaultValue = (uint16_t)v;
        }
    }
    if (!haveAddress || number < kProgramRegisterBase || number - kProgramRegisterBase > 0xFFFF)
        return false;
    def->address = (uint16_t)(number - kProgramRegisterBase);
    return true;
}

}  // namespace

bool parseRegisterTable(const std::string& xml, std::vector<RegisterDef>* table,
                        std::string* error) {
    const QByteArray content = QByteArray::fromStdString(xml);
    const std::string refused = streamCheck(content);
    if (!refused.empty()) {
        if (error != nullptr)
            *error = refused;
        return false;
    }
    QDomDocument doc;
    QString message;
    int line = 0;
    int column = 0;
    if (!doc.setContent(content, true, &message, &line, &column)) {
        if (error != nullptr) {
            *error = "not well-formed XML at line " + std::to_string(line) + ", column " +
                     std::to_string(column) + ": " + message.toStdString();
        }
        return false;
    }
    std::vector<RegisterDef> result;
    QDomElement root = doc.documentElement();
    for (QDomElement items = root.firstChildElement("Items"); !items.isNull();
         items = items.nextSiblingElement("Items")) {
        for (QDomElement item = items.firstChildElement("Item"); !item.isNull();
             item = item.nextSiblingElement("Item")) {
            RegisterDef def;
            if (parseItem(item, &def))
                result.push_back(def);
        }
    }
    *table = std::move(result);
    return true;
}

bool loadRegisterFile(const std::string& path, std::vector<RegisterDef>* table,
                      std::string* error) {
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly)) {
        if (error != nullptr)
            *error = "cannot open " + path + ": " + file.errorString().toStdString();
        return false;
    }
    QByteArray content = file.readAll();
    return parseRegisterTable(content.toStdString(), table, error);
}

}  // namespace upssim
