// The menu resources: menu 100, the main frame's bar, and the child windows'
// menus 4096 to 4108 that merge into it. Commands whose handlers are not there
// are greyed by the command enabling.
#include "halv80/gui/res_menus.h"

#include <iterator>
#include <span>

#include "platform/owl/owl_window.h"

namespace {

constexpr MenuTemplateRow kMainMenuRows[] = {
    {0, kMenuPopup, "ﾌｧｲﾙ(&F)"},
    {1, 406, "ﾛｰﾄﾞ(&L)..\tShift+F9"},
    {1, 407, "再ﾛｰﾄﾞ(&R)"},
    {1, 447, "ﾓｼﾞｭｰﾙ(&M).."},
    {1, 0, ""},
    {1, 511, "環境設定(&C)"},
    {1, 0, ""},
    {1, kCmExit, "終了(&X)"},
    {0, kMenuPopup, "編集(&E)"},
    {1, 409, "貼り付け(&P)\tShift+Ins"},
    {1, 410, "ﾍﾟｰｼﾞ複写(&C)\tCtrl+Ins"},
    {0, kMenuPopup, "検索(&S)"},
    {1, 482, "文字列の検索..(&F)\tF4 , Ctrl+QF"},
    {1, 483, "次を検索(&N)\tCtrl+F4 , Ctrl+L"},
    {0, kMenuPopup, "表示(&V)"},
    {1, kIdStatusBar, "ｽﾃｰﾀｽﾊﾞｰ(&S)"},
    {1, kIdToolBar, "ﾂｰﾙﾊﾞｰ(&T)"},
    {1, kIdWindowBar, "ｳｲﾝﾄﾞｳﾊﾞｰ(&W)"},
    {0, kMenuPopup, "実行(&R)"},
    {1, 411, "ﾌﾟﾛｸﾞﾗﾑ実行(&G)\tF5"},
    {1, 412, "ｶﾑ(&C)\tF7"},
    {1, 413, "ﾄﾚｰｽ(&T)\tF8"},
    {1, 414, "ｽﾃｯﾌﾟ(&S)\tF10"},
    {1, 415, "ﾘﾀｰﾝ実行(&U)\tCtrl+F5"},
    {1, 416, "強制ﾌﾞﾚｰｸ(&B)\tESC"},
    {1, 417, "ｿﾌﾄｳｪｱﾌﾞﾚｰｸ(&S)\tF9"},
    {1, 0, ""},
    {1, 510, "ｲﾍﾞﾝﾄ設定(&R).."},
    {1, 465, "ﾊｰﾄﾞｳｪｱﾌﾞﾚｰｸ(&H).."},
    {1, 481, "ﾘｱﾙﾀｲﾑﾄﾚｰｽﾓｰﾄﾞ(&E).."},
    {0, kMenuPopup, "ｳｲﾝﾄﾞｳ(&W)"},
    {1, kCmCascadeChildren, "ｶｽｹｰﾄﾞ(&C)"},
    {1, kCmTileChildren, "ﾀｲﾙ(&T)"},
    {1, kCmArrangeIcons, "ｱｲｺﾝ整列(&I)"},
    {1, 0, ""},
    {1, 424, "ﾕｰｻﾞ配置1(&1)\tCtrl+1"},
    {1, 425, "ﾕｰｻﾞ配置2(&2)\tCtrl+2"},
    {1, 426, "ﾕｰｻﾞ配置3(&3)\tCtrl+3"},
    {1, kMenuPopup, "ｳｲﾝﾄﾞｳ配置保存(&S).."},
    {2, 427, "ﾕｰｻﾞ配置1(&1)"},
    {2, 428, "ﾕｰｻﾞ配置2(&2)"},
    {2, 429, "ﾕｰｻﾞ配置3(&3)"},
    {0, kMenuPopup, "設定(&O)"},
    {1, 400, "色選択(&S).."},
    {1, 403, "ﾌｫﾝﾄ設定(&F).."},
    {1, 402, "ﾂｰﾙﾊﾞｰ設定(&T).."},
    {1, 404, "ｵﾌﾟｼｮﾝ設定(&O).."},
    {1, 405, "ｳｲﾝﾄﾞｳﾘｻｲｽﾞ(&R)"},
    {1, 419, "ﾋﾝﾄ(&F)"},
    {0, kMenuPopup, "ﾍﾙﾌﾟ(&H)"},
    {1, 486, "目次(&C)"},
    {1, 487, "ｷｰﾜｰﾄﾞで検索(&S)..."},
    {1, 0, ""},
    {1, 530, "QUENDAR-RZ7について(&A)..."},
};

// The child windows' menus, one popup each (the object group) under the
// window's title; the memo's has its edit-group popups first.
constexpr MenuTemplateRow kWatchMenuRows[] = {
    {0, kMenuPopup, "ウォッチ"},
    {1, 423, "ｲﾝｽﾍﾟｸﾄ(&I)\tF6 , Ctrl+I"},
    {1, 422, "ｳｫｯﾁ(&W)\tF7 , Ctrl+W"},
    {1, 475, "要素の表示(&+)\tEnter"},
    {1, 474, "ｳｫｯﾁ追加(&A)..\tIns"},
    {1, 472, "取り消し(&C)\tDel"},
    {1, 473, "全て取り消し(&l)\tF3"},
};
constexpr MenuTemplateRow kMemoryMenuRows[] = {
    {0, kMenuPopup, "メモリ"},
    {1, 430, "ﾊﾞｲﾄ表示(&B)\tB"},
    {1, 431, "ﾜｰﾄﾞ表示(&W)\tW"},
    {1, 432, "ﾀﾞﾌﾞﾙﾜｰﾄﾞ表示(&D)\tD"},
    {1, 433, "ｼｮｰﾄﾌﾛｰﾄ(&S)\tS , F"},
    {1, 434, "ﾛﾝｸﾞﾌﾛｰﾄ(&L)\tL"},
    {1, 435, "ﾃﾝﾎﾟﾗﾘﾌﾛｰﾄ表示(&T)\tT"},
    {1, 436, "ASCII表示(&C)\tC"},
    {1, 437, "16進数表示(&H)\t6 , H"},
    {1, 438, "10進数表示(&D)\t1"},
    {1, 439, "ｱﾄﾞﾚｽ設定(&A)..\tA , F7"},
    {1, 440, "ﾃﾞｰﾀ変更(&E)..\tE , F6"},
};
constexpr MenuTemplateRow kRegisterMenuRows[] = {
    {0, kMenuPopup, "レジスタ"},
    {1, 454, "値の変更(&C)\tEnter"},
    {1, 455, "初期化(&Z)\tF3"},
    {1, 456, "ｲﾝｸﾘﾒﾝﾄ(&+)"},
    {1, 457, "ﾃﾞｸﾘﾒﾝﾄ(&-)"},
    {1, 458, "10進数表示(&D)\tF9"},
    {1, 459, "ﾒﾓﾘ表示(&M)\tF7"},
    {1, 460, "ｼﾝﾎﾞﾙ表示(&S)\tF6"},
    {1, 490, "MMU表示(&U)"},
};
constexpr MenuTemplateRow kStackMenuRows[] = {
    {0, kMenuPopup, "スタック"},
    {1, 470, "ｼﾝﾎﾞﾙ表示(&S)\tF6"},
    {1, 471, "ｱﾄﾞﾚｽ表示(&A)\tF7"},
};
constexpr MenuTemplateRow kLocalMenuRows[] = {
    {0, kMenuPopup, "ローカル"},
    {1, 423, "ｲﾝｽﾍﾟｸﾄ(&I)\tF6 , Ctrl+I"},
    {1, 422, "ｳｫｯﾁ(&W)\tF7 , Ctrl+W"},
    {1, 477, "要素表示(&+)\tEnter"},
    {1, 476, "ｵﾌｾｯﾄ(&O)\tF9"},
};
constexpr MenuTemplateRow kBacktraceMenuRows[] = {
    {0, kMenuPopup, "バックトレース"},
    {1, 423, "ｲﾝｽﾍﾟｸﾄ(&I)\tF6 , Ctrl+I"},
    {1, 468, "ｿｰｽ(&S)\tF9"},
    {1, 469, "ｱﾄﾞﾚｽ(&A)\tF7"},
};
constexpr MenuTemplateRow kBreakMenuRows[] = {
    {0, kMenuPopup, "ブレーク"},
    {1, 461, "ﾌﾞﾚｰｸ設定(&A)..\tIns"},
    {1, 462, "禁止(&D)\tF9,Enter"},
    {1, 463, "削除(&C)\tDel"},
    {1, 464, "全て削除(&l)\tF3"},
    {1, 465, "ﾊｰﾄﾞｳｪｱﾌﾞﾚｰｸ(&H)..\tF7"},
    {1, 466, "設定のﾛｰﾄﾞ(&L)\tF6"},
    {1, 467, "設定のｾｰﾌﾞ(&S)\tF4"},
    {1, 510, "ｲﾍﾞﾝﾄ設定(&R)..\tF8"},
};
// The memo: its Edit and Search popups stand in for the frame's, its own
// popup, with the edit control's commands again, follows Run.
constexpr MenuTemplateRow kMemoMenuRows[] = {
    {0, kMenuPopup, "編集(&E)"},
    {1, 24321, "元に戻す(&U)\tAlt+BkSp"},
    {1, 24322, "切り取り(&C)\tShift+Del"},
    {1, 24323, "ｺﾋﾟｰ(&O)\tCtrl+Ins"},
    {1, 24324, "貼り付け(&P)\tShift+Ins"},
    {1, 24325, "削除(&D)\tDel"},
    {1, 24326, "全て消去(&L)\tCtrl+Del"},
    {0, kMenuPopup, "検索(&S)"},
    {1, 482, "文字列の検索..(&F)\tF4 , Ctrl+QF"},
    {1, 483, "次を検索(&N)\tCtrl+F4 , Ctrl+L"},
    {0, kMenuPopup, "メモ(&M)"},
    {1, 24321, "元に戻す(&U)\tAlt+BkSp"},
    {1, 24322, "切り取り(&C)\tShift+Del"},
    {1, 24323, "ｺﾋﾟｰ(&O)\tCtrl+Ins"},
    {1, 24324, "貼り付け(&P)\tShift+Ins"},
    {1, 24325, "削除(&D)\tDel"},
    {1, 24326, "全て消去(&L)\tCtrl+Del"},
};
constexpr MenuTemplateRow kHistoryMenuRows[] = {
    {0, kMenuPopup, "ヒストリ"},
    {1, 478, "ｱｾﾝﾌﾞﾗ(&A)\tF3"},
    {1, 479, "ｼﾞｬﾝﾌﾟ(&J)..\tF6"},
    {1, 480, "ﾋｽﾄﾘｽﾄｯﾌﾟ(&S)\tF7"},
    {1, 481, "ﾘｱﾙﾀｲﾑﾄﾚｰｽﾓｰﾄﾞ(&E)..\tF9"},
    {1, 510, "ｲﾍﾞﾝﾄ設定(&R)..\tF8"},
};
constexpr MenuTemplateRow kInspectMenuRows[] = {
    {0, kMenuPopup, "ｲﾝｽﾍﾟｸﾄ"},
    {1, 423, "ｲﾝｽﾍﾟｸﾄ(&I)\tF6 , I , Ctrl+I"},
    {1, 422, "ｳｫｯﾁ(&W)\tF7 , W , Ctrl+W"},
    {1, 441, "ﾋﾞｭｰ(&V)\tF8 , V , Ctrl+V"},
    {1, 442, "範囲(&R)..\tF9 , R"},
    {1, 443, "変更(&C)..\tF10 , C"},
    {1, 444, "基数変更(&D)\tF5"},
};
// The command window's menu offers the main menu's Load and Reload as well.
constexpr MenuTemplateRow kCommandMenuRows[] = {
    {0, kMenuPopup, "コマンド"},
    {1, 484, "履歴(&H)..\tShift+F2"},
    {1, 485, "ｼﾝﾎﾞﾙ拡張(&S)..\tShift+F6"},
    {1, 409, "貼り付け(&P)\tShift+Ins"},
    {1, 406, "ﾛｰﾄﾞ(&L)..\tShift+F9"},
    {1, 407, "再ﾛｰﾄﾞ(&R)"},
};
constexpr MenuTemplateRow kCodeMenuRows[] = {
    {0, kMenuPopup, "コード"},
    {1, 445, "表示切り替え(&S)\tF3"},
    {1, 447, "ﾓｼﾞｭｰﾙ(&M)..\tF1"},
    {1, 446, "行番号(&L)..\tCtrl+QL"},
    {1, 448, "先頭(&T)\tCtrl+QR"},
    {1, 449, "最後(&B)\tCtrl+QC"},
    {1, 450, "PC位置(&P)\tCtrl+QP"},
    {1, 451, "ﾌｧｲﾙ固定(&S)"},
    {1, 452, "関数固定(&F)"},
    {1, 453, "ﾌﾘｯﾌﾟ(&P)"},
    {1, 422, "ｳｫｯﾁ(&W)\tCtrl+W"},
    {1, 423, "ｲﾝｽﾍﾟｸﾄ(&I)\tF6 , Ctrl+I"},
};
// The second code window's menu: the same commands under its own title.
constexpr MenuTemplateRow kCode1MenuRows[] = {
    {0, kMenuPopup, "コード-1"},
    {1, 445, "表示切り替え(&S)\tF3"},
    {1, 447, "ﾓｼﾞｭｰﾙ(&M)..\tF1"},
    {1, 446, "行番号(&L)..\tCtrl+QL"},
    {1, 448, "先頭(&T)\tCtrl+QR"},
    {1, 449, "最後(&B)\tCtrl+QC"},
    {1, 450, "PC位置(&P)\tCtrl+QP"},
    {1, 451, "ﾌｧｲﾙ固定(&S)"},
    {1, 452, "関数固定(&F)"},
    {1, 453, "ﾌﾘｯﾌﾟ(&P)"},
    {1, 422, "ｳｫｯﾁ(&W)\tCtrl+W"},
    {1, 423, "ｲﾝｽﾍﾟｸﾄ(&I)\tF6 , Ctrl+I"},
};

// Menus 4096 + child index, in index order.
constexpr std::span<const MenuTemplateRow> kChildMenus[] = {
    kWatchMenuRows, kMemoryMenuRows, kRegisterMenuRows, kStackMenuRows, kLocalMenuRows,
    kBacktraceMenuRows, kBreakMenuRows, kMemoMenuRows, kHistoryMenuRows, kInspectMenuRows,
    kCommandMenuRows, kCodeMenuRows, kCode1MenuRows,
};
static_assert(std::size(kChildMenus) == kChildMenuCount);

}  // namespace

void res_register_menus() {
  owl_register_menu(kMenuMain, kMainMenuRows);
  for (u32 i = 0; i < kChildMenuCount; ++i) owl_register_menu(kMenuChildBase + i, kChildMenus[i]);
}
