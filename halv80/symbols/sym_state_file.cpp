// Loading and saving ZER80.DAT, and making Memo.QN exist at load. Owns Saved.
// Every byte of the file is untrusted: the history words are range-checked
// and each name must end inside the bytes read.
#include "halv80/symbols/sym_state_file.h"

#include <algorithm>
#include <cstring>
#include <span>
#include <vector>

#include "halv80/engine/cmd_core.h"
#include "halv80/engine/sup_host.h"
#include "platform/host/host_file.h"

constinit SavedState Saved;

namespace {

constexpr u16 kHistoryRingSize = u16(kStateSettingsSize);

void make_memo_exist() {
  int h = sup_file_open(kMemoFileName, kFileModeRead);
  if (h == kNoFile) h = sup_file_create(kMemoFileName);  // not there: make an empty one
  Saved.MemoAvailable = h == kNoFile ? 0 : 1;
  if (h != kNoFile) sup_file_close(h);
}

// Reads list.size() consecutive texts from names[at..) into the list, moving
// `at` past them. A text longer than kStateNameMax, or one the store cannot
// take, ends the list: its entry and the later ones stay empty, though their
// texts are still stepped over. False when a text has no 0 before the end.
bool read_name_list(std::span<const u8> names, std::size_t& at, std::span<NameHandle> list) {
  bool list_open = true;
  for (NameHandle& entry : list) {
    const u8* text = names.data() + at;
    const void* end = std::memchr(text, 0, names.size() - at);
    if (end == nullptr) return false;  // runs past the bytes read
    const std::size_t length = std::size_t(static_cast<const u8*>(end) - text);
    at += length + 1;
    if (!list_open || length == 0) continue;  // an empty entry
    const NameHandle name =
        length <= kStateNameMax ? sym_intern_name({reinterpret_cast<const char*>(text), length}) : kNoName;
    if (name == kNoName) {
      list_open = false;
    } else {
      entry = name;
    }
  }
  return true;
}

// Appends the name's text (cut to kStateNameMax) and its 0; false, with
// nothing appended, when the text is empty.
bool append_name(std::vector<u8>& out, NameHandle handle) {
  char text[kStateNameMax + 1];
  const std::size_t size = sym_name_text(handle, text, sizeof text);  // counts the 0
  if (size <= 1) return false;
  out.insert(out.end(), text, text + size);
  return true;
}

}  // namespace

void cfg_state_file_load() {
  make_memo_exist();
  if (sym_store_ptr(kSymWorkArea2) == nullptr) return;  // no store yet: nowhere to put the settings or the names
  const int h = sup_file_open(kStateFileName, kFileModeRead);
  if (h == kNoFile) return;

  std::vector<u8> image(kStateFixedSize + kStateNamesReadMax);
  const i32 fixed_read = sup_file_read(h, image.data(), u32(kStateFixedSize));
  if (fixed_read == -1) {  // unreadable: its length is unknown, so it is left alone
    sup_file_close(h);
    return;
  }
  if (std::size_t(fixed_read) < kStateFixedSize) {  // shorter than the fixed part
    sup_file_close(h);
    sup_file_delete(kStateFileName);
    return;
  }
  const i32 names_read = sup_file_read(h, image.data() + kStateFixedSize, u32(kStateNamesReadMax));
  sup_file_close(h);
  // an unreadable name part counts as none: the file is bad
  image.resize(kStateFixedSize + std::size_t(std::max<i32>(names_read, 0)));
  cfg_state_file_apply(image);
}

void cfg_state_file_apply(std::span<const u8> image) {
  u8* settings = sym_store_ptr(kSymWorkArea2);
  if (settings == nullptr || image.size() < kStateFixedSize) return;
  const u8* fixed = image.data();
  const std::span<const u8> names = image.subspan(kStateFixedSize, std::min(image.size() - kStateFixedSize, kStateNamesReadMax));

  const u16 write_end = load_le16(fixed);
  const u16 oldest = load_le16(fixed + 2);
  const u16 non_empty = load_le16(fixed + 4);
  bool bad = write_end >= kHistoryRingSize || oldest >= kHistoryRingSize || non_empty > 1;
  Saved.HistoryWriteEnd = write_end;
  Saved.HistoryOldest = oldest;
  Saved.HistoryNonEmpty = non_empty;
  std::memcpy(settings, fixed + kStateWordsSize, kStateSettingsSize);

  std::fill(std::begin(Saved.FunctionKeyTexts), std::end(Saved.FunctionKeyTexts), kNoName);
  std::fill(std::begin(Saved.DefineList), std::end(Saved.DefineList), kNoName);
  if (names.empty()) {  // no name bytes at all
    bad = true;
  } else {
    std::size_t at = 0;
    const bool names_fit =
        read_name_list(names, at, Saved.FunctionKeyTexts) && read_name_list(names, at, Saved.DefineList);
    bad = bad || !names_fit;
  }

  if (bad) {
    std::memset(settings, 0, kStateSettingsSize);
    Saved.HistoryWriteEnd = 0;
    Saved.HistoryOldest = 0;
    Saved.HistoryNonEmpty = 0;
    std::fill(std::begin(Saved.FunctionKeyTexts), std::end(Saved.FunctionKeyTexts), kNoName);
  }
}

std::vector<u8> cfg_state_file_image() {
  const u8* settings = sym_store_ptr(kSymWorkArea2);
  if (settings == nullptr) return {};

  std::vector<u8> file(kStateFixedSize);
  store_le16(&file[0], Saved.HistoryWriteEnd);
  store_le16(&file[2], Saved.HistoryOldest);
  store_le16(&file[4], Saved.HistoryNonEmpty);
  std::memcpy(&file[kStateWordsSize], settings, kStateSettingsSize);
  for (NameHandle name : Saved.FunctionKeyTexts)
    if (!append_name(file, name)) file.push_back(0);
  std::size_t used = 0;
  while (used < kStateDefineListSize && append_name(file, Saved.DefineList[used])) ++used;
  file.insert(file.end(), kStateDefineListSize - used, 0);
  return file;
}

bool cfg_state_file_save() {
  const std::vector<u8> file = cfg_state_file_image();
  if (file.empty()) return true;  // no store yet: the file on disk is kept, nothing is lost
  return sup_file_write_atomic(kStateFileName, file);
}

void sym_install_links() {
  Links.symbol_store_setup = sym_reset;
  Links.state_file_load = cfg_state_file_load;
  Links.state_file_save = cfg_state_file_save;
}
