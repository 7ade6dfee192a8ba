// The registry store: under each of four roots a tree of keys, each key with
// named, typed values of raw bytes. A root lives in one text file in the
// store's folder, read afresh by every call and rewritten whole (temporary
// file, then rename) by every change; a call that changes nothing writes
// nothing, so that a complete store may lie in a read-only folder. The first
// call of a process removes the temporary files that killed writers left in
// the folder. Key and value names are CP932 and
// compare without regard to ASCII case but keep the case they were written
// in; subkeys and values enumerate in the order they were created.
//
// Store file: a header line, then one section per key, parents before their
// subkeys; each section is a "[path]" line followed by its values.
//   halv80 registry 1
//   []                                      the root's own values
//   [SYSTEM\Services\RZ7IF]                 key names joined by "\"
//   "IF_addr"=4:00030000                    "name"=type:data
// The type is decimal, the data two hex digits per byte (little endian for a
// number). In names every byte outside 0x20..0x7E, and "%", "\" and '"', is
// written as "%XX". Blank lines are ignored; lines end in LF or CR LF.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

#include "platform/host/host_types.h"

enum class HostRegRoot : u8 {
  ClassesRoot,   // HKEY_CLASSES_ROOT
  CurrentUser,   // HKEY_CURRENT_USER
  LocalMachine,  // HKEY_LOCAL_MACHINE
  Users,         // HKEY_USERS
};
constexpr std::size_t kHostRegRootCount = 4;

// Value types, numbered as the system numbers them (tools print them by number).
constexpr u32 kHostRegNone = 0;
constexpr u32 kHostRegString = 1;               // CP932 text with its terminating zero
constexpr u32 kHostRegExpandString = 2;         // the same, with %variables% to expand when read
constexpr u32 kHostRegBinary = 3;
constexpr u32 kHostRegDword = 4;                // 32-bit number, little endian
constexpr u32 kHostRegResourceList = 8;
constexpr u32 kHostRegFullResourceDescriptor = 9;
constexpr u32 kHostRegResourceRequirements = 10;

// Results: the system's error numbers.
constexpr u32 kHostRegOk = 0;
constexpr u32 kHostRegNotFound = 2;           // no such key or value
constexpr u32 kHostRegAccessDenied = 5;       // a change through a key opened read-only
constexpr u32 kHostRegInvalidHandle = 6;      // no key given
constexpr u32 kHostRegInvalidParameter = 87;  // a name or value beyond the limits below
constexpr u32 kHostRegMoreData = 234;         // the buffer is too small; `size` tells what is needed
constexpr u32 kHostRegNoMoreItems = 259;      // an enumeration index past the last entry
constexpr u32 kHostRegBadFile = 1009;         // a store file is malformed (host_reg_last_fault says where)
constexpr u32 kHostRegCantRead = 1012;        // no folder, or a store file that cannot be read
constexpr u32 kHostRegCantWrite = 1013;       // a store file that cannot be written
constexpr u32 kHostRegKeyDeleted = 1018;      // the open key is no longer in the store

// Limits, checked on every call and on every line read from a file.
constexpr std::size_t kHostRegMaxKeyName = 255;          // bytes of one key name
constexpr std::size_t kHostRegMaxKeyDepth = 512;         // names in a key path
constexpr std::size_t kHostRegMaxValueName = 16383;      // bytes of a value name
constexpr std::size_t kHostRegMaxValueSize = 1u << 20;   // bytes of a value's data
constexpr std::size_t kHostRegMaxFileSize = 64u << 20;   // bytes of a store file

// The variable that names the store's folder.
constexpr std::string_view kHostRegFolderVariable = "HALV80_REGISTRY_DIR";

// An open key: made by host_reg_open_key or host_reg_create_key, freed by
// host_reg_close_key. It names its key by path and store file, so it stays
// valid while other handles or processes change the store.
struct HostRegKey;

struct HostRegKeyInfo {
  u32 subkey_count = 0;
  u32 max_subkey_name = 0;  // bytes of the longest subkey name
  u32 value_count = 0;
  u32 max_value_name = 0;   // bytes of the longest value name
  u32 max_value_size = 0;   // bytes of the largest value data
};

// The store's folder in the system's form: $HALV80_REGISTRY_DIR, else
// $XDG_CONFIG_HOME\halv80\registry (when absolute), else
// $HOME\.config\halv80\registry; empty when none of them is set.
std::string host_reg_folder();
// "HKEY_LOCAL_MACHINE" and so on; the root's store file is this name + ".txt".
std::string_view host_reg_root_name(HostRegRoot root);

// Opens key `path` ("A\B", "" for the root itself) for reading, or for
// reading and changing when `writable`. `key` is null unless the result is 0.
u32 host_reg_open_key(HostRegRoot root, std::string_view path, bool writable, HostRegKey*& key);
// Opens key `path` for reading and changing, first creating it and any
// missing key above it. `key` is null unless the result is 0.
u32 host_reg_create_key(HostRegRoot root, std::string_view path, HostRegKey*& key);
// Frees the handle; kHostRegInvalidHandle for null.
u32 host_reg_close_key(HostRegKey* key);

u32 host_reg_query_info(const HostRegKey* key, HostRegKeyInfo& info);
// The type and size of value `name`, with its data copied into `buffer`; when
// the data does not fit, kHostRegMoreData with type and size set and the
// buffer untouched.
u32 host_reg_query_value(const HostRegKey* key, std::string_view name, u32& type, std::span<u8> buffer, u32& size);
// Creates or replaces value `name`; a replaced value keeps its place and the
// case of its name. Setting the type and data it holds already writes nothing.
u32 host_reg_set_value(const HostRegKey* key, std::string_view name, u32 type, std::span<const u8> data);
u32 host_reg_delete_value(const HostRegKey* key, std::string_view name);
// The value at `index` in order of creation, as host_reg_query_value gives it
// (the name is set with kHostRegMoreData as well); kHostRegNoMoreItems past the last.
u32 host_reg_enum_value(const HostRegKey* key, u32 index, std::string& name, u32& type, std::span<u8> buffer,
                        u32& size);
// The name of the subkey at `index` in order of creation; kHostRegNoMoreItems past the last.
u32 host_reg_enum_key(const HostRegKey* key, u32 index, std::string& name);

// What was wrong with the store file of the last call that failed with
// kHostRegBadFile, kHostRegCantRead or kHostRegCantWrite: the file (as the
// host names it), the line and the fault.
const std::string& host_reg_last_fault();
// Handles open now (tests).
std::size_t host_reg_open_count();
