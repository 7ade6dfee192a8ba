// The program's string resources, by resource id. Message N of the command
// language is resource N + 1. Texts are written here in UTF-8 and converted to
// CP932 once, at the first look-up.
#include <string>
#include <string_view>

#include "halv80/engine/sup_messages.h"
#include "platform/host/host_text_table.h"

namespace {

// ORDER: ascending id.
constexpr HostTextRow kStrings[] = {
    {1, "\n アドレス指定が誤りです"},            // message 0
    {2, "\n データ指定が誤りです"},              // message 1
    {3, "\n コマンドのフォーマットが不正です"},  // message 2
    {4, "\n チェックサム エラー"},              // message 3
    {5, "\n マクロ内でのマクロ定義はできません"},    // message 4
    {6, "\n マクロ内でのマクロ削除はできません"},    // message 5
    {7, "\n マクロ名が内部コマンドと重複しています"},  // message 6
    {9, "\n Ｖｅｒｉｆｙエラー"},                // message 8
    {10, "\n マクロ バッファがいっぱいです"},        // message 9
    {11, "\n マクロ定義が正しく終了していません　｛　｝"},  // message 10
    {12, "\n マクロが１６レベル以上入れ子になっています"},  // message 11
    {13, "\n 指定ファイルがオープンできません"},    // message 12
    {14, "\n 指定された設定がありません"},          // message 13
    {15, "\n ブレーク ポイントが設定できません（最大１５ポイント）"},  // message 14
    {17, "\n コマンドのフォーマットが不正です"},  // message 16
    {19, "\n シンボルを登録しました"},              // message 18
    {20, "\tサブ プロセス セグメント 　＝"},    // message 19
    {22, "\n 関数のネストが３２レベルを超えました"},  // message 21
    {26, "\n 中断：＾Ｃキー，継続：その他のキー"},  // message 25
    {29, "\n サーチ データは見つかりません"},      // message 28
    {30, "\n Ｃｏｍｐａｒｅ 開始"},                // message 29
    {31, "\n Ｃｏｍｐａｒｅ 終了"},                // message 30
    {32, "\n Ｃｏｍｐａｒｅ ＯＫ"},                // message 31
    {35, "\n コマンド エラー"},                  // message 34
    {36, "\n 指定ファイルがありません"},          // message 35
    {39, "\n ファイル フォーマットが不正です"},  // message 38
    {40, "\n ファイルがクリエートできません"},    // message 39
    {41, "\n ディスクがいっぱいです"},            // message 40
    {44, "\n デバッグ情報がありません"},          // message 43
    {45, "\n デバッグ情報のフォーマットが不正です"},  // message 44
    {46, "\n デバッグ情報領域がいっぱいです（起動時の－Ｂオプション参照）"},  // message 45
    {51, "\n ウォッチ指定が重複しています"},      // message 50
    {55, "\n このモデルでは使用できないコマンドです"},  // message 54
    {57, "\n トレース実行出来ません"},            // message 56
    {61, "\n ＊＊＊＊　Ｐｒｏｆｉｌｅ　＊＊＊＊"},  // message 60
    {62, "\nサンプリング タイム ＝"},             // message 61
    {63, "\nトータル サンプル数 ＝"},             // message 62
    {64, "\nユーザ サンプル数　 ＝"},             // message 63
    {65, "\nシステム サンプル数 ＝"},             // message 64
    {66, "\nサンプリングされていません"},         // message 65
    {67, " は登録されていません\n"},                // message 66
    {69, "\n リアル タイム カウント ＝"},         // message 68
    {74, "\n 副作用のある演算子は使用できません"},  // message 73
    {75, "\n Ｃの変数が見つかりません"},          // message 74
    {80, "レジスタ"},                            // message 79
    {84, "   ローカル   "},                      // message 83
    {85, "    メモ      "},                      // message 84
    {86, "バックトレース"},                      // message 85
    {87, "   スタック   "},                      // message 86
    {89, "    ステップ実行中    "},              // message 88
    {90, "   ターゲット実行中   "},              // message 89
    {104, "\n ディレクトリの指定が違います"},     // message 103
    {108, "\n ウォッチの設定ができません"},      // message 107
    {111, "ｿﾌﾄｳｪｱ ﾌﾞﾚｰｸ No.= "},              // message 110
    {115, "\nＱＵＥＮＤＡＲの内部エラー"},       // message 114
    {118, "\nモニタのコード領域/データ領域のマッピングはできません。"},  // message 117
    {126, "\n ターゲット実行中は使用できません"},  // message 125
    {134, "\n モニタ領域です"},                  // message 133
    {158, "強制起動モードでは実行できません"},      // message 157
    {800, "ﾀｰｹﾞｯﾄCPUがﾊﾝｸﾞｱｯﾌﾟしました"},
    {802, "QUENDAR-RZ7を初期化してもよいですか？"},
    {803, "QUENDAR-RZ7を終了してもよいですか？"},
};

static_assert(host_text_ids_ascending(kStrings));

const HostTextTable& table() {
  static const HostTextTable t(kStrings);
  return t;
}

}  // namespace

std::string_view sup_string_resource(u16 id) { return table().find(id); }
