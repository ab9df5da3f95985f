#include "torq/app/InformationView.h"

#include <QClipboard>
#include <QCloseEvent>
#include <QDir>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>
#include <algorithm>
#include <climits>

#include "torq/app/DialogWidgets.h"
#include "torq/app/FileChooser.h"

namespace torq::app {

namespace {

// Room left of the text, in pixels.
constexpr int kTextMargin = 4;

QColor Blend(const QColor& a, const QColor& b, qreal t) {
    return QColor::fromRgbF(a.redF() + (b.redF() - a.redF()) * t,
                            a.greenF() + (b.greenF() - a.greenF()) * t,
                            a.blueF() + (b.blueF() - a.blueF()) * t);
}

QPushButton* PanelButton(QWidget* parent, const char* name, const QString& text) {
    auto* button = Named(new QPushButton(text, parent), name);
    button->setAutoDefault(false);
    button->setFocusPolicy(Qt::StrongFocus);
    return button;
}

}  // namespace

// ---- LogLinesView ----

LogLinesView::LogLinesView(const InformationLog& log, QWidget* parent)
    : QAbstractScrollArea(parent), log_(log) {
    setFont(FixedFont());
    setFocusPolicy(Qt::StrongFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    viewport()->setCursor(Qt::IBeamCursor);
    EntriesReset();
}

int LogLinesView::RowHeight() const {
    return fontMetrics().lineSpacing();
}

std::string_view LogLinesView::RowView(int row) const {
    const Row& r = rows_[static_cast<std::size_t>(row)];
    return std::string_view(log_.Lines()[r.entry]).substr(r.offset, r.length);
}

QString LogLinesView::RowText(int row) const {
    if (row < 0 || row >= RowCount())
        return {};
    return ToQString(RowView(row));
}

QString LogLinesView::Text() const {
    QStringList rows;
    rows.reserve(RowCount());
    for (int row = 0; row < RowCount(); ++row)
        rows << RowText(row);
    return rows.join(QLatin1Char('\n'));
}

LogLinesView::RowLook LogLinesView::LookOf(int row) const {
    RowLook look;
    const QPalette& colours = palette();
    const QColor text = colours.color(QPalette::Text);
    const bool dark = colours.color(QPalette::Base).lightnessF() < 0.45;
    look.stamp = Blend(text, colours.color(QPalette::Base), 0.45);
    look.message = text;
    if (row < 0 || row >= RowCount())
        return look;
    const Row& r = rows_[static_cast<std::size_t>(row)];
    const LineLook line = LookOfLine(log_.Lines()[r.entry]);
    // The stamp leads the entry's first row only.
    if (r.offset == 0)
        look.stampLength = static_cast<int>(std::min<std::size_t>(line.stampLength, r.length));
    if (line.verdict != LineVerdict::None) {
        const bool pass = line.verdict == LineVerdict::Pass;
        look.message = QColor(QString::fromLatin1(pass ? (dark ? "#3fb950" : "#1a7f37")
                                                       : (dark ? "#f85149" : "#cf222e")));
        look.bold = true;
    }
    return look;
}

void LogLinesView::AddRows(std::uint32_t entry) {
    std::string_view text(log_.Lines()[entry]);
    // An entry of several lines ends in a line break; the break needs no empty row of its own.
    if (!text.empty() && text.back() == '\n')
        text.remove_suffix(1);
    std::size_t offset = 0;
    while (true) {
        const std::size_t end = std::min(text.find('\n', offset), text.size());
        std::size_t length = end - offset;
        if (length > 0 && text[offset + length - 1] == '\r')
            --length;
        rows_.push_back(
            {entry, static_cast<std::uint32_t>(offset), static_cast<std::uint32_t>(length)});
        widestRow_ = std::max(widestRow_, static_cast<int>(std::min<std::size_t>(length, INT_MAX)));
        if (end >= text.size())
            break;
        offset = end + 1;
    }
}

void LogLinesView::UpdateScrollBars(bool toBottom) {
    const int page = std::max(1, viewport()->height() / RowHeight());
    QScrollBar* vertical = verticalScrollBar();
    vertical->setRange(0, std::max(0, RowCount() - page));
    vertical->setPageStep(page);
    vertical->setSingleStep(1);
    QScrollBar* horizontal = horizontalScrollBar();
    // A fixed-width font: the widest row is its characters times their width (bytes of UTF-8
    // text count as characters, which leaves room to spare rather than cutting a row short).
    const qint64 widest =
        static_cast<qint64>(widestRow_) * fontMetrics().horizontalAdvance(QLatin1Char('0'));
    horizontal->setRange(0, static_cast<int>(std::clamp<qint64>(
                                widest + 2 * kTextMargin - viewport()->width(), 0, INT_MAX / 2)));
    horizontal->setPageStep(viewport()->width());
    horizontal->setSingleStep(fontMetrics().averageCharWidth() * 4);
    if (toBottom)
        vertical->setValue(vertical->maximum());
}

bool LogLinesView::FollowsNewLines() const {
    return verticalScrollBar()->value() >= verticalScrollBar()->maximum();
}

int LogLinesView::FirstVisibleRow() const {
    return verticalScrollBar()->value();
}

void LogLinesView::EntryAdded() {
    if (log_.Lines().empty())
        return;
    // The newest line stays in view, unless the operator scrolled up to read an older one.
    const bool follow = FollowsNewLines();
    AddRows(static_cast<std::uint32_t>(log_.Lines().size() - 1));
    UpdateScrollBars(follow);
    viewport()->update();
}

void LogLinesView::EntriesReset() {
    rows_.clear();
    widestRow_ = 0;
    anchor_ = current_ = -1;
    for (std::size_t entry = 0; entry < log_.Lines().size(); ++entry)
        AddRows(static_cast<std::uint32_t>(entry));
    UpdateScrollBars(true);
    viewport()->update();
}

int LogLinesView::RowAt(int y) const {
    return FirstVisibleRow() + (y < 0 ? -1 - (-y / RowHeight()) : y / RowHeight());
}

void LogLinesView::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(viewport());
    const QFontMetrics metrics(font());
    QFont bold = font();
    bold.setBold(true);
    const int height = RowHeight();
    const int first = FirstVisibleRow();
    const int last = std::min(RowCount(), first + viewport()->height() / height + 2);
    const int left = kTextMargin - horizontalScrollBar()->value();
    const int selectedFrom = std::min(anchor_, current_);
    const int selectedTo = std::max(anchor_, current_);
    for (int row = first; row < last; ++row) {
        const int top = (row - first) * height;
        const bool selected = anchor_ >= 0 && row >= selectedFrom && row <= selectedTo;
        if (selected)
            painter.fillRect(0, top, viewport()->width(), height,
                             palette().color(QPalette::Highlight));
        const RowLook look = LookOf(row);
        const QString text = RowText(row);
        const int baseline = top + metrics.ascent() + (height - metrics.height()) / 2;
        const QString stamp = text.left(look.stampLength);
        const QColor highlighted = palette().color(QPalette::HighlightedText);
        painter.setFont(font());
        painter.setPen(selected ? highlighted : look.stamp);
        painter.drawText(left, baseline, stamp);
        painter.setFont(look.bold ? bold : font());
        painter.setPen(selected ? highlighted : look.message);
        painter.drawText(left + metrics.horizontalAdvance(stamp), baseline,
                         text.mid(look.stampLength));
    }
}

void LogLinesView::resizeEvent(QResizeEvent* event) {
    const bool follow = FollowsNewLines();
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollBars(follow);
}

void LogLinesView::changeEvent(QEvent* event) {
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        EntriesReset();
}

void LogLinesView::CopySelection() const {
    if (anchor_ < 0)
        return;
    QStringList rows;
    for (int row = std::min(anchor_, current_); row <= std::max(anchor_, current_); ++row)
        rows << RowText(row);
    QGuiApplication::clipboard()->setText(rows.join(QLatin1Char('\n')));
}

void LogLinesView::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Copy)) {
        CopySelection();
    } else if (event->matches(QKeySequence::SelectAll)) {
        anchor_ = RowCount() > 0 ? 0 : -1;
        current_ = RowCount() - 1;
        viewport()->update();
    } else if (event->matches(QKeySequence::MoveToStartOfDocument) ||
               event->key() == Qt::Key_Home) {
        verticalScrollBar()->setValue(0);
    } else if (event->matches(QKeySequence::MoveToEndOfDocument) || event->key() == Qt::Key_End) {
        verticalScrollBar()->setValue(verticalScrollBar()->maximum());
    } else {
        QAbstractScrollArea::keyPressEvent(event);
    }
}

void LogLinesView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || RowCount() == 0)
        return QAbstractScrollArea::mousePressEvent(event);
    const int row = std::clamp(RowAt(static_cast<int>(event->position().y())), 0, RowCount() - 1);
    if (!(event->modifiers() & Qt::ShiftModifier) || anchor_ < 0)
        anchor_ = row;
    current_ = row;
    viewport()->update();
}

void LogLinesView::mouseMoveEvent(QMouseEvent* event) {
    if (!(event->buttons() & Qt::LeftButton) || anchor_ < 0)
        return QAbstractScrollArea::mouseMoveEvent(event);
    const int y = static_cast<int>(event->position().y());
    // Dragging past an edge scrolls.
    if (y < 0)
        verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
    else if (y > viewport()->height())
        verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    current_ = std::clamp(RowAt(y), 0, RowCount() - 1);
    viewport()->update();
}

void LogLinesView::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    QAction* copy = menu.addAction(tr("Copy"), this, &LogLinesView::CopySelection);
    copy->setShortcut(QKeySequence::Copy);
    copy->setEnabled(anchor_ >= 0);
    QAction* all = menu.addAction(tr("Select All"), this, [this] {
        anchor_ = RowCount() > 0 ? 0 : -1;
        current_ = RowCount() - 1;
        viewport()->update();
    });
    all->setShortcut(QKeySequence::SelectAll);
    menu.exec(event->globalPos());
}

// ---- InformationView ----

InformationView::InformationView(InformationLog& log, FileChooser& files, Operator& op,
                                 InformationPlace place, QWidget* parent)
    : QWidget(parent), log_(log), files_(files), op_(op) {
    setObjectName(place == InformationPlace::Docked ? QStringLiteral("InformationView_Docked")
                                                    : QStringLiteral("InformationView_Separate"));
    memo_ = Named(new LogLinesView(log_, this), "InfoMessageMemo");

    times_ = Named(new QLabel(tr("Times"), this), "InfoMessage_Times_Label");
    status_ = Named(new QLabel(tr("Status"), this), "InfoMessage_Status_Label");
    for (QLabel* label : {times_, status_}) {
        QFont font = label->font();
        font.setBold(true);
        label->setFont(font);
    }
    // "Times" heads the time stamps, "Status" the messages, as columns over the memo.
    const QFontMetrics fixed(memo_->font());
    times_->setFixedWidth(fixed.horizontalAdvance(QStringLiteral("0000/00/00 00:00:00 : ")) +
                          kTextMargin + memo_->frameWidth());

    mode_ = PanelButton(this, "InfoMessage_Mode_Panel",
                        place == InformationPlace::Docked ? QStringLiteral("Outside Mode")
                                                          : QStringLiteral("Inside Mode"));
    mode_->setToolTip(place == InformationPlace::Docked
                          ? tr("Show the information in a window of its own")
                          : tr("Show the information in the main window again"));
    clear_ = PanelButton(this, "InfoMessage_Clear_Panel", QStringLiteral("Clear Information"));
    save_ = PanelButton(this, "InfoMessage_Save_Panel", QStringLiteral("Save Information"));
    connect(mode_, &QPushButton::clicked, this, &InformationView::modeClicked);
    connect(clear_, &QPushButton::clicked, this, [this] { log_.Clear(); });
    connect(save_, &QPushButton::clicked, this, &InformationView::Save);

    auto* header = new QHBoxLayout;
    header->setSpacing(8);
    header->addWidget(times_);
    header->addWidget(status_, 1);
    header->addWidget(mode_);
    header->addWidget(clear_);
    header->addWidget(save_);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    layout->addLayout(header);
    layout->addWidget(memo_, 1);

    log_.Subscribe(this);
}

InformationView::~InformationView() {
    log_.Unsubscribe(this);
}

void InformationView::LineAdded(const std::string& /*line*/) {
    memo_->EntryAdded();
}

void InformationView::Reset(const std::vector<std::string>& /*lines*/) {
    memo_->EntriesReset();
}

void InformationView::Save() {
    const QString path = files_.SaveFileName(this, LogFileRequest(tr("Save Information")));
    if (path.isEmpty())
        return;
    if (!log_.SaveToFile(ToStdString(path)))
        op_.Tell(Severity::Warning, ToStdString(tr("The information could not be saved to %1 !")
                                                    .arg(QDir::toNativeSeparators(path))));
}

// ---- InformationWindow ----

InformationWindow::InformationWindow(InformationModel& model, FileChooser& files, QWidget* parent)
    : QWidget(parent,
              Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      model_(model),
      view_(new InformationView(model.Log(), files, model.Asker(), InformationPlace::Separate,
                                this)) {
    setObjectName(QStringLiteral("TInfoMessageForm"));
    setWindowTitle(QStringLiteral("Information"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addWidget(view_);
    resize(760, 420);
    connect(view_, &InformationView::modeClicked, this, &InformationWindow::ReturnInside);
}

void InformationWindow::ShowSeparately() {
    show();
    raise();
    activateWindow();
    model_.SetInformationWindowShown(true);
    emit placeChanged(true);
}

void InformationWindow::ReturnInside() {
    hide();
    model_.SetInformationWindowShown(false);
    emit placeChanged(false);
}

void InformationWindow::closeEvent(QCloseEvent* event) {
    // The window lives as long as the program; closing it only brings the docked panel back.
    event->accept();
    ReturnInside();
}

// ---- LineLimitTimer ----

LineLimitTimer::LineLimitTimer(InformationModel& model, QObject* parent)
    : QObject(parent), model_(model), timer_(new QTimer(this)) {
    // A child, so the window's children include it by name.
    timer_->setObjectName(QStringLiteral("InfoMessageLimit_Timer"));
    timer_->setInterval(kIntervalMs);
    connect(timer_, &QTimer::timeout, this, [this] { model_.InfoMessageLimitTick(); });
}

void LineLimitTimer::Sync() {
    if (!model_.InfoMessageLimitTimerWanted())
        timer_->stop();
    else if (!timer_->isActive())
        timer_->start();
}

}  // namespace torq::app
