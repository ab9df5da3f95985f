// torq-hexviewer: the hex editor on a buffer file, without the main window. For manual checks and
// for scripts/screenshots; it needs no programmer. With --home it holds the folder's lock, as the
// window and the command-line tool do, so it never writes a buffer another process is using.
//
//   torq-hexviewer [--home DIR | --buffer FILE] [--size N] [--init] [--goto ADDRESS]
//                  [--screenshot DIR]
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCommandLineParser>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <cstdio>
#include <exception>
#include <functional>
#include <iostream>
#include <optional>
#include <vector>

#include "torq/app/seams/MessageBoxOperator.h"
#include "torq/buffer/BufferFile.h"
#include "torq/devlib/HomeLock.h"
#include "torq/devlib/ProgramDirectory.h"
#include "torq/devlib/RegularFile.h"
#include "torq/devlib/Text.h"
#include "torq/editor/qt/EditorWidgets.h"
#include "torq/editor/qt/HexEditorDialog.h"
#include "torq/editor/qt/HexPageView.h"
#include "torq/editor/qt/SaveFileDialog.h"
#include "torq/editor/qt/ToolDialogs.h"

namespace {

using namespace torq;
using namespace torq::editor;

// Stands in for the main window: prints what it would show on unit 1, socket 1.
class PrintingHost final : public EditorHost {
  public:
    void ApplyEditedImage(const SocketFields& fields) override {
        std::cout << "Unit1_WorkFile1_Edit = " << fields.workFile.string() << "\n"
                  << "Unit1_Sum1_Edit = " << fields.checksumText << "\n"
                  << "Unit1_StartAdd1_Edit = " << fields.startAddressText << "\n"
                  << "Unit1_Enable1_CheckBox = checked" << std::endl;
    }
};

class PrintingLog final : public LogView {
  public:
    void LineAdded(const std::string& line) override { std::cerr << line << std::endl; }
    void Reset(const std::vector<std::string>&) override {}
};

int Fail(const std::string& message) {
    std::cerr << "torq-hexviewer: " << message << std::endl;
    return 2;
}

// Lets layouts settle and paints happen before a grab.
void Settle() {
    for (int i = 0; i < 5; ++i)
        QApplication::processEvents();
}

bool Save(QWidget& widget, const QDir& folder, const QString& name) {
    Settle();
    const QString path = folder.filePath(name);
    if (!widget.grab().save(path)) {
        std::cerr << "torq-hexviewer: cannot write " << path.toStdString() << std::endl;
        return false;
    }
    std::cout << path.toStdString() << std::endl;
    return true;
}

// Every view of the editor and each of its dialogs, one PNG each.
int TakeScreenshots(qt::HexEditorDialog& form, const QDir& folder) {
    bool ok = true;
    form.show();
    form.resize(form.sizeHint());
    ok = Save(form, folder, QStringLiteral("editor-8bit.png")) && ok;
    form.SelectTab(1);
    ok = Save(form, folder, QStringLiteral("editor-16bit.png")) && ok;
    form.SelectTab(2);
    ok = Save(form, folder, QStringLiteral("editor-map.png")) && ok;
    form.SelectTab(0);

    EditorSession& session = form.Session();
    const std::vector<std::pair<QString, std::function<QDialog*()>>> dialogs = {
        {QStringLiteral("fill-dialog.png"),
         [&] { return new qt::FillDialog(session, nullptr, &form); }},
        {QStringLiteral("block-dialog.png"),
         [&] { return new qt::BlockDialog(session, nullptr, &form); }},
        {QStringLiteral("checksum-dialog.png"),
         [&] { return new qt::ChecksumDialog(session, &form); }},
        {QStringLiteral("save-dialog.png"), [&] { return new qt::SaveFileDialog(session, &form); }},
    };
    for (const auto& [name, make] : dialogs) {
        QDialog* dialog = make();
        dialog->show();
        ok = Save(*dialog, folder, name) && ok;
        dialog->hide();
        delete dialog;
    }

    // Go to: the bar open on a typed address.
    form.OpenGoTo();
    form.findChild<QLineEdit*>(QStringLiteral("GoToEdit"))->setText(QStringLiteral("0x9F000"));
    ok = Save(form, folder, QStringLiteral("editor-goto.png")) && ok;
    form.findChild<QPushButton*>(QStringLiteral("GoToCloseButton"))->click();

    // Find: a text found from the top, the match selected and the others on the page marked.
    session.GoTo("0");
    form.OpenFind();
    form.findChild<QLineEdit*>(QStringLiteral("FindEdit"))->setText(QStringLiteral("he"));
    form.findChild<QComboBox*>(QStringLiteral("FindKindComboBox"))->setCurrentIndex(1);
    form.findChild<QCheckBox*>(QStringLiteral("FindCaseCheckBox"))->setChecked(false);
    form.FindInDirection(SearchDirection::Forward);
    ok = Save(form, folder, QStringLiteral("editor-find.png")) && ok;
    form.findChild<QPushButton*>(QStringLiteral("FindCloseButton"))->click();

    // A selection: the counting bytes, with their sum on the status line.
    session.View().SelectBytes(0x100, 0x1FF);
    form.SyncAll();
    ok = Save(form, folder, QStringLiteral("editor-selection.png")) && ok;
    form.hide();
    return ok ? 0 : 1;
}

int Run(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("torq-hexviewer"));
    QApplication::setStyle(QStringLiteral("Fusion"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("The TORQ-SPI hex editor on a buffer file, without the main window."));
    parser.addHelpOption();
    const QCommandLineOption home(QStringLiteral("home"),
                                  QStringLiteral("Program folder holding output.tmp."),
                                  QStringLiteral("DIR"));
    const QCommandLineOption buffer(QStringLiteral("buffer"),
                                    QStringLiteral("The buffer file to edit."),
                                    QStringLiteral("FILE"));
    const QCommandLineOption size(
        QStringLiteral("size"),
        QStringLiteral("Device size in bytes (decimal or 0x...); default: the file's length."),
        QStringLiteral("N"));
    const QCommandLineOption init(QStringLiteral("init"),
                                  QStringLiteral("Create the buffer erased (all FF) first."));
    const QCommandLineOption go(QStringLiteral("goto"),
                                QStringLiteral("Put the cursor on this address (hex)."),
                                QStringLiteral("ADDRESS"));
    const QCommandLineOption screenshot(
        QStringLiteral("screenshot"),
        QStringLiteral("Save a PNG of every view and dialog into DIR, then exit."),
        QStringLiteral("DIR"));
    parser.addOptions({home, buffer, size, init, go, screenshot});
    parser.process(app);

    std::filesystem::path bufferPath;
    std::optional<HomeLock> lock;
    if (parser.isSet(buffer)) {
        bufferPath = parser.value(buffer).toStdString();
    } else if (parser.isSet(home)) {
        const auto dirs = ProgramDirectory::Portable(parser.value(home).toStdString());
        std::string problem;
        lock = HomeLock::Acquire(dirs, "torq-hexviewer", &problem);
        if (!lock)
            return Fail(problem);
        bufferPath = dirs.BufferFile();
    } else {
        return Fail("give --buffer FILE or --home DIR");
    }

    const BufferFile file(bufferPath);
    std::uint64_t deviceSize = 0;
    if (parser.isSet(size)) {
        const auto parsed = ParseUnsigned64(parser.value(size).toStdString());
        if (!parsed || *parsed == 0)
            return Fail("--size needs a positive number of bytes");
        deviceSize = *parsed;
    }
    if (parser.isSet(init)) {
        if (deviceSize == 0)
            return Fail("--init needs --size");
        if (!InitialiseBuffer(file, deviceSize))
            return Fail("cannot create " + bufferPath.string());
    }
    if (const auto kind = io::NonRegularKind(bufferPath))
        return Fail(io::NotRegularFileText(bufferPath, *kind));
    const auto length = file.Length();
    if (!length)
        return Fail(bufferPath.string() + " does not exist (--init creates it)");
    if (deviceSize == 0)
        deviceSize = *length;
    if (deviceSize == 0)
        return Fail(bufferPath.string() + " is empty; give --size");

    app::MessageBoxOperator op;
    PrintingHost host;
    InformationLog log;
    PrintingLog printer;
    log.Subscribe(&printer);
    qt::HexEditorDialog form(bufferPath, op, host, &log);
    op.SetParent(&form);
    form.PrepareForShow(deviceSize);
    if (parser.isSet(go)) {
        const auto address = ParseHex64(parser.value(go).toStdString());
        if (!address)
            return Fail("--goto needs a hexadecimal address");
        form.Session().View().GoTo(*address);
        form.Session().RefreshView();
        form.PageView()->SyncFromModel();
    }

    if (parser.isSet(screenshot)) {
        const QDir folder(parser.value(screenshot));
        if (!folder.exists() && !QDir().mkpath(folder.path()))
            return Fail("cannot create " + folder.path().toStdString());
        return TakeScreenshots(form, folder);
    }
    form.exec();
    log.Unsubscribe(&printer);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    // Whatever is left over ends the program with its message, never with a bare abort.
    try {
        return Run(argc, argv);
    } catch (const std::exception& error) {
        return Fail(error.what());
    } catch (...) {
        return Fail("stopped by an unexpected error");
    }
}
