#pragma once
// The words kesto shows and stores: the choices of the settings (exactly as
// Kesto.sys and the window's fields hold them) and the status texts of a
// run.  Every comparison with a choice word goes through this header.

#include <optional>
#include <string_view>

namespace kesto {

namespace words {
inline constexpr std::string_view kManual = "手動";       // OfiFMen: the user picks the files
inline constexpr std::string_view kAutomatic = "自動";    // OfiFMen: the folder is scanned
inline constexpr std::string_view kKeep = "保存";         // OfiFEnd: finished OFI files stay
inline constexpr std::string_view kDelete = "消去";       // OfiFEnd: finished OFI files go
inline constexpr std::string_view kToPlotter = "ﾌﾟﾛｯﾀ";   // OfiOut: the GLF file is spooled
inline constexpr std::string_view kToFile = "ﾌｧｲﾙ";       // OfiOut: the GLF file stays
inline constexpr std::string_view kHalfWidth = "半角";    // MojiK, MojiE
inline constexpr std::string_view kFullWidth = "全角";    // MojiK, MojiE
inline constexpr std::string_view kPlotterA0 = "A0ﾌﾟﾛｯﾀ"; // Plot
inline constexpr std::string_view kPlotterA1 = "A1ﾌﾟﾛｯﾀ"; // Plot
inline constexpr std::string_view kUpright = "90";        // OfiA4V ...: the sheet as drawn
inline constexpr std::string_view kTurned = "0";          // OfiA4V ...: the sheet turned
} // namespace words

// Status texts: a drawing's line is its title followed by one of these.
namespace status {
inline constexpr std::string_view kPlotting = "　出図中";
inline constexpr std::string_view kFinished = "　出図終了";
inline constexpr std::string_view kStopped = "　出図中止";
inline constexpr std::string_view kDamaged = "　データ異常";
inline constexpr std::string_view kFailed = "　出図失敗";
// A line of its own when a run finds nothing to plot.
inline constexpr std::string_view kNoDrawings = "図面が無いか、サイズが0です";
// A line of its own when another run holds the work file.
inline constexpr std::string_view kAnotherRun = "別の出図が実行中です";
} // namespace status

// The choice fields as named values.  A text that is none of the field's
// words reads as nullopt.
enum class FileSelection { Manual, Automatic };
enum class FinishedFiles { Keep, Delete };
enum class Output { Plotter, File };

inline std::optional<FileSelection> fileSelectionOf(std::string_view text) {
    if (text == words::kManual) return FileSelection::Manual;
    if (text == words::kAutomatic) return FileSelection::Automatic;
    return std::nullopt;
}
inline std::optional<FinishedFiles> finishedFilesOf(std::string_view text) {
    if (text == words::kKeep) return FinishedFiles::Keep;
    if (text == words::kDelete) return FinishedFiles::Delete;
    return std::nullopt;
}
inline std::optional<Output> outputOf(std::string_view text) {
    if (text == words::kToPlotter) return Output::Plotter;
    if (text == words::kToFile) return Output::File;
    return std::nullopt;
}

} // namespace kesto
