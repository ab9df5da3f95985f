// The open and save dialogs the window's pieces ask for a file with. A seam beside `Operator`:
// the window answers with the desktop's file dialogs, tests answer from a script.
#pragma once

#include <QString>

class QWidget;

namespace torq::app {

struct FileRequest {
    QString caption;
    QString filter;         // "log file (*.log)"
    QString defaultSuffix;  // added when the operator types a name without one: "log"
    QString start;          // the folder or file the dialog opens on
};

class FileChooser {
  public:
    virtual ~FileChooser() = default;
    // The chosen path, or an empty text when the operator cancels.
    virtual QString OpenFileName(QWidget* parent, const FileRequest& request) = 0;
    virtual QString SaveFileName(QWidget* parent, const FileRequest& request) = 0;
};

// The desktop's file dialogs.
class DialogFileChooser final : public FileChooser {
  public:
    QString OpenFileName(QWidget* parent, const FileRequest& request) override;
    QString SaveFileName(QWidget* parent, const FileRequest& request) override;
};

// The save dialog of the information log and of the line limit's file: extension "log".
FileRequest LogFileRequest(const QString& caption, const QString& start = {});

}  // namespace torq::app
