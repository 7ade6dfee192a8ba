// The window side's string table. ORDER: ascending id.
#include "halv80/gui/res_strings.h"

#include <string>

#include "platform/host/host_text_table.h"

namespace {

constexpr HostTextRow kStrings[] = {
    {400, "ｳｲﾝﾄﾞｳの色選択\n色指定"},
    {402, "ﾂｰﾙﾊﾞｰの設定\nﾂｰﾙﾊﾞｰ設定"},
    {403, "表示ﾌｫﾝﾄの設定\nﾌｫﾝﾄ指定"},
    {405, "ｳｲﾝﾄﾞｳをﾘｻｲｽﾞする\nﾘｻｲｽﾞ"},
    {406, "ﾃﾞﾊﾞｯｸﾞﾌｧｲﾙのﾛｰﾄﾞ\nﾛｰﾄﾞ"},
    {407, "ﾃﾞﾊﾞｯｸﾞﾌｧｲﾙの再ﾛｰﾄﾞ\n再ﾛｰﾄﾞ"},
    {409, "ｸﾘｯﾌﾟﾎﾞｰﾄﾞからの貼り付け\n貼り付け"},
    {410, "ﾍﾟｰｼﾞの複写\n複写"},
    {411, "ﾕｰｻﾞﾌﾟﾛｸﾞﾗﾑの実行\n実行"},
    {413, "ﾄﾚｰｽ実行\nﾄﾚｰｽ実行"},
    {414, "ｽﾃｯﾌﾟ実行\nｽﾃｯﾌﾟ実行"},
    {415, "関数からのﾘﾀｰﾝ実行\nﾘﾀｰﾝ実行"},
    {416, "強制ﾌﾞﾚｰｸ\n強制ﾌﾞﾚｰｸ"},
    {419, "ﾋﾝﾄの表示\nﾋﾝﾄ"},
    {420, "ﾂｰﾙﾊﾞｰの位置指定\nﾂｰﾙﾊﾞｰ位置"},
    {421, "ｳｲﾝﾄﾞｳﾊﾞｰの位置指定\nｳｲﾝﾄﾞｳﾊﾞｰ"},
    {422, "ｳｫｯﾁｳｲﾝﾄﾞｳに登録\nｳｫｯﾁ"},
    {423, "ｲﾝｽﾍﾟｸﾄｳｲﾝﾄﾞｳに表示\nｲﾝｽﾍﾟｸﾄ"},
    {424, "登録したｳｲﾝﾄﾞｳの配置1\n配置1"},
    {425, "登録したｳｲﾝﾄﾞｳの配置2\n配置2"},
    {426, "登録したｳｲﾝﾄﾞｳの配置3\n配置3"},
    {445, "ｿｰｽ/逆ｱｾﾝﾌﾞﾙ表示\nｿｰｽ/逆ｱｾﾝﾌﾞﾙ"},
    {447, "ﾓｼﾞｭｰﾙ ﾀﾞｲｱﾛｸﾞﾎﾞｯｸｽ\nﾓｼﾞｭｰﾙ"},
    {482, "文字列の検索\n検索"},
    {483, "次を検索\n次を検索"},
    {486, "目次の表示\nﾍﾙﾌﾟ"},
    {531, "ウォッチウインドウ\nｳｫｯﾁｳｲﾝﾄﾞｳ"},
    {532, "メモリウインドウ\nﾒﾓﾘｳｲﾝﾄﾞｳ"},
    {533, "レジスタウインドウ\nﾚｼﾞｽﾀｳｲﾝﾄﾞｳ"},
    {534, "スタックウインドウ\nｽﾀｯｸｳｲﾝﾄﾞｳ"},
    {535, "ローカルウインドウ\nﾛｰｶﾙｳｲﾝﾄﾞｳ"},
    {536, "バックトレースウインドウ\nﾊﾞｯｸﾄﾚｰｽｳｲﾝﾄﾞｳ"},
    {537, "ブレークウインドウ\nﾌﾞﾚｰｸｳｲﾝﾄﾞｳ"},
    {538, "メモウインドウ\nﾒﾓｳｲﾝﾄﾞｳ"},
    {539, "ヒストリウインドウ\nﾋｽﾄﾘｳｲﾝﾄﾞｳ"},
    {541, "コマンドウインドウ\nｺﾏﾝﾄﾞｳｲﾝﾄﾞｳ"},
    {542, "コードウインドウ\nｺｰﾄﾞｳｲﾝﾄﾞｳ"},
    {543, "コード-1ウインドウ\nｺｰﾄﾞｳｲﾝﾄﾞｳ1"},
    {600, "Watch Window"},
    {601, "Memory Window"},
    {602, "Register Window"},
    {603, "Stack Window"},
    {604, "Local Window"},
    {605, "Back Trace Window"},
    {606, "Break Window"},
    {607, "Memo Window"},
    {608, "History Window"},
    {609, "Inspect Window"},
    {610, "Command Window"},
    {611, "Code Window"},
    {612, "Code1 Window"},
    {613, "Frame Window"},
    {614, "Client Window"},
    {624, "Tool Bar"},
    {625, "Status Bar"},
    {626, "ReSize Status"},
    {627, "OptWin Status"},
    {700, "1:Zoom 2:OptWin 3:All Can 4:Search 5:Go 6:Inspect 7:Watch 8:Trace 10:Step"},
    {701, "1:Zoom 2:OptWin 4:Search 5:Go 6:Data 7:Addr 8:Trace 10:Step"},
    {702, "1:Zoom 2:OptWin 3:Zero 4:Search 5:Go 6:Sym 7:Mem 8:Trace 9:(10) 10:Step"},
    {703, "1:Zoom 2:OptWin 4:Search 5:Go 6:Sym 7:Addr 8:Trace 10:Step"},
    {704, "1:Zoom 2:OptWin 4:Search 5:Go 6:Inspect 7:Watch 8:Trace 9:Offset 10:Step"},
    {705, "1:Zoom 2:OptWin 4:Search 5:Go 6:Inspect 7:Addr 8:Trace 9:SrcLine 10:Step"},
    {706, "1:Zoom 2:OptWin 3:All Can 4:BP Save 5:Go 6:BP Load 7:Add HW 8:Trace 9:E/D 10:Step"},
    {707, "1:Zoom 2:OptWin 4:Search 5:Go 8:Trace 10:Step"},
    {708, "1:Zoom 2:OptWin 3:DisSW 4:Search 5:Go 6:Jump 7:TStop/TGo 8:Trace 9:EvSet 10:Step"},
    {709, "1:Zoom 4:Search 5:16<>10 6:Inspect 7:Watch 8:View 9:Range 10:Change"},
    {710, "1:Module 2:OptWin 3:SrcSW 4:Search 5:Go 6:Inspct 7:Come 8:Trace 9:Break 10:Step"},
    {711, "1:Zoom 2:OptWin 3:SrcSW1 4:Srch1 5:Return 6:Inspct 7:Watch 8:View 9:Get 10:Copy"},
    {712, "1:C1 2:Histry 3:CA 4:Ln Top 5:Ln Bot 6:ExtSym 7:Ln Can 8:AllCan  10:Option"},
    {713, "1:Code0 2:Cmd 3:Watch 4:Memory 5:Reg 6:Stack 7:Local 8:BTrace 9:Break 10:Memo"},
    {801, "ﾀｰｹﾞｯﾄの電源を確認してください"},
    {805, "OSのバージョンが取得できませんでした"},
    {806, "このプラットフォームはサポートしていません"},
    {807, "RZ7BIOS.DLLがRZ7IF.SYSと一致していません"},
    {808, "RZ7BIOS.DLLがQUENDARと一致していません"},
    {850, "ｴﾗｰ"},
    {851, "ｻｰﾋﾞｽｺﾝﾄﾛｰﾙﾏﾈｰｼﾞｬﾃﾞｰﾀﾍﾞｰｽが開けませんでした"},
    {852, "QUENDARﾄﾞﾗｲﾊﾞｻｰﾋﾞｽが開けませんでした"},
    {853, "QUENDARﾄﾞﾗｲﾊﾞｻｰﾋﾞｽが開始できませんでした"},
    {854, "ﾄﾞﾗｲﾊﾞが開けませんでした"},
    {855, "BIOSWORKのｻｲｽﾞが違います(SYS-DLL)"},
    {856, "ﾄﾞﾗｲﾊﾞ引数のｻｲｽﾞが違います(SYS-DLL)"},
    {857, "OSのﾊﾞｰｼﾞｮﾝが取得できません"},
    {858, "ｻﾎﾟｰﾄしていないOSです"},
    {859, "BIOSWORKのｻｲｽﾞが違います(DLL-EXE)"},
    {860, "ﾄﾞﾗｲﾊﾞ引数のｻｲｽﾞが違います(DLL-EXE)"},
    {900, "実行ﾌｧｲﾙ (*.HEX)|*.HEX||"},
    {901, "実行ﾌｧｲﾙ (*.D01)|*.D01||"},
    {902, "実行ﾌｧｲﾙ (*.ABS)|*.ABS||"},
    {950, "ウォッチ"},
    {951, "メモリ"},
    {952, "レジスタ"},
    {953, "スタック"},
    {954, "ローカル"},
    {955, "バックトレース"},
    {956, "ブレーク"},
    {958, "ヒストリ"},
    {960, "コマンド"},
    {961, "コード"},
    {962, "コード-1"},
    {1001, "ｱｾﾝﾌﾞﾗ(&A)\tF3"},
    {1002, "ｿｰｽ(&S)\tF3"},
    {1003, "行番号(&L)..\tCtrl+QL"},
    {1004, "ｱﾄﾞﾚｽ(&A)..\tCtrl+QL"},
    {1007, "ｲﾝｽﾍﾟｸﾄ"},
    {1018, "ﾛｰﾄﾞｴﾗｰ"},
    {1019, "ｺﾏﾝﾄﾞ履歴"},
    {1020, "ｼﾝﾎﾞﾙ拡張"},
    {1023, "ＱＵＥＤＮＡＲを終了します"},
    {2390, "環境設定のためQUENDARを終了します\nよろしいですか"},
    {2391, "RZ7SET.EXEが実行できませんでした"},
    {24310, "QUENDARの終了\n終了"},
    {24361, "ｳｲﾝﾄﾞｳを重ねて表示\nｶｽｹｰﾄﾞ"},
    {24362, "ｳｲﾝﾄﾞｳを並べて表示\nﾀｲﾙ"},
};

static_assert(host_text_ids_ascending(kStrings));

const HostTextTable& table() {
  static const HostTextTable t(kStrings);
  return t;
}

}  // namespace

std::string_view res_string(u16 id) { return table().find(id); }

std::string_view res_command_hint(u16 id) {
  const std::string_view s = res_string(id);
  return s.substr(0, s.find('\n'));
}

std::string_view res_command_tip(u16 id) {
  const std::string_view s = res_string(id);
  const std::size_t lf = s.find('\n');
  return lf == std::string_view::npos ? std::string_view() : s.substr(lf + 1);
}
