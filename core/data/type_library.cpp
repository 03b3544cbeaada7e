#include <array>

#include "core/data/command_descriptors.h"

namespace orvex::core {
namespace {

// Fixed identifiers of the type library and its interfaces.
constexpr host::Guid kLibraryId = host::guid("{D32A4566-8FF4-426D-820E-1F9F51765A45}");
constexpr host::Guid kImportInterface = host::guid("{5BD26394-AAE9-457E-8E3D-39586F1072CA}");
constexpr host::Guid kKernelInterface = host::guid("{9DE7F6D7-AF91-4222-9952-81A085650817}");
constexpr host::Guid kMcpInterface = host::guid("{E1D1172D-198B-47F4-AEB8-7F21AB0701AE}");
constexpr host::Guid kMoalInterface = host::guid("{35A84963-66F4-41F8-AC55-4FE9A41198A9}");
constexpr host::Guid kMoalClsid = host::guid("{A7E80580-50E9-47DC-A2DD-86A710C3651A}");

constexpr CoclassInfo coclassOf(const CommandDescriptor& command, std::string_view interfaceName,
                                std::string_view interfaceDescription, const host::Guid& interfaceId) {
  return {command.className,    command.description, command.clsid, interfaceName,
          interfaceDescription, interfaceId,         true};
}

constexpr std::array<CoclassInfo, 4> kCoclasses{
    coclassOf(kOrvexImport, "Iorvex_import", "Iorvex_import Interface", kImportInterface),
    coclassOf(kOrvexKernel, "Iorvex_kernel", "Iorvex_kernel Interface", kKernelInterface),
    coclassOf(kOrvexMcp, "Iorvex_MCP", "Iorvex_MCP Interface", kMcpInterface),
    CoclassInfo{"orvex_MOAL", "orvex_MOAL Class", kMoalClsid, "Iorvex_MOAL", "Iorvex_MOAL Interface",
                kMoalInterface, false},
};

constexpr TypeLibraryInfo kTypeLibrary{"ORVEX8Lib", "orvexcore 1.0 Type Library", kLibraryId, 1, 0,
                                       kCoclasses};

}  // namespace

const TypeLibraryInfo& typeLibrary() { return kTypeLibrary; }

}  // namespace orvex::core
