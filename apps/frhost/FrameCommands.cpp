#include "FrameCommands.h"

#include <pcap/pcap.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <vector>

#include <orx/core/HostClasses.h>
#include <orx/core/PduContainer.h>
#include <orx/framework/Command.h>
#include <orx/framework/ScriptableCreator.h>
#include <orx/text/Text.h>
#include "OutputFiles.h"

namespace frhost {

using namespace orx::framework;

namespace {

std::string ReadFile(const std::string& path) {
    std::string text, why;
    if (!orx::text::ReadFile(path, text, why))
        throw std::runtime_error("cannot read " + path + ": " + why);
    return text;
}

CScriptable* Make(const std::string& className, CScriptable* parent) {
    if (!CMetaClassManager::Instance().GetClass(className)) {
        throw std::runtime_error("class " + className +
                                 " is not known: is the frame-response plug-in next to frhost?");
    }
    return CScriptableCreator::Create(className, parent);
}

void SetByName(CScriptable& object, const std::string& property, const std::string& text) {
    const CMetaProperty* meta = object.GetMetaClass().FindProperty(property);
    if (!meta)
        throw std::runtime_error(object.GetMetaClass().GetName() + " has no " + property);
    object.SetFromString(meta->GetId(), text);
}

std::string GetByName(const CScriptable& object, const std::string& property) {
    const CMetaProperty* meta = object.GetMetaClass().FindProperty(property);
    if (!meta)
        throw std::runtime_error(object.GetMetaClass().GetName() + " has no " + property);
    return object.GetProperty(meta->GetId()).GetValueText();
}

// A classic capture of one frame: microsecond timestamps, Ethernet, 65535-byte snap length.
std::string PcapOf(const std::vector<uint8_t>& frame) {
    pcap_file_header file{};
    file.magic = 0xa1b2c3d4;
    file.version_major = PCAP_VERSION_MAJOR;
    file.version_minor = PCAP_VERSION_MINOR;
    file.snaplen = 65535;
    file.linktype = DLT_EN10MB;
    const uint32_t record[4] = {0, 0, static_cast<uint32_t>(frame.size()),
                                static_cast<uint32_t>(frame.size())};
    std::string bytes(reinterpret_cast<const char*>(&file), sizeof file);
    bytes.append(reinterpret_cast<const char*>(record), sizeof record);
    bytes.append(frame.begin(), frame.end());
    return bytes;
}

}  // namespace

int FilterCommand(const std::string& framePath) {
    const std::string frame = ReadFile(framePath);
    auto& project = orx::core::CProject::Instance();
    CScriptable* port = Make("Port", &project);
    CScriptable* probe = Make("Probe", port);
    CScriptable* config = Make("ProbeFrameResponseConfig", probe);
    SetByName(*config, "UseFrameConfigFilter", "1");
    SetByName(*config, "FrameConfig", frame);

    CScriptableAutoPtr<CScriptable> command(Make("FrameConfigConvertCommand", nullptr));
    // The command names itself in its status text: the file is what the user gave.
    command->SetName(framePath);
    SetByName(*command, "Config", std::to_string(config->GetObjectHandle()));
    auto* run = dynamic_cast<CCommand*>(command.get());
    if (!run)
        throw std::runtime_error("FrameConfigConvertCommand is not a command");
    run->Execute();
    if (!run->GetStatus().empty()) {
        std::cerr << run->GetStatus() << '\n';
        return 1;
    }
    std::cout << GetByName(*command, "FilterValue") << '\n';
    return 0;
}

int FrameCommand(const std::string& framePath, const std::string& pcapPath) {
    const std::string frame = ReadFile(framePath);
    CScriptableAutoPtr<CScriptable> profile(Make("FrameResponseProfile", nullptr));
    SetByName(*profile, "FrameConfig", frame);
    auto* container = dynamic_cast<orx::core::CPduContainer*>(profile.get());
    if (!container)
        throw std::runtime_error("FrameResponseProfile carries no frame");
    std::vector<uint8_t> bytes;
    std::vector<orx::core::PduPlacement> pdus;
    try {
        container->GetFrame(bytes, pdus);
    } catch (const COrxException& e) {
        std::cerr << framePath << ": " << e.what() << '\n';
        return 1;
    }
    // The capture first: a command that fails prints nothing.
    if (!pcapPath.empty())
        WriteFileAtomically(pcapPath, PcapOf(bytes));
    std::cout << orx::text::HexEncode(bytes) << '\n';
    for (const auto& pdu : pdus) {
        std::cout << pdu.name << " offset " << pdu.offset << " length " << pdu.length << '\n';
    }
    return 0;
}

}  // namespace frhost
