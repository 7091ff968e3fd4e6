#include "FrameCommands.h"

#include <pcap/pcap.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "orx/core/HostClasses.h"
#include "orx/core/PduContainer.h"
#include "orx/framework/Command.h"
#include "orx/framework/ScriptableCreator.h"

namespace frhost {

using namespace orx::framework;

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
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

std::string Hex(const std::vector<uint8_t>& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (uint8_t b : bytes) {
        text += digits[b >> 4];
        text += digits[b & 15];
    }
    return text;
}

void WritePcap(const std::string& path, const std::vector<uint8_t>& frame) {
    pcap_t* dead = pcap_open_dead(DLT_EN10MB, 65535);
    if (!dead)
        throw std::runtime_error("cannot open a capture handle");
    pcap_dumper_t* dumper = pcap_dump_open(dead, path.c_str());
    if (!dumper) {
        std::string why = pcap_geterr(dead);
        pcap_close(dead);
        throw std::runtime_error("cannot write " + path + ": " + why);
    }
    pcap_pkthdr header{};
    header.caplen = static_cast<bpf_u_int32>(frame.size());
    header.len = header.caplen;
    pcap_dump(reinterpret_cast<u_char*>(dumper), &header, frame.data());
    bool failed = pcap_dump_flush(dumper) != 0;
    pcap_dump_close(dumper);
    pcap_close(dead);
    if (failed)
        throw std::runtime_error("cannot write " + path);
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
    command->SetName("filter");
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
    std::cout << Hex(bytes) << '\n';
    for (const auto& pdu : pdus) {
        std::cout << pdu.name << " offset " << pdu.offset << " length " << pdu.length << '\n';
    }
    if (!pcapPath.empty())
        WritePcap(pcapPath, bytes);
    return 0;
}

}  // namespace frhost
