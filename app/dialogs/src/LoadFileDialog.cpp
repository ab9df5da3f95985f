#include "torq/app/LoadFileDialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "torq/app/DialogWidgets.h"
#include "torq/devlib/Text.h"

namespace torq::app {

namespace {

constexpr int kAddressDigits = 8;
constexpr int kFillDigits = 2;

// The shared hexadecimal field, as wide as the dialog's other fields of its digits.
QLineEdit* HexField(QWidget* parent, const char* name, int digits) {
    QLineEdit* field = MakeHexField(parent, name, digits);
    SizeForDigits(field, digits);
    return field;
}

QString ByteCount(std::uint64_t bytes) {
    return QObject::tr("%1 bytes").arg(QLocale().toString(static_cast<qulonglong>(bytes)));
}

}  // namespace

LoadFileDialog::LoadFileDialog(LoadModel& model, ProgressSink* progress, QWidget* parent)
    : QDialog(parent), model_(model), progress_(progress) {
    setObjectName(QStringLiteral("TLoadFileForm"));
    setWindowTitle(QStringLiteral("Load File"));
    setModal(true);

    filePath_ = Named(new QLineEdit(this), "FilePathEdit");
    filePath_->setReadOnly(true);
    filePath_->setFocusPolicy(Qt::ClickFocus);  // the keyboard starts on the format list
    filePath_->setMinimumWidth(420);
    fileSize_ = Named(new QLabel(this), "FileSizeLabel");

    auto* formatBox = Named(new QGroupBox(tr("Format"), this), "FormatRadioGroup");
    auto* formatLayout = new QVBoxLayout(formatBox);
    formats_ = new QButtonGroup(this);
    for (int i = 0; i < kLoadFormatCount; ++i) {
        auto* choice =
            new QRadioButton(ToQString(LoadFormatCaption(LoadFormatFromIndex(i))), formatBox);
        choice->setObjectName(QStringLiteral("FormatRadioGroup_%1").arg(i));
        formats_->addButton(choice, i);
        formatLayout->addWidget(choice);
    }
    formatLayout->addStretch(1);
    connect(formats_, &QButtonGroup::idClicked, this, &LoadFileDialog::FormatChosen);

    sourceStart_ = HexField(this, "Src_StartAddEdit", kAddressDigits);
    sourceEnd_ = HexField(this, "Src_EndAddEdit", kAddressDigits);
    destination_ = HexField(this, "Dest_StartAddEdit", kAddressDigits);
    fillValue_ = HexField(this, "UnusedFillEdit", kFillDigits);
    fillUnused_ = Named(new QCheckBox(tr("Fill unused with"), this), "UnusedFillCheckBox");
    deviceSize_ = Named(new QLabel(this), "DeviceSizeLabel");

    connect(sourceStart_, &QLineEdit::textEdited, this,
            [this] { AddressEdited(sourceStart_, LoadField::SourceStart); });
    connect(sourceEnd_, &QLineEdit::textEdited, this,
            [this] { AddressEdited(sourceEnd_, LoadField::SourceEnd); });
    connect(destination_, &QLineEdit::textEdited, this,
            [this] { AddressEdited(destination_, LoadField::Destination); });
    connect(fillValue_, &QLineEdit::textEdited, this, [this](const QString& text) {
        model_.SetLoadFieldText(LoadField::Fill, ToStdString(text));
    });
    connect(fillUnused_, &QCheckBox::toggled, this, [this](bool checked) {
        if (syncing_)
            return;
        model_.SetFillUnused(checked);
        ApplyEnabling();
    });

    auto* source = Named(new QGroupBox(tr("Source"), this), "SourceGroupBox");
    auto* sourceLayout = new QFormLayout(source);
    sourceLayout->addRow(tr("Start address"), sourceStart_);
    sourceLayout->addRow(tr("End address"), sourceEnd_);

    auto* target = Named(new QGroupBox(tr("Destination"), this), "DestinationGroupBox");
    auto* targetLayout = new QFormLayout(target);
    targetLayout->addRow(tr("Start address"), destination_);
    targetLayout->addRow(tr("Device size"), deviceSize_);
    auto* fillRow = new QHBoxLayout;
    fillRow->addWidget(fillUnused_);
    fillRow->addWidget(fillValue_);
    fillRow->addStretch(1);
    targetLayout->addRow(fillRow);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(QDialogButtonBox::Ok);
    ok->setObjectName(QStringLiteral("OkButton"));
    ok->setDefault(true);
    QPushButton* cancel = buttons->addButton(QDialogButtonBox::Cancel);
    cancel->setObjectName(QStringLiteral("CancelButton"));
    connect(ok, &QPushButton::clicked, this, &LoadFileDialog::Ok);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* fileRow = new QHBoxLayout;
    fileRow->setSpacing(8);
    fileRow->addWidget(filePath_, 1);
    fileRow->addWidget(fileSize_);

    auto* fields = new QVBoxLayout;
    fields->addWidget(source);
    fields->addWidget(target);
    fields->addStretch(1);

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(16, 16, 16, 16);
    grid->setHorizontalSpacing(16);
    grid->setVerticalSpacing(8);
    grid->addWidget(new QLabel(tr("File"), this), 0, 0, 1, 2);
    grid->addLayout(fileRow, 1, 0, 1, 2);
    grid->addWidget(formatBox, 2, 0);
    grid->addLayout(fields, 2, 1);
    grid->addWidget(buttons, 3, 0, 1, 2);
    grid->setColumnStretch(1, 1);

    setTabOrder(formats_->button(0), sourceStart_);
    setTabOrder(sourceStart_, sourceEnd_);
    setTabOrder(sourceEnd_, destination_);
    setTabOrder(destination_, fillUnused_);
    setTabOrder(fillUnused_, fillValue_);
    SyncFromState();
}

std::optional<LoadOutcome> LoadFileDialog::Open(int unit, int socket,
                                                const std::filesystem::path& file) {
    model_.PrepareLoad(unit, socket, file);
    outcome_.reset();
    SyncFromState();
    exec();
    return outcome_;
}

void LoadFileDialog::SyncFromState() {
    const LoadDialogState& state = model_.LoadDialog();
    syncing_ = true;
    filePath_->setText(QString::fromStdString(state.filePath.string()));
    filePath_->setCursorPosition(0);
    fileSize_->setText(ByteCount(state.fileLength));
    if (QAbstractButton* choice = formats_->button(static_cast<int>(state.format)))
        choice->setChecked(true);
    sourceStart_->setText(ToQString(state.sourceStartText));
    sourceEnd_->setText(ToQString(state.sourceEndText));
    destination_->setText(ToQString(state.destinationText));
    fillUnused_->setChecked(state.fillUnused);
    fillValue_->setText(ToQString(state.fillText));
    const std::uint64_t size = model_.DeviceSize();
    deviceSize_->setText(size == 0 ? tr("no device")
                                   : QStringLiteral("%1 (%2 … %3)")
                                         .arg(ByteCount(size), QStringLiteral("00000000"),
                                              ToQString(HexText(size - 1, kAddressDigits))));
    syncing_ = false;
    ApplyEnabling();
}

void LoadFileDialog::ApplyEnabling() {
    const LoadDialogState& state = model_.LoadDialog();
    const bool source = SourceFieldsEnabled(state.format);
    sourceStart_->setEnabled(source);
    sourceEnd_->setEnabled(source);
    fillValue_->setEnabled(FillValueEnabled(state));
}

void LoadFileDialog::FormatChosen(int index) {
    model_.ChooseLoadFormat(LoadFormatFromIndex(index));
    ApplyEnabling();
}

void LoadFileDialog::AddressEdited(QLineEdit* field, LoadField which) {
    const std::string typed = ToStdString(field->text());
    ShowCorrectedText(field,
                      which == LoadField::Destination
                          ? NormaliseDestinationAddressText(typed, model_.DeviceSize())
                          : NormaliseSourceAddressText(typed, model_.LoadDialog().fileLength));
    model_.SetLoadFieldText(which, ToStdString(field->text()));
}

void LoadFileDialog::Ok() {
    outcome_ = model_.LoadFromDialog(progress_);
    // The load may have corrected the format or reset the destination.
    SyncFromState();
    switch (outcome_->end) {
        case LoadEnd::Loaded:
            accept();
            break;
        case LoadEnd::Closed:
        case LoadEnd::NotRun:
            reject();
            break;
        case LoadEnd::KeptOpen:
        case LoadEnd::Abandoned:
            break;  // open for a correction
    }
}

}  // namespace torq::app
