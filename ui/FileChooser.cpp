#include "ui/FileChooser.h"

#include <QFileDialog>
#include <QStringList>

namespace vantrel {

std::optional<QString> QtFileChooser::ChooseFile(QWidget* owner, const FileRequest& request) {
    QStringList filters;
    for (const FileFilter& filter : request.filters) {
        filters << QStringLiteral("%1 (%2)").arg(filter.description, filter.pattern);
    }
    QFileDialog dialog(owner, request.title, request.initialPath);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    // A name that does not exist may be typed: opening it fails later with the program's own
    // message, which says what is wrong with the file.
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(filters);
    // Only the descriptions show: they already name their pattern.
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setDefaultSuffix(request.defaultSuffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return dialog.selectedFiles().front();
}

}  // namespace vantrel
