#include "torq/editor/qt/SaveFileDialog.h"

#include <QButtonGroup>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "torq/editor/ToolFields.h"
#include "torq/editor/qt/EditorWidgets.h"

namespace torq::editor::qt {

namespace {

constexpr int kSaveAddressDigits = 10;

}  // namespace

QString SaveBrowseFilter() {
    QString filter = QStringLiteral("All File (*);;Binary (*.bin);;Hex (*.hex)");
    for (const SaveFormat format : {SaveFormat::MotorolaS1, SaveFormat::MotorolaS2,
                                    SaveFormat::MotorolaS3, SaveFormat::TektronixHex}) {
        const auto caption = SaveFormatCaption(format);
        const auto extension = SaveFormatExtension(format);
        filter +=
            QStringLiteral(";;%1 (*.%2)")
                .arg(QString::fromLatin1(caption.data(), static_cast<qsizetype>(caption.size())),
                     QString::fromLatin1(extension.data(),
                                         static_cast<qsizetype>(extension.size())));
    }
    return filter;
}

SaveFileDialog::SaveFileDialog(EditorSession& session, QWidget* parent)
    : QDialog(parent), session_(session) {
    setObjectName(QStringLiteral("SaveFileDialog"));
    setWindowTitle(QStringLiteral("Save File"));
    chooseFile = [](QWidget* owner, const QString& filter) {
        return QFileDialog::getSaveFileName(owner, QStringLiteral("Save File"), QString(), filter);
    };
    const SaveDialogValues defaults = session_.SaveDefaults();

    auto* nameRow = new QHBoxLayout;
    name_ = new QLineEdit(this);
    name_->setObjectName(QStringLiteral("SaveFileEdit"));
    name_->setMinimumWidth(320);
    auto* browse = MakeButton(this, "SaveBrowseBitBtn", QStringLiteral("Browse"));
    nameRow->addWidget(new QLabel(QStringLiteral("Name :"), this));
    nameRow->addWidget(name_, 1);
    nameRow->addWidget(browse);
    connect(browse, &QPushButton::clicked, this, [this] {
        const QString chosen = chooseFile(this, SaveBrowseFilter());
        if (!chosen.isEmpty())
            name_->setText(chosen);
    });

    auto* range = new QGridLayout;
    start_ = MakeHexField(this, "Edit1", kSaveAddressDigits);
    end_ = MakeHexField(this, "Edit2", kSaveAddressDigits);
    start_->setText(QString::fromStdString(defaults.startText));
    end_->setText(QString::fromStdString(defaults.endText));
    for (QLineEdit* field : {start_, end_}) {
        // A field that becomes empty holds 0.
        connect(field, &QLineEdit::textEdited, field, [field](const QString& text) {
            if (text.isEmpty())
                field->setText(QStringLiteral("0"));
        });
    }
    auto* file = MakeButton(this, "FileBitBtn", QStringLiteral("File"));
    auto* ic = MakeButton(this, "ICBitBtn", QStringLiteral("IC"));
    connect(file, &QPushButton::clicked, this, [this] {
        start_->setText(QStringLiteral("0000000000"));
        end_->setText(QString::fromStdString(SaveEndTextForLength(session_.BufferLength())));
    });
    connect(ic, &QPushButton::clicked, this, [this] {
        start_->setText(QStringLiteral("0000000000"));
        end_->setText(QString::fromStdString(SaveEndTextForLength(session_.DeviceSize())));
    });
    range->addWidget(new QLabel(QStringLiteral("Start Address [Hex-Byte] :"), this), 0, 0);
    range->addWidget(start_, 0, 1);
    range->addWidget(new QLabel(QStringLiteral("End Address [Hex-Byte] :"), this), 1, 0);
    range->addWidget(end_, 1, 1);
    auto* rangeButtons = new QHBoxLayout;
    rangeButtons->addWidget(file);
    rangeButtons->addWidget(ic);
    rangeButtons->addStretch(1);
    range->addWidget(new QLabel(QStringLiteral("Save Range :"), this), 2, 0);
    range->addLayout(rangeButtons, 2, 1);

    auto* formatBox = new QGroupBox(QStringLiteral("Format"), this);
    formatBox->setObjectName(QStringLiteral("FormatRadioGroup"));
    formats_ = new QButtonGroup(formatBox);
    auto* formatLayout = new QVBoxLayout(formatBox);
    for (int i = 0; i <= static_cast<int>(SaveFormat::TektronixHex); ++i) {
        const auto caption = SaveFormatCaption(static_cast<SaveFormat>(i));
        auto* button = new QRadioButton(
            QString::fromLatin1(caption.data(), static_cast<qsizetype>(caption.size())), formatBox);
        formats_->addButton(button, i);
        formatLayout->addWidget(button);
        button->setChecked(i == static_cast<int>(defaults.format));
    }

    auto* middle = new QHBoxLayout;
    middle->addLayout(range, 1);
    middle->addWidget(formatBox);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    auto* ok = MakeButton(this, "OKBitBtn", QStringLiteral("OK"));
    auto* cancel = MakeButton(this, "CancelBitBtn", QStringLiteral("Cancel"));
    ok->setDefault(true);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    connect(ok, &QPushButton::clicked, this, &SaveFileDialog::Apply);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(8);
    layout->addLayout(nameRow);
    layout->addLayout(middle);
    layout->addLayout(buttons);
}

SaveDialogValues SaveFileDialog::Values() const {
    SaveDialogValues values;
    values.name = name_->text().toStdString();
    values.startText = start_->text().toStdString();
    values.endText = end_->text().toStdString();
    values.format = static_cast<SaveFormat>(formats_->checkedId());
    return values;
}

void SaveFileDialog::Apply() {
    outcome_ = session_.Save(Values());
    // A refusal or a failed write leaves the name, the range and the format as they are, so the
    // operator puts right what the message named and presses OK again.
    if (outcome_ == SaveOutcome::Saved)
        accept();
}

}  // namespace torq::editor::qt
