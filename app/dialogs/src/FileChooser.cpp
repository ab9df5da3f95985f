#include "torq/app/FileChooser.h"

#include <QFileDialog>

namespace torq::app {

namespace {

QString Run(QWidget* parent, const FileRequest& request, QFileDialog::AcceptMode mode) {
    QFileDialog dialog(parent, request.caption, request.start, request.filter);
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile
                                                       : QFileDialog::AnyFile);
    if (!request.defaultSuffix.isEmpty())
        dialog.setDefaultSuffix(request.defaultSuffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

}  // namespace

QString DialogFileChooser::OpenFileName(QWidget* parent, const FileRequest& request) {
    return Run(parent, request, QFileDialog::AcceptOpen);
}

QString DialogFileChooser::SaveFileName(QWidget* parent, const FileRequest& request) {
    return Run(parent, request, QFileDialog::AcceptSave);
}

FileRequest LogFileRequest(const QString& caption, const QString& start) {
    return FileRequest{caption, QStringLiteral("log file (*.log)"), QStringLiteral("log"), start};
}

}  // namespace torq::app
