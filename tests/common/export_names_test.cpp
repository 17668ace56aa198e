#include "export_names.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string default_name(std::string text, SmdNameRule rule) {
    smd_default_name(text.data(), rule);
    return text;
}

TEST(ExportNames, GroupByValuesAreThePanelsItemMeanings) {
    EXPECT_EQ(GROUP_BY_UV_MAP, 0);
    EXPECT_EQ(GROUP_BY_SURFACE, 1);
    EXPECT_EQ(GROUP_BY_TEXTURE, 2);
}

TEST(ExportNames, UnderscoreMaterialReplacesWhatWouldBreakTheToken) {
    char text[] = " Skin Mat  2\tx ";
    underscore_material(text);
    EXPECT_STREQ(text, "_Skin_Mat__2_x_");

    std::string name = "UV map one";
    underscore_material(name);
    EXPECT_EQ(name, "UV_map_one");

    // Quotes and control characters (DEL included) would end the line or a
    // reader's token; bytes above 127 are someone's letters and stay.
    std::string hostile = "a\"b\nc\rd\x01" "e\x7f" "f\xc3\xa9g";
    underscore_material(hostile);
    EXPECT_EQ(hostile, "a_b_c_d_e_f\xc3\xa9g");

    char empty[] = "";
    underscore_material(empty);
    EXPECT_STREQ(empty, "");
    underscore_material(static_cast<char*>(nullptr));  // must not crash
}

TEST(ExportNames, DefaultNameReferenceRuleFallsBackToUpperCase) {
    EXPECT_EQ(default_name("C:/models/ship.lwo", SMD_NAME_LOWER_OR_UPPER), "C:/models/ship.smd");
    EXPECT_EQ(default_name("C:/MODELS/SHIP.LWO", SMD_NAME_LOWER_OR_UPPER), "C:/MODELS/SHIP.smd");
    // The first lower-case occurrence wins, even inside a folder name, and an
    // upper-case one is not touched while a lower-case one exists.
    EXPECT_EQ(default_name("C:/lwo/ship.LWO", SMD_NAME_LOWER_OR_UPPER), "C:/smd/ship.LWO");
    EXPECT_EQ(default_name("C:/LWO/ship.lwo", SMD_NAME_LOWER_OR_UPPER), "C:/LWO/ship.smd");
    EXPECT_EQ(default_name("lwowl.lwo", SMD_NAME_LOWER_OR_UPPER), "smdwl.lwo");
    EXPECT_EQ(default_name("ship.obj", SMD_NAME_LOWER_OR_UPPER), "ship.obj");
    EXPECT_EQ(default_name("", SMD_NAME_LOWER_OR_UPPER), "");
    EXPECT_EQ(default_name("Lwo.lWo", SMD_NAME_LOWER_OR_UPPER), "Lwo.lWo");
}

TEST(ExportNames, DefaultNameStaticRuleReplacesLowerCaseOnly) {
    EXPECT_EQ(default_name("ship.lwo", SMD_NAME_LOWER_ONLY), "ship.smd");
    EXPECT_EQ(default_name("lwowl.lwo", SMD_NAME_LOWER_ONLY), "smdwl.lwo");
    EXPECT_EQ(default_name("SHIP.LWO", SMD_NAME_LOWER_ONLY), "SHIP.LWO");
    EXPECT_EQ(default_name("", SMD_NAME_LOWER_ONLY), "");
}

TEST(ExportNames, DefaultNameReportsWhetherItReplaced) {
    char changed[] = "a.LWO";
    EXPECT_EQ(smd_default_name(changed, SMD_NAME_LOWER_OR_UPPER), 1);
    char unchanged[] = "a.LWO";
    EXPECT_EQ(smd_default_name(unchanged, SMD_NAME_LOWER_ONLY), 0);
    EXPECT_EQ(smd_default_name(nullptr, SMD_NAME_LOWER_OR_UPPER), 0);
}

}  // namespace
