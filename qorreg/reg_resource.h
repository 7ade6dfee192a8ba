// The hardware-resource values of the registry, decoded for the dump: a full
// resource descriptor (value type 9) and a resource requirements list (value
// type 10), printed field by field with the names of the system's resource
// structures. Every field is read against the value's size: a value that ends
// early prints what it holds, then one note that says how short it is.
#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <string>
#include <string_view>

#include "platform/host/host_types.h"

// Texts by index: interface types 0..15, then share dispositions 0..3 from
// kRegShareNames, then resource types 0..6 from kRegResourceTypeNames.
inline constexpr std::array<std::string_view, 27> ResourceNameTable = {
    "Internal", "Isa", "Eisa", "MicroChannel", "TurboChannel", "PCIBus", "VMEBus", "NuBus",  // interface types
    "PCMCIABus", "CBus", "MPIBus", "MPSABus", "ProcessorInternal", "InternalPowerBus", "PNPISABus",
    "MaximumInterfaceType",
    "CmResourceShareUndetermined", "CmResourceShareDeviceExclusive",  // share dispositions
    "CmResourceShareDriverExclusive", "CmResourceShareShared",
    "CmResourceTypeNull", "CmResourceTypePort", "CmResourceTypeInterrupt", "CmResourceTypeMemory",  // resource types
    "CmResourceTypeDma", "CmResourceTypeDeviceSpecific", "CmResourceTypeMaximum",
};
constexpr std::size_t kRegInterfaceTypeCount = 16;
constexpr std::size_t kRegShareNames = 16;
constexpr std::size_t kRegShareCount = 4;
constexpr std::size_t kRegResourceTypeNames = 20;
constexpr std::size_t kRegResourceTypeCount = 7;
static_assert(kRegResourceTypeNames + kRegResourceTypeCount == ResourceNameTable.size());

// Resource types with a layout of their own.
constexpr u8 kRegResourcePort = 1;
constexpr u8 kRegResourceInterrupt = 2;
constexpr u8 kRegResourceMemory = 3;

// Fixed sizes of the layouts, in bytes.
constexpr std::size_t kRegFullHeaderSize = 16;          // interface, bus; version, revision, count
constexpr std::size_t kRegPartialDescriptorSize = 16;
constexpr std::size_t kRegRequirementsHeaderSize = 40;  // 8 words; the first list's version, revision, count
constexpr std::size_t kRegIoDescriptorSize = 32;

// The names the dump prints for an interface type, a share disposition and a
// resource type. A number the table has no text for prints as "Unknown(n)",
// in decimal; interface type 0xFFFFFFFF, which the system uses for a bus it
// does not know, prints as "Undefined".
std::string reg_interface_type_name(u32 type);
std::string reg_share_name(u8 disposition);
std::string reg_resource_type_name(u8 type);

// Appends the lines of a full resource descriptor value to `out`.
void reg_print_full_resource(std::span<const u8> data, std::string& out);
// Appends the lines of a resource requirements list value to `out`: its
// header and the first of its alternative lists.
void reg_print_requirements(std::span<const u8> data, std::string& out);
