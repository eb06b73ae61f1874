#pragma once
// Form3, "ﾌｧｲﾙを開く": picks drawings of a folder by title for a run with
// manual file selection.

#include "convert/ConversionState.h"
#include "ui/TwipsPlacement.h"

#include <QDialog>

#include <filesystem>
#include <string>
#include <vector>

class QComboBox;
class QLabel;
class QListWidget;
class QListWidgetItem;

namespace kesto {

class PreviewPane;

class FileChooser : public QDialog {
    Q_OBJECT
public:
    // Opens on `folder` (a folder that does not exist opens its nearest
    // existing parent, or `fallback`).
    FileChooser(const std::filesystem::path& folder, const std::filesystem::path& fallback,
                TwipsPlacement placement, QWidget* parent = nullptr);

    // The folder shown last: the run's folder, also after "キャンセル".
    const std::filesystem::path& shownFolder() const { return folder_; }
    // The names (without folder) taken with "選択", in list order; empty after
    // "キャンセル" or a close.
    const std::vector<std::string>& chosenNames() const { return chosen_; }
    TwipsPlacement placement() const { return placement_; }

    // The settings the preview pane converts the current drawing with (the
    // window's settings, so the sheet, rotation and reduction are the
    // plotter's).
    void setPreviewSettings(const ConversionSettings& settings) { previewSettings_ = settings; }
    PreviewPane* preview() const { return preview_; }

    // Shows another folder (as a click in the folder list does).
    void showFolder(const std::filesystem::path& folder);

    // The mount points offered in the drive list, "/" first.
    static std::vector<std::filesystem::path> drives();

    void done(int result) override;

private:
    void listFolder();
    void fillDrives();
    void fillFolders();
    void driveChosen(int index);
    void folderActivated(QListWidgetItem* item);
    void take();
    void previewItem(QListWidgetItem* item);

    QComboBox* drive_ = nullptr;
    QLabel* path_ = nullptr;
    QListWidget* dirs_ = nullptr;
    QListWidget* files_ = nullptr;
    PreviewPane* preview_ = nullptr;
    ConversionSettings previewSettings_;
    std::filesystem::path folder_;
    std::vector<std::string> chosen_;
    TwipsPlacement placement_;
    bool navigating_ = false;
};

} // namespace kesto
