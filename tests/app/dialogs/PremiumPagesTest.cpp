// The Premium sheets built from a page file, their filters and change checks, and OK's save, on a
// model of the pages alone.
#include "torq/app/PremiumPages.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>

#include "DialogsFixture.h"

namespace torq::app::test {
namespace {

// Every component type on two pages; page 1 has no caption key.
constexpr const char* kPageFile = R"([CurrentUserPage]
Total=2
PageCaption0=Lock

[CurrentUserPage_0]
ComponentTotal=6
ComponentType0=0
ComponentCaption0=Enable
Top0=10
Left0=20
ComponentType1=1
ComponentCaption1=Level
Top1=40
Left1=20
Width1=300
Height1=120
Radio1Columns=2
Radio1Total=5
Radio1String0=A
Radio1String1=B
Radio1String2=C
Radio1String3=D
Radio1String4=E
ComponentType2=2
ValueType2=3
ComponentCaption2=Reg
Top2=170
Left2=20
Width2=60
ComponentType3=3
Top3=210
Left3=20
Width3=300
Height3=80
Explation3Total=2
Explation3Line0=first
Explation3Line1=second
ComponentType4=7
ComponentType5=2
ValueType5=0
ComponentCaption5=Count
Top5=300
Left5=20
Width5=60

[CurrentUserPage_1]
ComponentTotal=2
ComponentType0=2
ValueType0=4
ComponentCaption0=Word
Top0=10
Left0=10
Width0=80
ComponentType1=1
ComponentCaption1=Mode
Top1=40
Left1=10
Width1=200
Height1=60
Radio1Total=2
Radio1String0=Off
Radio1String1=On

[CurrentUserPageSetup]
Page0Com0Set=1
Page0Com1Set=-1
Page0Com2Set=171
Page0Com5Set=0
Page1Com0Set=0
)";

// The pages built from a page file; OK saves their values to Menu.ini as the workbench does, and
// both buttons are counted.
class PagesModel final : public PremiumModel {
  public:
    explicit PagesModel(std::filesystem::path menuIni) : menuIni_(std::move(menuIni)) {}
    const ParameterPages& PremiumPages() const override { return pages; }
    void SetPageChecked(int page, int component, bool checked) override {
        if (PageComponent* c = Component(page, component))
            c->checked = checked;
    }
    void SetPageChoice(int page, int component, int choice) override {
        if (PageComponent* c = Component(page, component))
            c->selectedIndex = choice;
    }
    void SetPageText(int page, int component, std::string text) override {
        if (PageComponent* c = Component(page, component))
            c->text = std::move(text);
    }
    void PremiumOk() override {
        ++oks;
        EXPECT_TRUE(ValuesOf(pages).Write(menuIni_));
    }
    void PremiumCancel() override { ++cancels; }

    ParameterPages pages;
    int oks = 0;
    int cancels = 0;

  private:
    PageComponent* Component(int page, int component) {
        if (page < 0 || page >= static_cast<int>(pages.pages.size()))
            return nullptr;
        auto& components = pages.pages[static_cast<std::size_t>(page)].components;
        if (component < 0 || component >= static_cast<int>(components.size()))
            return nullptr;
        return &components[static_cast<std::size_t>(component)];
    }
    std::filesystem::path menuIni_;
};

class PremiumPagesTest : public ::testing::Test {
  protected:
    PremiumPagesTest() : model(home / "Menu.ini"), pages(model) {
        const auto pageFile = home.Write("pages.ini", kPageFile);
        model.pages = BuildParameterPages(pageFile, home / "no-values.ini");
        pages.Rebuild();
        pages.resize(800, 440);
        pages.show();
    }
    template <typename T>
    T* Control(const char* name) {
        return Find<T>(pages, name);
    }
    QApplication& app = App();
    TempDir home;
    PagesModel model;
    PremiumPages pages;
};

TEST_F(PremiumPagesTest, SheetsPlaceEveryComponentAsThePageFileSays) {
    QTabWidget* control = pages.PageControl();
    EXPECT_EQ(control->objectName(), "Premium_PageControl");
    ASSERT_EQ(control->count(), 2);
    EXPECT_EQ(control->tabText(0), "Lock");
    EXPECT_EQ(control->tabText(1), "Page1");
    EXPECT_EQ(control->widget(1)->objectName(), "Page1");

    auto* box = Control<QCheckBox>("Page0Com0");
    EXPECT_EQ(box->geometry().topLeft(), QPoint(20, 10));
    EXPECT_EQ(box->width(), 120);  // 20 pixels per caption character
    EXPECT_TRUE(box->isChecked());

    // Five choices in two columns, filled column by column; -1 selects none.
    auto* group = Control<QGroupBox>("Page0Com1");
    EXPECT_EQ(group->geometry(), QRect(20, 40, 300, 120));
    const auto choices = group->findChildren<QRadioButton*>();
    ASSERT_EQ(choices.size(), 5);
    for (const QRadioButton* choice : choices)
        EXPECT_FALSE(choice->isChecked());
    EXPECT_EQ(choices[1]->x(), choices[0]->x());
    EXPECT_GT(choices[1]->y(), choices[0]->y());
    EXPECT_GT(choices[3]->x(), choices[0]->x());
    EXPECT_EQ(choices[3]->y(), choices[0]->y());
    // Without a stored value the first choice is selected.
    EXPECT_TRUE(Control<QRadioButton>("Page1Com1_Choice0")->isChecked());

    // A value field: the label at Left, the field 4 pixels right of it at Top, the label centred
    // on the field.
    auto* label = Control<QLabel>("Page0Com2_Label");
    auto* field = Control<QLineEdit>("Page0Com2");
    EXPECT_EQ(label->text(), "Reg [HEX] :");
    EXPECT_EQ(field->text(), "AB");
    EXPECT_EQ(label->x(), 20);
    EXPECT_EQ(field->x(), label->x() + label->width() + 4);
    EXPECT_EQ(field->y(), 170);
    EXPECT_EQ(field->width(), 60);
    EXPECT_EQ(label->y(), 170 + (field->height() - label->height()) / 2);
    EXPECT_EQ(Control<QLabel>("Page0Com5_Label")->text(), "Count [DEC] :");

    auto* explanation = Control<QPlainTextEdit>("Page0Com3");
    EXPECT_EQ(explanation->geometry(), QRect(20, 210, 300, 80));
    EXPECT_EQ(explanation->toPlainText(), "first\nsecond");
    EXPECT_TRUE(explanation->isReadOnly());
    EXPECT_EQ(explanation->palette().color(QPalette::Base), QColor(Qt::black));
    EXPECT_EQ(explanation->palette().color(QPalette::Text), QColor(0x00, 0xFF, 0x00));
    EXPECT_EQ(explanation->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(explanation->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);

    // An unknown component type creates nothing.
    EXPECT_EQ(pages.findChild<QWidget*>(QStringLiteral("Page0Com4")), nullptr);
    // OK and Cancel exist but stay hidden: leaving the tab saves.
    EXPECT_TRUE(Control<QPushButton>("Premium_OK_BitBtn")->isHidden());
    EXPECT_TRUE(Control<QPushButton>("Premium_Cancel_BitBtn")->isHidden());
}

TEST_F(PremiumPagesTest, FieldsFilterAndCheckEveryChangeAndOkSavesWhatIsShown) {
    struct Case {
        const char* name;
        const char* typed;
        const char* shown;
    };
    const Case cases[] = {
        {"Page0Com2", "1FF", "1F"},     // above FF: FF, then cut to two digits
        {"Page0Com2", "aG", "A"},       // made upper case; no G in hexadecimal
        {"Page0Com5", "1000", "100"},   // above 255, then cut to three digits
        {"Page0Com5", "300", "255"},    // above 255
        {"Page0Com5", "4x2", "42"},     // digits only
        {"Page1Com0", "beef", "BEEF"},  // stored as 48879
    };
    for (const Case& c : cases) {
        QLineEdit* field = Control<QLineEdit>(c.name);
        field->selectAll();
        QTest::keyClick(field, Qt::Key_Backspace);
        QTest::keyClicks(field, c.typed);
        EXPECT_EQ(field->text(), c.shown) << c.name << " " << c.typed;
    }
    Control<QCheckBox>("Page0Com0")->click();
    Control<QRadioButton>("Page0Com1_Choice2")->click();
    const auto& shown = model.PremiumPages().pages;
    EXPECT_FALSE(shown[0].components[0].checked);
    EXPECT_EQ(shown[0].components[1].selectedIndex, 2);
    EXPECT_EQ(shown[1].components[0].text, "BEEF");

    Control<QPushButton>("Premium_OK_BitBtn")->click();
    const IniFile menu(home / "Menu.ini");
    const auto value = [&](const char* key) {
        return menu.ReadString(kPageValuesSection, key, "missing");
    };
    EXPECT_EQ(value("Page0Com0Set"), "0");
    EXPECT_EQ(value("Page0Com1Set"), "2");
    EXPECT_EQ(value("Page0Com2Set"), "10");
    EXPECT_EQ(value("Page0Com3Set"), "0");
    EXPECT_EQ(value("Page0Com4Set"), "missing");
    EXPECT_EQ(value("Page0Com5Set"), "42");
    EXPECT_EQ(value("Page1Com0Set"), "48879");
    EXPECT_EQ(value("Page1Com1Set"), "0");
    // OK and Cancel reach the model (which goes back to the last operation tab).
    EXPECT_EQ(model.oks, 1);
    Control<QPushButton>("Premium_Cancel_BitBtn")->click();
    EXPECT_EQ(model.cancels, 1);
}

}  // namespace
}  // namespace torq::app::test
