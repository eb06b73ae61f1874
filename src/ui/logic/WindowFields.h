#pragma once
// The main window's settings fields: one row per setting ties its key to its
// field, its label and what a click on the label does.  The rows build the
// window, show the settings and give the run the field texts it reads.

#include "ui/logic/SettingCycles.h"

#include <string>
#include <string_view>
#include <vector>

namespace kesto {

// The fields by what they show; the numbers are those of their object names
// (Text1 ... Text26).
namespace field {
inline constexpr int kFolder = 1;
inline constexpr int kA4V = 2;
inline constexpr int kA4H = 3;
inline constexpr int kA3 = 4;
inline constexpr int kA2V = 5;
inline constexpr int kPenThick = 6;
inline constexpr int kPenMedium = 7;
inline constexpr int kPenThin = 8;
inline constexpr int kPenText = 9;
inline constexpr int kPenPattern = 10;
inline constexpr int kFileSelection = 11;
inline constexpr int kFinishedFiles = 12;
inline constexpr int kOutput = 13;
inline constexpr int kKanaSet = 14;
inline constexpr int kAlnumSet = 15;
inline constexpr int kKanjiWidth = 16;
inline constexpr int kKanjiHeight = 17;
inline constexpr int kKanjiX = 18;
inline constexpr int kKanjiY = 19;
inline constexpr int kA2H = 20;
inline constexpr int kA1 = 21;
inline constexpr int kA0 = 22;
inline constexpr int kReduction = 23;
inline constexpr int kPrinter = 24;
inline constexpr int kPenBreak = 25;
inline constexpr int kPlotter = 26;
} // namespace field

// Where a setting sits in the window.
enum class Group {
    Folder,
    Plotter,  // beside the rotation header, whose click applies the plotter's preset
    Rotation, // in the order the plotter preset lists them
    Pen,      // the pen reset covers the first five
    Reduction,
    CharacterSet,
    KanjiFactor,
    Files,
    Printer,
};

using Cycle = std::string (*)(std::string_view);

// One row per setting: its key, its field (TextN), the label beside it
// (LabelN), what a click on the label does to the field, and whether it is
// typed (else only the labels, or the printer chooser, change it).  The rows
// build the window, show the settings and give the run its field texts.
struct SettingRow {
    std::string_view key;
    int field;
    int label;
    const char* caption;
    const char* tooltip;
    Group group;
    Cycle cycle; // nullptr: a click does nothing (or what its group says)
    bool typed;
};
inline constexpr SettingRow kSettingRows[] = {
    {"OfiFile", field::kFolder, 1, "* ．ＯＦＩ ファイルの場所", "ﾌｧｲﾙ選択を手動にして変更しても可",
     Group::Folder, nullptr, true},
    {"OfiA4V", field::kA4V, 2, "A4縦", "", Group::Rotation, nextRotation, false},
    {"OfiA4H", field::kA4H, 3, "A4横", "", Group::Rotation, nextRotation, false},
    {"OfiA3", field::kA3, 4, "A3横", "", Group::Rotation, nextRotation, false},
    {"OfiA2V", field::kA2V, 5, "A2縦", "", Group::Rotation, nextRotation, false},
    {"OfiA2H", field::kA2H, 23, "A2横", "", Group::Rotation, nextRotation, false},
    {"OfiA1", field::kA1, 24, "A1横", "", Group::Rotation, nextRotation, false},
    {"OfiA0", field::kA0, 25, "A0横", "", Group::Rotation, nextRotation, false},
    {"Plot", field::kPlotter, 6, "回転", "用紙の回転方向をラベルをクリックして選択する",
     Group::Plotter, nullptr, false},
    {"LineL", field::kPenThick, 7, "太線", "", Group::Pen, nextPen, false},
    {"LineM", field::kPenMedium, 8, "中線", "", Group::Pen, nextPen, false},
    {"LineS", field::kPenThin, 9, "細線", "", Group::Pen, nextPen, false},
    {"LineT", field::kPenText, 10, "注記", "", Group::Pen, nextPen, false},
    {"LineP", field::kPenPattern, 11, "ﾊﾟﾀｰﾝ", "", Group::Pen, nextPen, false},
    {"LineD", field::kPenBreak, 28, "破断", "", Group::Pen, nextPen, false},
    {"OfiS", field::kReduction, 26, "縮小率（％）", "縮小率又は用紙サイズを指定", Group::Reduction,
     nextReduction, true},
    {"MojiK", field::kKanaSet, 16, "カタカナ文字ｾｯﾄ",
     "カタカナ文字を半角フォントか全角フォントか選択する", Group::CharacterSet, nextCharacterSet,
     false},
    {"MojiE", field::kAlnumSet, 17, "英数記号文字ｾｯﾄ",
     "英数記号文字を半角フォントか全角フォントか選択する", Group::CharacterSet, nextCharacterSet,
     false},
    {"MojiW", field::kKanjiWidth, 19, "幅", "", Group::KanjiFactor, nullptr, true},
    {"MojiH", field::kKanjiHeight, 20, "高さ", "", Group::KanjiFactor, nullptr, true},
    {"MojiX", field::kKanjiX, 21, "Ｘ座標", "", Group::KanjiFactor, nullptr, true},
    {"MojiY", field::kKanjiY, 22, "Ｙ座標", "", Group::KanjiFactor, nullptr, true},
    {"OfiFMen", field::kFileSelection, 13, "ﾌｧｲﾙ選択", "OFIファイルを自動で検索するか、選択するか",
     Group::Files, nextFileSelection, false},
    {"OfiFEnd", field::kFinishedFiles, 14, "終了ﾌｧｲﾙ", "出図済みOFIファイルを消去するか保存するか",
     Group::Files, nextFinishedHandling, false},
    {"OfiOut", field::kOutput, 15, "出力先",
     "作成したHP-GLファイルを印刷するかドライブにコピーするか", Group::Files, nextOutput, false},
    {"Hprn", field::kPrinter, 27, "出力先プロッタ名", "指定が無い場合通常使うプリンターになる",
     Group::Printer, nullptr, false},
};

// The rows of a group, in table order.
std::vector<const SettingRow*> rowsOf(Group group);
// The row of a field (TextN).
const SettingRow& rowOf(int field);

// The labels over a group of fields.
inline constexpr int kPenHeader = 12;
inline constexpr int kKanjiHeader = 18;
struct LabelText {
    int number;
    const char* caption;
    const char* tooltip;
    bool clickable;
};
inline constexpr LabelText kHeaderLabels[] = {
    {kPenHeader, "ペンNo", "プロッターのペンＮｏと線種をラベルをクリックして合わす", true},
    {kKanjiHeader, "漢字　変更倍率（サイズ、位置）",
     "漢字フォントのサイズと位置を変更します（Y座標の-0.1の場合は文字幅の10％移動します", false},
};

} // namespace kesto
