#pragma once

#include <QString>
#include <QWidget>
#include <optional>
#include <vector>

namespace vantrel {

struct FileFilter {
    QString description;  // "ROM File (.rom)"
    QString pattern;      // "*.rom"

    friend bool operator==(const FileFilter&, const FileFilter&) = default;
};

// An open-file dialog as Browse asks for it.
struct FileRequest {
    QString title;
    std::vector<FileFilter> filters;  // the first is selected
    QString defaultSuffix;
    // Where the dialog starts; may name a file, which is then preselected in its folder.
    QString initialPath;
};

// Lets the user pick a file to open. Tests put a scripted one in its place.
class FileChooser {
  public:
    virtual ~FileChooser() = default;
    // The full path chosen, or nothing when the user cancelled.
    virtual std::optional<QString> ChooseFile(QWidget* owner, const FileRequest& request) = 0;
};

// The platform's open-file dialog, through QFileDialog.
class QtFileChooser : public FileChooser {
  public:
    std::optional<QString> ChooseFile(QWidget* owner, const FileRequest& request) override;
};

}  // namespace vantrel
