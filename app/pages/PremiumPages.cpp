#include "torq/app/PremiumPages.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "torq/app/DialogWidgets.h"

namespace torq::app {

namespace {

int Px(std::int32_t value) {
    return std::clamp<std::int32_t>(value, 0, PremiumPages::kPixelLimit);
}

QString ComponentName(const PageComponent& component, const char* suffix = "") {
    return QStringLiteral("Page%1Com%2%3")
        .arg(component.page)
        .arg(component.number)
        .arg(QLatin1String(suffix));
}

// An explanation box: black, green text, both scroll bars.
QPlainTextEdit* ExplanationBox(QWidget* sheet, const PageComponent& component) {
    auto* box = new QPlainTextEdit(sheet);
    box->setReadOnly(true);
    box->setLineWrapMode(QPlainTextEdit::NoWrap);
    box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    box->setFont(FixedFont());
    QPalette palette = box->palette();
    palette.setColor(QPalette::Base, Qt::black);
    palette.setColor(QPalette::Text, QColor(0x00, 0xFF, 0x00));
    box->setPalette(palette);
    QStringList lines;
    for (const std::string& line : component.explanationLines)
        lines << ToQString(line);
    box->setPlainText(lines.join(QLatin1Char('\n')));
    box->setGeometry(Px(component.left), Px(component.top), Px(component.width),
                     Px(component.height));
    return box;
}

}  // namespace

PremiumPages::PremiumPages(PremiumModel& model, QWidget* parent)
    : QWidget(parent),
      model_(model),
      pageControl_(Named(new QTabWidget(this), "Premium_PageControl")),
      ok_(Named(new QPushButton(tr("OK"), this), "Premium_OK_BitBtn")),
      cancel_(Named(new QPushButton(tr("Cancel"), this), "Premium_Cancel_BitBtn")) {
    setObjectName(QStringLiteral("Premium_Page"));
    ok_->setAutoDefault(false);
    cancel_->setAutoDefault(false);
    connect(ok_, &QPushButton::clicked, this, [this] { model_.PremiumOk(); });
    connect(cancel_, &QPushButton::clicked, this, [this] { model_.PremiumCancel(); });
    // Hidden in this release: the values are saved when the operator leaves the tab.
    ok_->hide();
    cancel_->hide();

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok_);
    buttons->addWidget(cancel_);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    layout->addWidget(pageControl_, 1);
    layout->addLayout(buttons);
    Rebuild();
}

const PageComponent* PremiumPages::Component(int page, int index) const {
    const auto& pages = model_.PremiumPages().pages;
    if (page < 0 || page >= static_cast<int>(pages.size()))
        return nullptr;
    const auto& components = pages[static_cast<std::size_t>(page)].components;
    if (index < 0 || index >= static_cast<int>(components.size()))
        return nullptr;
    return &components[static_cast<std::size_t>(index)];
}

void PremiumPages::Rebuild() {
    while (pageControl_->count() > 0) {
        QWidget* sheet = pageControl_->widget(0);
        pageControl_->removeTab(0);
        delete sheet;
    }
    const auto& pages = model_.PremiumPages().pages;
    for (int p = 0; p < static_cast<int>(pages.size()); ++p)
        pageControl_->addTab(BuildSheet(p), ToQString(pages[static_cast<std::size_t>(p)].caption));
}

QWidget* PremiumPages::BuildSheet(int page) {
    // The sheet scrolls, so a component placed beyond the visible area can still be reached.
    auto* sheet = new QScrollArea;
    sheet->setObjectName(QStringLiteral("Page%1").arg(page));
    sheet->setFrameShape(QFrame::NoFrame);
    auto* canvas = new QWidget;
    canvas->setObjectName(QStringLiteral("Page%1_Canvas").arg(page));
    const auto& components = model_.PremiumPages().pages[static_cast<std::size_t>(page)].components;
    for (int i = 0; i < static_cast<int>(components.size()); ++i)
        AddComponent(canvas, page, i);
    QRect used;
    for (const QWidget* child : canvas->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        used |= child->geometry();
    canvas->setMinimumSize(used.right() + 8, used.bottom() + 8);
    canvas->resize(canvas->minimumSize());
    sheet->setWidget(canvas);
    return sheet;
}

void PremiumPages::AddComponent(QWidget* sheet, int page, int index) {
    const PageComponent& component = *Component(page, index);
    switch (component.type) {
        case ComponentType::CheckBox: {
            auto* box = new QCheckBox(ToQString(component.caption), sheet);
            box->setObjectName(ComponentName(component));
            box->setChecked(component.checked);
            box->setGeometry(Px(component.left), Px(component.top),
                             std::min(component.CheckBoxWidth(), kPixelLimit),
                             box->sizeHint().height());
            connect(box, &QCheckBox::toggled, this, [this, page, index](bool checked) {
                model_.SetPageChecked(page, index, checked);
            });
            break;
        }
        case ComponentType::RadioGroup: {
            auto* group = new QGroupBox(ToQString(component.caption), sheet);
            group->setObjectName(ComponentName(component));
            group->setGeometry(Px(component.left), Px(component.top), Px(component.width),
                               Px(component.height));
            auto* grid = new QGridLayout(group);
            auto* choices = new QButtonGroup(group);
            const int count = static_cast<int>(component.radioChoices.size());
            const int columns = std::clamp(component.radioColumns, 1, std::max(count, 1));
            const int rows = (count + columns - 1) / std::max(columns, 1);
            // Choices run down the first column, then the next.
            for (int i = 0; i < count; ++i) {
                auto* choice = new QRadioButton(
                    ToQString(component.radioChoices[static_cast<std::size_t>(i)]), group);
                choice->setObjectName(ComponentName(component, "_Choice") + QString::number(i));
                choice->setChecked(i == component.selectedIndex);
                choices->addButton(choice, i);
                grid->addWidget(choice, i % rows, i / rows);
            }
            connect(choices, &QButtonGroup::idClicked, this,
                    [this, page, index](int id) { model_.SetPageChoice(page, index, id); });
            break;
        }
        case ComponentType::ValueField: {
            auto* label = new QLabel(ToQString(component.LabelText()), sheet);
            label->setObjectName(ComponentName(component, "_Label"));
            auto* field = new QLineEdit(ToQString(component.text), sheet);
            field->setObjectName(ComponentName(component));
            field->setFont(FixedFont());
            const std::int32_t valueType = component.valueType;
            FilterKeys(field, [valueType](char key) -> std::optional<char> {
                if (!FilterValueKey(valueType, key))
                    return std::nullopt;
                return key;
            });
            const QSize labelSize = label->sizeHint();
            const int fieldHeight = field->sizeHint().height();
            const int top = Px(component.top);
            const int left = Px(component.left);
            label->setGeometry(left, top + (fieldHeight - labelSize.height()) / 2,
                               labelSize.width(), labelSize.height());
            field->setGeometry(left + labelSize.width() + 4, top, Px(component.width), fieldHeight);
            connect(field, &QLineEdit::textEdited, this, [this, field, page, index] {
                const PageComponent* target = Component(page, index);
                if (target == nullptr)
                    return;
                ShowCorrectedText(field, CheckValueText(*target, ToStdString(field->text())));
                model_.SetPageText(page, index, ToStdString(field->text()));
            });
            break;
        }
        case ComponentType::Explanation:
            ExplanationBox(sheet, component)->setObjectName(ComponentName(component));
            break;
        case ComponentType::None:
            break;
    }
}

}  // namespace torq::app
