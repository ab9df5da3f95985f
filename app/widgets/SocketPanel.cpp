#include "widgets/SocketPanel.h"

#include <QCheckBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QUrl>

#include "torq/app/DialogWidgets.h"
#include "widgets/HexLineEdit.h"
#include "widgets/Lamp.h"
#include "widgets/Theme.h"

namespace torq::app {

namespace {

QString Name(int unit, std::string_view item, int socket, std::string_view kind) {
    return QString::fromStdString(SocketControlName(unit, item, socket, kind));
}

QLabel* Caption(const QString& text, QWidget* buddy, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setBuddy(buddy);
    return label;
}

}  // namespace

std::optional<std::filesystem::path> FirstDroppedFile(const QMimeData* data) {
    if (data == nullptr || !data->hasUrls())
        return std::nullopt;
    // Only the first file counts.
    const QList<QUrl> urls = data->urls();
    if (urls.isEmpty() || !urls.front().isLocalFile())
        return std::nullopt;
    return std::filesystem::path(urls.front().toLocalFile().toStdString());
}

SocketPanel::SocketPanel(int unit, int socket, const IndicatorBoard& board, QWidget* parent)
    : QFrame(parent), unit_(unit), socket_(socket) {
    setObjectName(Name(unit, "Socket", socket, kind::kPanel));
    setAcceptDrops(true);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, theme::kGrid / 2, 0, theme::kGrid / 2);
    row->setSpacing(theme::kGrid);

    enable_ = new QCheckBox(QStringLiteral("#%1").arg(socket), this);
    enable_->setObjectName(Name(unit, "Enable", socket, kind::kCheckBox));
    enable_->setToolTip(QStringLiteral("Socket %1 takes part in the runs").arg(socket));

    workFile_ = new QLineEdit(this);
    workFile_->setObjectName(Name(unit, "WorkFile", socket, kind::kEdit));
    workFile_->setReadOnly(true);
    workFile_->setPlaceholderText(QStringLiteral("Drop a file here or browse"));
    workFile_->setMinimumWidth(24 * theme::kGrid);

    browse_ = new QPushButton(QStringLiteral("..."), this);
    browse_->setObjectName(Name(unit, "Browse", socket, kind::kButton));
    browse_->setToolTip(unit == 1 && socket == 1
                            ? QStringLiteral("Choose a work file and load it (Ctrl+O)")
                            : QStringLiteral("Choose a work file and load it"));
    browse_->setFixedWidth(4 * theme::kGrid);

    sum_ = MakeDigitsField(Name(unit, "Sum", socket, kind::kEdit), this);
    sum_->setToolTip(QStringLiteral("Checksum of the loaded image; red until a verify passes"));
    offset_ = new HexLineEdit(Name(unit, "StartAdd", socket, kind::kEdit), this);
    offset_->setToolTip(QStringLiteral("Offset address (hexadecimal)"));

    const Indicator* lamp = board.FindIndicator(LampPanelName(unit, socket));
    lamp_ = lamp != nullptr ? new Lamp(*lamp, this) : nullptr;

    row->addWidget(enable_);
    row->addWidget(workFile_, 1);
    row->addWidget(browse_);
    row->addSpacing(theme::kGrid);
    row->addWidget(Caption(QStringLiteral("Checksum"), sum_, this));
    row->addWidget(sum_);
    row->addSpacing(theme::kGrid);
    row->addWidget(Caption(QStringLiteral("Offset Add"), offset_, this));
    row->addWidget(offset_);
    if (lamp_ != nullptr) {
        row->addSpacing(theme::kGrid);
        row->addWidget(lamp_);
    }

    connect(enable_, &QCheckBox::clicked, this,
            [this](bool checked) { emit EnableClicked(unit_, socket_, checked); });
    connect(browse_, &QPushButton::clicked, this, [this] { emit BrowseClicked(unit_, socket_); });
    // Unit1_StartAdd1_EditChange: the rule runs at every change the operator makes.
    connect(offset_, &QLineEdit::textEdited, this, [this](const QString& text) {
        editingOffset_ = true;
        emit OffsetEdited(unit_, socket_, text);
        editingOffset_ = false;
    });
}

void SocketPanel::Show(const SocketState& state) {
    enable_->setChecked(state.enabled);
    const QString file = QString::fromStdString(state.workFile);
    if (workFile_->text() != file) {
        workFile_->setText(file);
        workFile_->setCursorPosition(0);
        workFile_->setToolTip(file);
    }
    sum_->setText(QString::fromStdString(state.checksumText));
    // During the operator's edit the field is the edit's business (ShowEditedOffset).
    const QString offset = QString::fromStdString(state.offsetText);
    if (offset_->text() != offset && !editingOffset_)
        offset_->setText(offset);
}

void SocketPanel::ShowEditedOffset(const std::string& ruled) {
    ShowCorrectedText(offset_, ruled);
}

void SocketPanel::SetChecksumLook(ChecksumLook look) {
    QPalette pal = palette();
    if (look.text == TextColour::Red)
        pal.setColor(QPalette::Text, QColor(255, 0, 0));
    if (look.background == FieldBackground::White)
        pal.setColor(QPalette::Base, Qt::white);
    sum_->setPalette(pal);
}

void SocketPanel::SetLocked(bool locked) {
    for (QWidget* input : {static_cast<QWidget*>(enable_), static_cast<QWidget*>(browse_),
                           static_cast<QWidget*>(offset_)}) {
        input->setEnabled(!locked);
    }
    setAcceptDrops(!locked);
}

void SocketPanel::dragEnterEvent(QDragEnterEvent* event) {
    if (FirstDroppedFile(event->mimeData()))
        event->acceptProposedAction();
}

void SocketPanel::dropEvent(QDropEvent* event) {
    const auto file = FirstDroppedFile(event->mimeData());
    if (!file)
        return;
    event->acceptProposedAction();
    emit FileDropped(objectName(), QString::fromStdString(file->string()));
}

}  // namespace torq::app
