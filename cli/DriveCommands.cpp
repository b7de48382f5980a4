// ports, identify and scan: which lines there are, who answers on them.

#include "CliError.h"
#include "Commands.h"
#include "DriveModel.h"
#include "LinkFailure.h"
#include "Output.h"
#include "PortNames.h"
#include "RegisterMap.h"

#include <optional>
#include <ostream>

namespace kestova::cli {

namespace {

std::string FeatureText(std::int32_t bits) {
    std::string text = std::to_string(bits);
    std::string names;
    const std::pair<std::uint32_t, const char*> features[] = {
        {reg::FEATURE_TRIGGERED_CAPTURE, "triggered capture"},
        {reg::FEATURE_DICTIONARY, "object dictionary"},
        {reg::FEATURE_REGISTER_MONITOR, "register monitor"},
    };
    for (const auto& [bit, name] : features) {
        if ((static_cast<std::uint32_t>(bits) & bit) != 0) {
            names += names.empty() ? "" : ", ";
            names += name;
        }
    }
    return names.empty() ? text : text + " (" + names + ")";
}

struct Found {
    int baud;
    int station;
    std::int16_t driveCode;
    std::optional<std::int16_t> protocol; // none when its read failed
    std::string model;
};

} // namespace

int Ports(Context& c) {
    const std::vector<std::string> names = ktcom::ListPorts();
    if (c.link.json) {
        Json list = Json::array();
        for (const std::string& name : names) {
            const std::string entry = ktcom::EntryTarget(name);
            list.push_back({{"name", name},
                            {"device", entry.empty() ? ktcom::ResolvePortPath(name) : entry},
                            {"registered", !entry.empty()}});
        }
        PrintJson(c.out, list);
        return kSuccess;
    }
    TextTable table({"PORT", "DEVICE", "KIND"});
    for (const std::string& name : names) {
        const std::string entry = ktcom::EntryTarget(name);
        table.Add({name, entry.empty() ? ktcom::ResolvePortPath(name) : entry,
                   entry.empty() ? "device" : "registered"});
    }
    if (table.Empty()) {
        c.err << "no ports found\n";
        return kSuccess;
    }
    table.Print(c.out);
    return kSuccess;
}

int IdentifyDrive(Context& c) {
    Session s(c.link);
    s.OpenDatabase();
    s.Connect();
    const Identity& id = s.Id();
    // Only this command shows the firmware version; a read that fails is not shown as one.
    const std::int16_t firmware = s.Link().ReadAddressValue(s.Station(), reg::FIRMWARE_VERSION);
    if (s.Link().GetLastErrors() != 0) {
        throw CliError(kNoDrive, "the drive at " + s.Port() + " did not give its " +
                                     IdentityRegisterName(reg::FIRMWARE_VERSION) + ": " +
                                     LinkFailureText(s.Link().GetLastErrors()));
    }
    if (c.link.json) {
        PrintJson(c.out, {{"port", c.link.offline ? "" : s.Port()},
                          {"baud", c.link.baud},
                          {"station", c.link.station},
                          {"offline", c.link.offline},
                          {"driveCode", id.driveCode},
                          {"protocol", id.protocol},
                          {"featureBits", id.featureBits},
                          {"firmware", firmware},
                          {"model", id.model},
                          {"modelKnown", id.modelKnown},
                          {"series", id.series},
                          {"parameterTable", id.table}});
        return kSuccess;
    }
    PrintFields(c.out, {{"Port", c.link.offline ? "(offline)" : s.Port()},
                        {"Speed", std::to_string(c.link.baud)},
                        {"Station", std::to_string(c.link.station)},
                        {"Drive code", std::to_string(id.driveCode)},
                        {"Protocol", std::to_string(id.protocol)},
                        {"Features", FeatureText(id.featureBits)},
                        {"Firmware", FirmwareVersionText(firmware).substr(1)},
                        {"Model", id.model},
                        {"Series", id.series},
                        {"Parameter table", id.table}});
    return kSuccess;
}

int Scan(Context& c, const ScanOptions& o) {
    Session s(c.link);
    bool haveDb = true;
    try {
        s.OpenDatabase();
    } catch (const CliError& e) {
        haveDb = false;
        c.err << "note: " << e.what() << "; models are not named\n";
    }
    const std::string port = c.link.port.empty() ? DefaultPort() : c.link.port;
    if (port.empty()) {
        throw CliError(kUsage, "scan wants a port (--port)");
    }
    CheckPortName(port);
    CKTCOM& link = s.Link();
    std::vector<Found> found;
    Progress progress(c.err, c.terminal.err && !c.link.json);
    std::vector<int> speeds(std::begin(kSpeeds), std::end(kSpeeds));
    if (o.baud) {
        speeds = {*o.baud};
    }
    for (const int baud : speeds) {
        const std::string speed = std::to_string(baud);
        link.ConfigCom(port.c_str(), speed.c_str(), "8", "NONE", "1");
        link.SetReceiveTimeOut(static_cast<std::uint16_t>(o.timeoutMs));
        if (link.OpenCom() == 0) {
            throw CliError(kNoDrive,
                           "cannot open " + port + ": " + LinkFailureText(link.GetLastErrors()));
        }
        link.SetCurrentUseMode(1);
        for (int station = kFirstStation; station <= kLastStation; ++station) {
            progress.Show("scanning " + port + " at " + speed + " baud, station " +
                          std::to_string(station) + "/" + std::to_string(kLastStation) + ", " +
                          std::to_string(found.size()) + " found");
            const auto st = static_cast<std::uint8_t>(station);
            const std::int16_t code = link.FindDrive(st, reg::DRIVE_CODE);
            if (link.GetLastErrors() != 0 || code < 1) {
                continue;
            }
            Found f{baud, station, code, std::nullopt, ""};
            const std::int16_t protocol = link.ReadAddressValue(st, reg::PROTOCOL_VERSION);
            if (link.GetLastErrors() != 0) {
                // No model is named for a protocol that was not read.
                f.model = "(protocol not read: " + LinkFailureText(link.GetLastErrors()) + ")";
            } else {
                f.protocol = ProtocolFromRegister(protocol);
            }
            if (haveDb && f.protocol) {
                const DriveModelLookup model = LookUpDriveModel(s.Db(), f.driveCode, *f.protocol);
                f.model = model.status == DriveModelLookup::Status::Found ? model.model
                                                                          : "Unknown Drive Model";
            }
            found.push_back(f);
            if (o.first) {
                break;
            }
        }
        link.CloseCom();
        if (o.first && !found.empty()) {
            break;
        }
    }
    progress.Clear();
    if (c.link.json) {
        Json list = Json::array();
        for (const Found& f : found) {
            list.push_back({{"baud", f.baud},
                            {"station", f.station},
                            {"driveCode", f.driveCode},
                            {"protocol", f.protocol ? Json(*f.protocol) : Json()},
                            {"model", f.model}});
        }
        PrintJson(c.out, {{"port", port}, {"drives", list}});
    } else if (!found.empty()) {
        TextTable table({"SPEED", "STATION", "DRIVE CODE", "PROTOCOL", "MODEL"});
        for (const Found& f : found) {
            table.Add({std::to_string(f.baud), std::to_string(f.station),
                       std::to_string(f.driveCode), f.protocol ? std::to_string(*f.protocol) : "?",
                       f.model});
        }
        table.Print(c.out);
    }
    if (found.empty()) {
        c.err << "no drive answered on " << port << " at "
              << (o.baud ? std::to_string(*o.baud)
                         : std::to_string(kSpeeds[0]) + " or " + std::to_string(kSpeeds[1]))
              << " baud, stations " << kFirstStation << ".." << kLastStation << '\n';
        return kNoDrive;
    }
    return kSuccess;
}

} // namespace kestova::cli
