#include "ui/FileChooser.h"

#include "ui/ChooserButtons.h"

#include "io/NativeText.h"
#include "ofi/OfiTitle.h"
#include "ui/PreviewPane.h"
#include "ui/logic/ChooserEntry.h"
#include "ui/logic/PathText.h"

#include <QComboBox>
#include <QFont>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStorageInfo>

#include <algorithm>
#include <system_error>

namespace kesto {

namespace fs = std::filesystem;

namespace {

// The item data role that holds a file's real name (its bytes).
constexpr int kNameRole = Qt::UserRole;

QString pathText(const fs::path& p) {
    return QString::fromStdString(readablePath(utf8FromPath(p)));
}

// Whether `folder` lies on the file system mounted at `root`.
bool isUnder(const fs::path& folder, const fs::path& root) {
    auto f = folder.begin();
    for (auto r = root.begin(); r != root.end(); ++r, ++f) {
        if (r->empty()) continue; // the trailing "" of "/mnt/"
        if (f == folder.end() || *f != *r) return false;
    }
    return true;
}

// The mount point that holds `folder`: the longest one it lies under.
fs::path driveOf(const fs::path& folder, const std::vector<fs::path>& drives) {
    fs::path best = "/";
    std::size_t bestLength = 0;
    for (const fs::path& d : drives) {
        const std::size_t length = d.native().size();
        if (isUnder(folder, d) && length > bestLength) {
            best = d;
            bestLength = length;
        }
    }
    return best;
}

// An existing folder to open: `folder`, else its nearest existing parent,
// else `fallback`.
fs::path existingFolder(fs::path folder, const fs::path& fallback) {
    std::error_code ec;
    if (folder.is_relative()) folder = fallback / folder;
    folder = folder.lexically_normal();
    for (fs::path p = folder;; p = p.parent_path()) {
        if (fs::is_directory(p, ec)) return p;
        if (p == p.parent_path()) break;
    }
    return fallback;
}

} // namespace

std::vector<fs::path> FileChooser::drives() {
    std::vector<fs::path> out;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        if (!volume.isValid() || !volume.isReady()) continue;
        const fs::path root = pathFromUtf8(volume.rootPath().toStdString());
        if (std::find(out.begin(), out.end(), root) == out.end()) out.push_back(root);
    }
    std::sort(out.begin(), out.end(), [](const fs::path& a, const fs::path& b) {
        if ((a == "/") != (b == "/")) return a == "/";
        return a < b;
    });
#ifndef _WIN32
    if (out.empty() || out.front() != "/") out.insert(out.begin(), "/");
#endif
    return out;
}

FileChooser::FileChooser(const fs::path& folder, const fs::path& fallback, TwipsPlacement placement,
                         QWidget* parent)
    : QDialog(parent), placement_(placement) {
    setObjectName("Form3");
    setWindowTitle("ﾌｧｲﾙを開く");

    files_ = new QListWidget(this);
    files_->setObjectName("List1");
    files_->setSelectionMode(QAbstractItemView::MultiSelection);
    QFont mono("IPAGothic");
    mono.setStyleHint(QFont::Monospace);
    files_->setFont(mono);

    drive_ = new QComboBox(this);
    drive_->setObjectName("Drive1");
    path_ = new QLabel(this);
    path_->setWordWrap(true);
    dirs_ = new QListWidget(this);
    dirs_->setObjectName("Dir1");

    const ChooserButtons buttons = addChooserButtons(*this);

    // Beside the lists: the current drawing as the plotter will draw it.
    preview_ = new PreviewPane(this);
    preview_->setObjectName("Preview1");

    auto* layout = new QGridLayout(this);
    layout->addWidget(files_, 0, 0, 3, 1);
    layout->addWidget(drive_, 0, 1);
    layout->addWidget(path_, 1, 1);
    layout->addWidget(dirs_, 2, 1);
    layout->addWidget(preview_, 0, 2, 3, 1);
    layout->addLayout(buttons.row, 3, 0, 1, 3);
    layout->setColumnStretch(0, 3);
    layout->setColumnStretch(1, 2);
    layout->setColumnStretch(2, 3);
    resize(960, 400);

    connect(buttons.take, &QPushButton::clicked, this, &FileChooser::take);
    connect(files_, &QListWidget::currentItemChanged, this,
            [this](QListWidgetItem* item) { previewItem(item); });
    // A double click or Enter opens a folder.
    connect(dirs_, &QListWidget::itemActivated, this, &FileChooser::folderActivated);
    connect(dirs_, &QListWidget::itemDoubleClicked, this, &FileChooser::folderActivated);

    folder_ = existingFolder(folder, fallback);
    fillDrives();
    connect(drive_, &QComboBox::activated, this, &FileChooser::driveChosen);
    placement_.apply(*this);
    showFolder(folder_);
}

void FileChooser::fillDrives() {
    const auto all = drives();
    const fs::path current = driveOf(folder_, all);
    for (const fs::path& d : all) {
        drive_->addItem(pathText(d), QByteArray::fromStdString(utf8FromPath(d)));
        if (d == current) drive_->setCurrentIndex(drive_->count() - 1);
    }
}

void FileChooser::driveChosen(int index) {
    const fs::path root = pathFromUtf8(drive_->itemData(index).toByteArray().toStdString());
    // The drive's current folder: the program's current folder when it lies
    // on that drive, else the drive's root.
    std::error_code ec;
    const fs::path cwd = fs::current_path(ec);
    const fs::path target = !ec && driveOf(cwd, drives()) == root ? cwd : root;
    showFolder(target);
}

void FileChooser::showFolder(const fs::path& folder) {
    folder_ = existingFolder(folder, folder_);
    path_->setText(pathText(folder_));
    fillFolders();
    listFolder();
}

void FileChooser::fillFolders() {
    dirs_->clear();
    if (folder_ != folder_.parent_path()) {
        auto* up = new QListWidgetItem("..", dirs_);
        up->setData(kNameRole, QByteArray::fromStdString(utf8FromPath(folder_.parent_path())));
    }
    std::vector<fs::path> subfolders;
    std::error_code ec;
    for (fs::directory_iterator it(folder_, fs::directory_options::skip_permission_denied, ec), end;
         !ec && it != end; it.increment(ec)) {
        std::error_code dirError;
        const std::string name = utf8FromPath(it->path().filename());
        if (!name.starts_with('.') && it->is_directory(dirError)) subfolders.push_back(it->path());
    }
    std::sort(subfolders.begin(), subfolders.end());
    for (const fs::path& p : subfolders) {
        auto* item = new QListWidgetItem(pathText(p.filename()), dirs_);
        item->setData(kNameRole, QByteArray::fromStdString(utf8FromPath(p)));
    }
}

void FileChooser::folderActivated(QListWidgetItem* item) {
    // The list is refilled after the view has finished with the click; a
    // double click that also activates the item opens the folder once.
    if (!item || navigating_) return;
    navigating_ = true;
    const fs::path target = pathFromUtf8(item->data(kNameRole).toByteArray().toStdString());
    QMetaObject::invokeMethod(
        this,
        [this, target] {
            navigating_ = false;
            showFolder(target);
        },
        Qt::QueuedConnection);
}

void FileChooser::listFolder() {
    files_->clear();
    // A file whose type or size cannot be read is left out; so is every
    // entry after a failing step of the listing itself.
    std::error_code ec;
    for (fs::directory_iterator it(folder_, fs::directory_options::skip_permission_denied, ec), end;
         !ec && it != end; it.increment(ec)) {
        const std::string name = utf8FromPath(it->path().filename());
        if (name.starts_with('.') || !isChooserCandidate(name)) continue;
        std::error_code fileError;
        if (!it->is_regular_file(fileError) || fileError) continue;
        const auto size = it->file_size(fileError);
        if (fileError || size == 0) continue;
        // A title that cannot be read shows as blanks of the same width.
        const std::string title = readTitleLine(it->path()).value_or(titleLine(nullptr, 0));
        auto* item = new QListWidgetItem(
            QString::fromStdString(chooserEntry(title, readablePath(name))), files_);
        item->setData(kNameRole, QByteArray::fromStdString(name));
    }
}

void FileChooser::previewItem(QListWidgetItem* item) {
    if (!item) {
        preview_->showMessage(QString());
        return;
    }
    const fs::path file = folder_ / item->data(kNameRole).toByteArray().toStdString();
    preview_->showOfi(file.string(), previewSettings_);
}

void FileChooser::take() {
    chosen_.clear();
    for (int row = 0; row < files_->count(); ++row) {
        const QListWidgetItem* item = files_->item(row);
        if (item->isSelected())
            chosen_.push_back(item->data(kNameRole).toByteArray().toStdString());
    }
    accept();
}

void FileChooser::done(int result) {
    if (result != QDialog::Accepted) chosen_.clear();
    placement_ = placement_.current(*this);
    QDialog::done(result);
}

} // namespace kesto
