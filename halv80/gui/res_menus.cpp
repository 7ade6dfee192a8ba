// Menu 100, the main frame's menu bar. Popups in descriptor order: File (1),
// Edit and Search (2), Run and Settings (2), Window and View (2), Help (1).
// Commands whose handlers are not there are greyed by the command enabling.
#include "halv80/gui/res_menus.h"

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
    {0, kMenuPopup, "設定(&O)"},
    {1, 400, "色選択(&S).."},
    {1, 403, "ﾌｫﾝﾄ設定(&F).."},
    {1, 402, "ﾂｰﾙﾊﾞｰ設定(&T).."},
    {1, 404, "ｵﾌﾟｼｮﾝ設定(&O).."},
    {1, 405, "ｳｲﾝﾄﾞｳﾘｻｲｽﾞ(&R)"},
    {1, 419, "ﾋﾝﾄ(&F)"},
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
    {0, kMenuPopup, "表示(&V)"},
    {1, kIdStatusBar, "ｽﾃｰﾀｽﾊﾞｰ(&S)"},
    {1, kIdToolBar, "ﾂｰﾙﾊﾞｰ(&T)"},
    {1, kIdWindowBar, "ｳｲﾝﾄﾞｳﾊﾞｰ(&W)"},
    {0, kMenuPopup, "ﾍﾙﾌﾟ(&H)"},
    {1, 486, "目次(&C)"},
    {1, 487, "ｷｰﾜｰﾄﾞで検索(&S)..."},
    {1, 0, ""},
    {1, 530, "QUENDAR-RZ7について(&A)..."},
};

}  // namespace

void res_register_menus() { owl_register_menu(kMenuMain, kMainMenuRows); }
