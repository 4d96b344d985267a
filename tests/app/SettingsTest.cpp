#include "CommaLocale.h"
#include "QtTestSupport.h"
#include "app/UnitFormMain.h"
#include "app/UnitHostHistory.h"
#include "app/UnitSettingsStore.h"

#include <QComboBox>
#include <QLocale>

#include <clocale>
#include <cstdio>
#include <cstdlib>

namespace {

QStringList Items(const QComboBox& box) {
    QStringList items;
    for (int i = 0; i < box.count(); ++i)
        items << box.itemText(i);
    return items;
}

} // namespace

TEST(Settings, MissingValuesAndSectionsGiveTheDefaults) {
    ScratchDir dir;
    const SettingsStore store(QString::fromStdString(dir / "NELQ.ini"));
    EXPECT_EQ(store.ReadString("Settings", "ViewHost", "none"), "none");
    EXPECT_EQ(store.ReadInteger("Nowhere", "DataRate", 8000), 8000);
    EXPECT_TRUE(store.ReadBool("Settings", "AudioOnly", true));
}

TEST(Settings, IntegersAreReadFromTextAndWrittenAsDecimalText) {
    ScratchDir dir;
    WriteAll(dir / "NELQ.ini",
             "[Settings]\nDataRate=9000\nSectionStep=abc\nAudioOnly=2\nCastVolume= 55 \n");
    {
        SettingsStore store(QString::fromStdString(dir / "NELQ.ini"));
        EXPECT_EQ(store.ReadInteger("Settings", "DataRate", 8000), 9000);
        EXPECT_EQ(store.ReadInteger("Settings", "SectionStep", 4), 4);
        EXPECT_EQ(store.ReadInteger("Settings", "CastVolume", 100), 55);
        EXPECT_TRUE(store.ReadBool("Settings", "AudioOnly", false)); // any number but 0
        store.WriteInteger("Settings", "DataRate", 15000);
        store.WriteBool("Settings", "AudioOnly", false);
        store.WriteBool("Settings", "Windowed", true);
        store.WriteString("Settings", "ViewHost", "cast.example.org");
    }
    const std::string ini = ReadAll(dir / "NELQ.ini");
    EXPECT_NE(ini.find("DataRate=15000"), std::string::npos) << ini;
    EXPECT_NE(ini.find("AudioOnly=0"), std::string::npos) << ini;
    EXPECT_NE(ini.find("Windowed=1"), std::string::npos) << ini;
    const SettingsStore reread(QString::fromStdString(dir / "NELQ.ini"));
    EXPECT_EQ(reread.ReadInteger("Settings", "DataRate", 0), 15000);
    EXPECT_FALSE(reread.ReadBool("Settings", "AudioOnly", true));
    EXPECT_EQ(reread.ReadString("Settings", "ViewHost", ""), "cast.example.org");
}

TEST(Settings, HandWrittenTextWithCommasComesBackAsWritten) {
    ScratchDir dir;
    WriteAll(dir / "NELQ.ini", "[Settings]\nViewerPassword=red, green,blue\n"
                               "ViewHost=cast.example.org\nDataRate=8,000\n"
                               "[ComboBoxViewHost]\n0 = a,b \n");
    SettingsStore store(QString::fromStdString(dir / "NELQ.ini"));
    EXPECT_EQ(store.ReadString("Settings", "ViewerPassword", "x"), "red, green,blue");
    EXPECT_EQ(store.ReadString("Settings", "ViewHost", "x"), "cast.example.org");
    EXPECT_EQ(store.ReadString("ComboBoxViewHost", "0", "x"), "a,b");
    EXPECT_EQ(store.ReadInteger("Settings", "DataRate", 7000), 7000); // not a number

    // What the client writes itself reads back the same, commas and all.
    store.WriteString("Settings", "ViewerPassword", "one,two");
    EXPECT_EQ(SettingsStore(QString::fromStdString(dir / "NELQ.ini"))
                  .ReadString("Settings", "ViewerPassword", "x"),
              "one,two");
}

TEST(HostHistory, RecentHostsComeFirstInLowerCaseWithoutDuplicates) {
    EnsureApplication();
    ScratchDir dir;
    SettingsStore store(QString::fromStdString(dir / "NELQ.ini"));
    for (int i = 0; i < 5; ++i)
        store.WriteString("ComboBoxViewHost", QString::number(i), QStringLiteral("host%1").arg(i));

    QComboBox box;
    box.setObjectName("ComboBoxViewHost");
    box.setEditable(true);
    box.setEditText("typed");
    LoadHostHistory(box, store);
    EXPECT_EQ(Items(box), (QStringList{"host0", "host1", "host2", "host3", "host4"}));
    EXPECT_EQ(box.currentText(), "typed");

    box.setEditText("HOST3");
    SaveHostHistory(box, store);
    EXPECT_EQ(box.currentText(), "HOST3");
    EXPECT_EQ(store.ReadString("ComboBoxViewHost", "0", ""), "host3");
    EXPECT_EQ(store.ReadString("ComboBoxViewHost", "3", ""), "host2");
    EXPECT_EQ(store.ReadString("ComboBoxViewHost", "4", ""), "host4");

    // An empty box text is stored as an empty first entry; the fifth falls off,
    // and empty entries are skipped when loading.
    box.setEditText("");
    SaveHostHistory(box, store);
    EXPECT_EQ(store.ReadString("ComboBoxViewHost", "0", "x"), "");
    EXPECT_EQ(store.ReadString("ComboBoxViewHost", "4", ""), "host2");
    LoadHostHistory(box, store);
    EXPECT_EQ(Items(box), (QStringList{"host3", "host0", "host1", "host2"}));
}

TEST(Settings, NumbersUseAPointWhateverTheLocale) {
    ClientEnvironment env;
    ASSERT_TRUE(UseGermanCLocale(env.Dir)) << "localedef (package locales) is needed";
    char text[16];
    std::snprintf(text, sizeof text, "%.2f", 1.5);
    ASSERT_STREQ(text, "1,50"); // the locale really uses a comma
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));

    auto form = env.CreateForm();
    EXPECT_EQ(QLocale().toString(1.5, 'f', 2), "1.50");
    std::snprintf(text, sizeof text, "%.2f", 1.5);
    EXPECT_STREQ(text, "1.50");
    EXPECT_EQ(std::strtod("0.5", nullptr), 0.5);
    LeaveGermanCLocale();
}
