// The editor choice, the about box and the read-me viewer.
#include "rz7set/set_smalldlg.h"

#include "platform/host/host_dir.h"
#include "platform/host/host_file.h"
#include "rz7set/set_mainform.h"
#include "rz7set/set_start.h"
#include "rz7set/set_state.h"

using namespace vcl;

TUseEdit::TUseEdit() {
  Edit = Add<TEdit>();
  OkBtn = Add<TButton>();
  CanBtn = Add<TButton>();
  HlpBtn = Add<TButton>();
  SelBtn = Add<TButton>();
  SetCaption(set_res_string(7004));
  OkBtn->SetCaption(set_res_string(7000));
  CanBtn->SetCaption(set_res_string(7001));
  HlpBtn->SetCaption(set_res_string(7002));
  SelBtn->SetCaption("...");
  Edit->SetBounds(12, 12, 300, 24);
  SelBtn->SetBounds(318, 12, 30, 24);
  OkBtn->SetBounds(12, 48, 100, 28);
  CanBtn->SetBounds(128, 48, 100, 28);
  HlpBtn->SetBounds(244, 48, 100, 28);
  SetClientSize(360, 88);
  OkBtn->SetDefault(true);
  OkBtn->SetModalResult(mrOk);
  CanBtn->SetModalResult(mrCancel);
  CanBtn->SetCancel(true);
  OnShow = [this] { FormShow(); };
  OkBtn->OnClick = [this] { OkBtnClick(); };
  SelBtn->OnClick = [this] { SelBtnClick(); };
}

void TUseEdit::FormShow() { Edit->SetText(MainSt.EditorName); }

void TUseEdit::SelBtnClick() {
  TOpenDialog& dialog = Forms.MainForm->SelEditDlg;
  if (MainSt.EditorName != "notepad.exe") dialog.FileName = MainSt.EditorName;
  set_save_cwd();
  if (!dialog.Execute()) return;
  set_restore_cwd();
  Edit->SetText(dialog.FileName);
}

void TUseEdit::OkBtnClick() { MainSt.EditorName = Edit->Text(); }

TAboutDlg::TAboutDlg() {
  LProductN = Add<TLabel>();
  LVer = Add<TLabel>();
  OkBtn = Add<TButton>();
  LCopyright = Add<TLabel>();
  SetCaption(set_res_string(7003));
  OkBtn->SetCaption(set_res_string(7000));
  LProductN->SetBounds(12, 12, 296, 20);
  LVer->SetBounds(12, 36, 296, 20);
  LCopyright->SetBounds(12, 60, 296, 20);
  OkBtn->SetBounds(110, 92, 100, 28);
  SetClientSize(320, 132);
  OkBtn->SetDefault(true);
  OkBtn->SetModalResult(mrOk);
  OkBtn->SetCancel(true);
  OnShow = [this] { FormShow(); };
}

void TAboutDlg::FormShow() {
  LProductN->SetCaption(SetTexts.ProductName);
  LVer->SetCaption("Ver " + SetTexts.ProductVersion);
  LCopyright->SetCaption(SetTexts.LegalCopyright);
}

TRdme::TRdme() {
  RdmeTxt = Add<TMemo>();
  OKBtn = Add<TButton>();
  SetCaption("ReadMe");
  OKBtn->SetCaption("OK");
  RdmeTxt->SetReadOnly(true);
  RdmeTxt->SetBounds(8, 8, 560, 360);
  OKBtn->SetBounds(238, 376, 100, 28);
  SetClientSize(576, 412);
  OKBtn->SetDefault(true);
  OKBtn->SetModalResult(mrOk);
  OKBtn->SetCancel(true);
  OnActivate = [this] { FormActivate(); };
}

std::string set_readme_path() {
  const std::string base = MainSt.BinDir.empty() ? host_current_dir() : MainSt.BinDir;
  const std::size_t cut = base.find_last_of("\\:");
  return (cut == std::string::npos ? std::string() : base.substr(0, cut + 1)) + "Document\\Readme.txt";
}

void TRdme::FormActivate() {
  const std::string path = set_readme_path();
  const int file = host_file_open(path, kFileModeRead);
  if (file == kNoFile) {
    RdmeTxt->SetText("Can't open file [" + path + "]");
    return;
  }
  const i32 size = host_file_seek(file, 0, kSeekEnd);
  if (size < 0 || std::size_t(size) > kReadMeMaxSize || host_file_seek(file, 0, kSeekSet) != 0) {
    host_file_close(file);
    RdmeTxt->SetText("Invalid file size [" + path + "]");
    return;
  }
  std::string text(std::size_t(size), '\0');
  const i32 got = size > 0 ? host_file_read(file, text.data(), u32(size)) : 0;
  host_file_close(file);
  if (got != size) {
    RdmeTxt->SetText("Can't read file [" + path + "]");
    return;
  }
  text.resize(std::min(text.size(), text.find('\0')));  // shown up to its first zero byte
  RdmeTxt->SetText(text);
}
