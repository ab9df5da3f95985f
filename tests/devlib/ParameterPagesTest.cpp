#include "torq/devlib/ParameterPages.h"

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "torq/devlib/DeviceRecord.h"
#include "torq/devlib/Ini.h"

namespace torq {
namespace {

const char* kPageFile =
    "[CurrentUserPage]\r\nTotal=2\r\nPageCaption0=Lock\r\nCaption=x\r\n"
    "[CurrentUserPage_0]\r\nComponentTotal=7\r\n"
    "ComponentType0=1\r\nComponentCaption0=Block protect\r\nRadio0Total=3\r\nRadio0Columns=2\r\n"
    "Radio0String0=None\r\nRadio0String1=Upper half\r\nRadio0String2=All\r\nTop0=10\r\nLeft0=20\r\n"
    "ComponentType1=0\r\nComponentCaption1=Enable\r\n"
    "ComponentType2=2\r\nValueType2=3\r\nComponentCaption2=Status\r\n"
    "ComponentType3=2\r\nValueType3=0\r\nComponentCaption3=Count\r\nValueMax3=200\r\n"
    "ComponentType4=3\r\nExplation4Total=2\r\nExplation4Line0=first\r\n"
    "ComponentType5=9\r\n"
    "ComponentType6=2\r\nValueType6=7\r\nComponentCaption6=Raw\r\n"
    "[CurrentUserPage_1]\r\nComponentTotal=2\r\nComponentType0=2\r\nValueType0=6\r\n"
    "ComponentType1=1\r\nRadio1Total=2\r\n"
    "[CurrentUserPageSetup]\r\nPage0Com0Set=7\r\nPage0Com1Set=1\r\nPage0Com2Set=171\r\n"
    "Page0Com3Set=12\r\nPage1Com1Set=-1\r\n";

TEST(ParameterPages, BuildsPagesWithDefaultsAndValues) {
    test::TempDir dir;
    const auto pageFile = dir.Write("Menu/p.ini", kPageFile);
    const ParameterPages pages =
        BuildParameterPages(pageFile, dir / "Menu.ini");  // no Menu.ini yet
    ASSERT_EQ(pages.pages.size(), 2u);
    EXPECT_EQ(pages.pages[0].caption, "Lock");
    EXPECT_EQ(pages.pages[1].caption, "Page1");
    const auto& c = pages.pages[0].components;
    ASSERT_EQ(c.size(), 7u);
    EXPECT_EQ(c[0].type, ComponentType::RadioGroup);
    EXPECT_EQ(c[0].selectedIndex, 2);  // 7 is past the last choice: the last one
    EXPECT_EQ(c[0].radioColumns, 2);
    EXPECT_EQ(c[0].top, 10);
    EXPECT_TRUE(c[1].checked);
    EXPECT_EQ(c[1].CheckBoxWidth(), 120);
    EXPECT_EQ(c[2].text, "AB");
    EXPECT_EQ(c[2].LabelText(), "Status [HEX] :");
    EXPECT_EQ(c[2].valueMax, 255u);
    EXPECT_EQ(c[3].text, "12");
    EXPECT_EQ(c[3].valueMax, 200u);
    EXPECT_EQ(c[4].explanationLines, (std::vector<std::string>{"first", "None"}));
    EXPECT_EQ(c[5].type, ComponentType::None);
    EXPECT_EQ(c[5].caption, "NONE");
    EXPECT_EQ(c[6].caption, "Raw");
    EXPECT_EQ(c[6].LabelText(), "");  // unknown value type: no label at all
    const auto& second = pages.pages[1].components;
    EXPECT_EQ(second[0].text, "None");
    EXPECT_EQ(second[0].LabelText(), "NONE [CHAR] :");
    EXPECT_EQ(second[1].selectedIndex, -1);

    // A radio group without a stored value shows its first choice.
    const auto other = dir.Write("Menu/q.ini",
                                 "[CurrentUserPage]\nTotal=1\n[CurrentUserPage_0]\n"
                                 "ComponentTotal=1\nComponentType0=1\nRadio0Total=2\n");
    EXPECT_EQ(BuildParameterPages(other, dir / "Menu.ini").pages[0].components[0].selectedIndex, 0);
}

TEST(ParameterPages, ValuesComeFromMenuIniWhenItExists) {
    test::TempDir dir;
    const auto pageFile = dir.Write("Menu/p.ini", kPageFile);
    dir.Write("Menu.ini", "[CurrentUserPageSetup]\nPage0Com0Set=1\nPage0Com1Set=0\n");
    const ParameterPages pages = BuildParameterPages(pageFile, dir / "Menu.ini");
    const auto& c = pages.pages[0].components;
    EXPECT_EQ(c[0].selectedIndex, 1);
    EXPECT_FALSE(c[1].checked);
    EXPECT_EQ(c[2].text, "0");  // missing in Menu.ini: 0, not the page file's default
}

TEST(ParameterPages, ChangeCheckBoundsAndCutsTheText) {
    PageComponent hex2;
    hex2.type = ComponentType::ValueField;
    hex2.valueType = 3;
    hex2.valueMax = 255;
    PageComponent dec3 = hex2;
    dec3.valueType = 0;
    PageComponent text = hex2;
    text.valueType = 6;
    struct Case {
        const PageComponent* field;
        const char* typed;
        const char* held;
    };
    const Case cases[] = {
        {&hex2, "1FF", "1F"},
        {&hex2, "FF", "FF"},
        {&hex2, "", ""},
        {&dec3, "1000", "100"},
        {&dec3, "300", "255"},
        {&dec3, "42", "42"},
        {&text, "anything at all", "anything at all"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CheckValueText(*c.field, c.typed), c.held) << c.typed;

    char key = 'b';
    EXPECT_TRUE(FilterValueKey(4, key));
    EXPECT_EQ(key, 'B');
    key = 'g';
    EXPECT_FALSE(FilterValueKey(4, key));
    key = 'a';
    EXPECT_FALSE(FilterValueKey(1, key));
    key = '\b';
    EXPECT_TRUE(FilterValueKey(1, key));
    key = '%';
    EXPECT_TRUE(FilterValueKey(6, key));
}

TEST(ParameterPages, SaveWritesEveryComponentsValue) {
    test::TempDir dir;
    const auto pageFile = dir.Write("Menu/p.ini", kPageFile);
    dir.Write("Menu.ini", "[CurrentUserPageSetup]\nStale=1\n");
    ParameterPages pages = BuildParameterPages(pageFile, dir / "none.ini");
    auto& c = pages.pages[0].components;
    c[0].selectedIndex = -1;
    c[2].text = "BEEF";
    c[2].valueType = 4;
    c[3].text = "12x";
    ASSERT_TRUE(SaveParameterValues(pages, dir / "Menu.ini"));
    const IniFile menu(dir / "Menu.ini");
    EXPECT_EQ(
        menu.Keys("CurrentUserPageSetup"),
        (std::vector<std::string>{"Page0Com0Set", "Page0Com1Set", "Page0Com2Set", "Page0Com3Set",
                                  "Page0Com4Set", "Page0Com6Set", "Page1Com0Set", "Page1Com1Set"}));
    EXPECT_EQ(menu.ReadString("CurrentUserPageSetup", "Page0Com0Set"), "-1");
    EXPECT_EQ(menu.ReadString("CurrentUserPageSetup", "Page0Com1Set"), "1");
    EXPECT_EQ(menu.ReadString("CurrentUserPageSetup", "Page0Com2Set"), "48879");
    EXPECT_EQ(menu.ReadString("CurrentUserPageSetup", "Page0Com3Set"), "12x");
    EXPECT_EQ(menu.ReadString("CurrentUserPageSetup", "Page0Com4Set"), "0");
    EXPECT_EQ(menu.ReadString("CurrentUserPageSetup", "Page1Com0Set"), "None");
}

TEST(ParameterPages, AHostilePageFileIsCutToTheTotals) {
    // 1024 pages of 8 radio groups of 1024 choices each.
    std::string text = "[CurrentUserPage]\nTotal=1024\n";
    for (int p = 0; p < 1024; ++p) {
        text += "[CurrentUserPage_" + std::to_string(p) + "]\nComponentTotal=8\n";
        for (int c = 0; c < 8; ++c) {
            const std::string n = std::to_string(c);
            text += "ComponentType" + n + "=1\nRadio" + n + "Total=1024\n";
        }
    }
    test::TempDir dir;
    const auto pageFile = dir.Write("Menu/h.ini", text);
    const ParameterPages pages = BuildParameterPages(pageFile, dir / "Menu.ini");
    std::size_t components = 0, choices = 0;
    for (const auto& page : pages.pages) {
        components += page.components.size();
        for (const auto& c : page.components)
            choices += c.radioChoices.size();
    }
    EXPECT_EQ(pages.pages.size(), 1024u);
    EXPECT_EQ(components, static_cast<std::size_t>(kPageFileComponentLimit));
    EXPECT_EQ(choices, static_cast<std::size_t>(kPageFileItemLimit));

    ASSERT_TRUE(RefreshMenuIni(pageFile, dir / "Menu.ini"));
    EXPECT_EQ(IniFile(dir / "Menu.ini").Keys(kPageValuesSection).size(),
              static_cast<std::size_t>(kPageFileComponentLimit));
    EXPECT_LT(std::filesystem::file_size(dir / "Menu.ini"), 100000u);
}

TEST(ParameterPages, AvailableOnlyWithProtModePageFileAndProgrammer) {
    test::TempDir dir;
    DeviceRecord r;
    r.protMode = 1;
    r.menuFilePath = dir.Write("Menu/p.ini", kPageFile);
    EXPECT_TRUE(ParameterPagesAvailable(r, 1));
    EXPECT_FALSE(ParameterPagesAvailable(r, 0));
    r.protMode = 0;
    EXPECT_FALSE(ParameterPagesAvailable(r, 1));
    r.protMode = 1;
    r.menuFilePath = dir / "Menu" / "none.ini";
    EXPECT_FALSE(ParameterPagesAvailable(r, 1));
}

}  // namespace
}  // namespace torq
