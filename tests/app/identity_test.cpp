// Tests of the installer's start-up identity: recipient selection, identity texts, Windows version table, folders.
// Contract: runs under the real platform after the runtime's start sequence; texts are checked byte for byte.
#include <windows.h>
#include <shlobj.h>
#include <string.h>

#include <gtest/gtest.h>

#include "app/identity.h"
#include "core/frame.h"
#include "core/strings.h"
#include "ui/runtime.h"

namespace {

class RuntimeEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        PlugWindowRuntime();
        StartRuntime();
    }
};
::testing::Environment* const runtimeEnvironment = ::testing::AddGlobalTestEnvironment(new RuntimeEnvironment);

struct RecipientCase {
    int first, second, third, variant;
};

TEST(Recipient, OnlyASingleSelectedVariantCounts) {
    const RecipientCase cases[] = {
        {0, 0, 0, 0}, {1, 0, 0, 1}, {0, 1, 0, 2}, {0, 0, 1, 3},
        {1, 1, 0, 0}, {1, 0, 1, 0}, {0, 1, 1, 0}, {1, 1, 1, 0},
    };
    for (const RecipientCase& c : cases) {
        EXPECT_EQ(SelectedRecipient(c.first, c.second, c.third), c.variant)
            << c.first << c.second << c.third;
    }
}

TEST(Recipient, ThisBuildCarriesVariantThree) {
    EXPECT_EQ(BuildRecipient(), 3);
}

TEST(Recipient, VariantTextsAreTheWindows1252Literals) {
    EXPECT_STREQ(CustomerLineOf(1), " f\xFCr Lukas Brennholt");
    EXPECT_STREQ(CustomerLineOf(2), " f\xFCr Reinold Tessmar");
    EXPECT_STREQ(CustomerLineOf(3), " f\xFCr wendler sensorbau");
    EXPECT_STREQ(CustomerLineOf(0), "");
    EXPECT_STREQ(EditionPrefixOf(1), "Profi-");
    EXPECT_STREQ(EditionPrefixOf(2), "Profi-");
    EXPECT_STREQ(EditionPrefixOf(3), "");
}

struct VersionCase {
    int queryOk, platform, major, minor, productType, code;
    const char* windows;
};

TEST(OsVersion, EveryRowOfTheTable) {
    const int anyType = 3;  // server: a product type that is not workstation
    const VersionCase cases[] = {
        {1, 1, 4, 0, anyType, 10, "95"},
        {1, 1, 4, 10, 1, 30, "98"},
        {1, 1, 4, 90, 0, 40, "Me"},
        {1, 1, 4, 3, 1, 100, "unlisted 9x"},
        {1, 1, 7, 0, 1, 10, "9x any major"},
        {1, 2, 3, 51, 1, 5, "NT 3.51"},
        {1, 2, 3, 0, anyType, 5, "NT 3.x server"},
        {1, 2, 4, 0, 1, 20, "NT 4.0"},
        {1, 2, 5, 0, anyType, 50, "2000"},
        {1, 2, 5, 1, 1, 60, "XP"},
        {1, 2, 5, 2, 1, 60, "XP x64"},
        {1, 2, 5, 2, anyType, 65, "Server 2003"},
        {1, 2, 5, 2, 0, 65, "failed second query on 5.2"},
        {1, 2, 5, 3, 1, 100, "5.x unlisted"},
        {1, 2, 6, 0, 1, 70, "Vista"},
        {1, 2, 6, 0, anyType, 75, "Server 2008"},
        {1, 2, 6, 1, 1, 80, "7"},
        {1, 2, 6, 1, 2, 75, "Server 2008 R2 (domain controller)"},
        {1, 2, 6, 2, 1, 100, "8"},
        {1, 2, 6, 3, 1, 100, "8.1"},
        {1, 2, 10, 0, 1, 100, "10"},
        {1, 2, 2, 0, 1, 100, "NT unlisted major"},
        {1, 0, 3, 10, 1, 100, "Win32s"},
        {1, 3, 6, 1, 1, 100, "CE"},
        {0, 2, 6, 1, 1, 100, "failed first query"},
    };
    for (const VersionCase& c : cases) {
        EXPECT_EQ(ClassifyOsVersion(c.queryOk, c.platform, c.major, c.minor, c.productType), c.code) << c.windows;
    }
}

TEST(OsVersion, CodesAbove60ChooseTheX86ProgramFilesFolder) {
    const int codes38[] = {5, 10, 20, 30, 40, 50, 60};
    const int codes42[] = {65, 70, 75, 80, 100};
    for (int code : codes38) {
        EXPECT_EQ(ProgramFilesFolderId(code), CSIDL_PROGRAM_FILES) << code;
    }
    for (int code : codes42) {
        EXPECT_EQ(ProgramFilesFolderId(code), CSIDL_PROGRAM_FILESX86) << code;
    }
}

TEST(OsVersion, TheRunningSystemGetsACodeOfTheTable) {
    const int known[] = {5, 10, 20, 30, 40, 50, 60, 65, 70, 75, 80, 100};
    int code = OsVersionCode();
    int found = 0;
    for (int value : known) {
        found |= value == code;
    }
    EXPECT_TRUE(found) << code;
}

TEST(SpecialFolder, DesktopPathHasNoTrailingBackslashAndLeavesTheBuilderClean) {
    int before = BuilderPosition();
    char* path = get_special_folder_path(CSIDL_DESKTOPDIRECTORY, -1);
    int length = TextLength(path);
    ASSERT_GT(length, 3);
    EXPECT_NE(path[length - 1], '\\');
    EXPECT_EQ(BuilderPosition(), before + length);
    EXPECT_NE(GetFileAttributesA(path), INVALID_FILE_ATTRIBUTES);
    RestorePosition(before);
}

TEST(SpecialFolder, AnUnknownFolderGivesTheEmptyText) {
    int before = BuilderPosition();
    char* path = get_special_folder_path(0x7F, -1);
    EXPECT_STREQ(path, "");
    EXPECT_EQ(BuilderPosition(), before);
}

TEST(Identity, StartUpTextsOfThisBuild) {
    set_identity_texts();
    EXPECT_STREQ(customer_line, " f\xFCr wendler sensorbau");
    EXPECT_STREQ(edition_prefix, "");
    EXPECT_STREQ(version_text, "V.23");
    EXPECT_STREQ(build_date_text, "24.10.2012");
    EXPECT_STREQ(executable_name, "Brindavel.exe");
    EXPECT_STREQ(product_label, "Software f\xFCr BrindaVel");

    // The default target: the program-files folder that the version code picks, + "\BrindaVel\".
    EXPECT_EQ(step_result, ProgramFilesFolderId(OsVersionCode()));
    char folder[MAX_PATH] = {};
    ASSERT_TRUE(SHGetSpecialFolderPathA(nullptr, folder, step_result, FALSE));
    char expected[MAX_PATH + 16];
    lstrcpyA(expected, folder);
    lstrcatA(expected, "\\BrindaVel\\");
    EXPECT_STREQ(target_path, expected);
}

TEST(Identity, GeometryPlacesTheButtonsSymmetrically) {
    set_geometry_constants();
    EXPECT_EQ(quit_state, 0);
    EXPECT_EQ(button_centre_x - button_width - button_half_gap, 119);
    EXPECT_EQ(button_centre_x + button_half_gap, 221);
    EXPECT_EQ(WINDOW_CLIENT_HEIGHT - button_height - button_bottom_margin, 111);
    EXPECT_EQ(button_width, 50);
    EXPECT_EQ(button_height, 24);
}

}  // namespace
