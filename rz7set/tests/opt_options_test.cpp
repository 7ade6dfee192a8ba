#include "rz7set/opt_options.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/host/host_text.h"

namespace {

struct Common {
  bool ok;
  const char* deb;
  const char* mac;
  const char* ext;
  const char* tab;
  std::string path;
  bool force;
};

TEST(OptCommonTest, ReadsSwitchesAndRefusesMalformedOnes) {
  const std::string sjis_path = "\\src\\" + host_utf8_to_cp932("ソース") + " dir";
  const struct {
    std::string text;
    Common want;
  } cases[] = {
      {"", {true, "512", "32", "C", "8", "", false}},
      {" \t ", {true, "512", "32", "C", "8", "", false}},
      {"-b1024,64 -ec -TAB4", {true, "1024", "64", "c", "4", "", false}},
      {"-B,64", {true, "512", "64", "C", "8", "", false}},
      {"-B2048", {true, "2048", "32", "C", "8", "", false}},
      {"-E -!", {true, "512", "32", "", "8", "", true}},
      {"-SD\"" + sjis_path + "\" -TAB2", {true, "512", "32", "C", "2", sjis_path, false}},
      {"-sd\\plain\\path", {true, "512", "32", "C", "8", "\\plain\\path", false}},
      {"-SD\"\\no end -TAB4", {true, "512", "32", "C", "8", "\\no end -TAB4", false}},  // no closing quote
      {"-EC -EH", {true, "512", "32", "H", "8", "", false}},  // a later switch replaces
      {"-tab4", {false, "512", "32", "C", "8", "", false}},   // "AB" in capitals only
      {"-SX", {false, "512", "32", "C", "8", "", false}},
      {"-Q", {false, "512", "32", "C", "8", "", false}},
      {"-", {false, "512", "32", "C", "8", "", false}},
      {"-!X", {false, "512", "32", "C", "8", "", true}},      // stray byte after a switch
      {"-EC\x82\xA0", {false, "512", "32", "C", "8", "", false}},  // a high byte ends the token
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    std::string deb = "x", mac = "x", ext = "x", tab = "x", path = "x";
    bool force = false;
    EXPECT_EQ(opt_parse_common(c.text, deb, mac, ext, tab, path, force), c.want.ok);
    EXPECT_EQ(deb, c.want.deb);
    EXPECT_EQ(mac, c.want.mac);
    EXPECT_EQ(ext, c.want.ext);
    EXPECT_EQ(tab, c.want.tab);
    EXPECT_EQ(path, c.want.path);
    EXPECT_EQ(force, c.want.force);
  }
}

TEST(OptCommonTest, BuildsInItsOrderWithThePathOnlyWhenGiven) {
  EXPECT_EQ(opt_build_common("4096", "64", "C", "8", "\\p q", true), " -B4096,64 -EC -TAB8 -! -SD\"\\p q\"");
  EXPECT_EQ(opt_build_common("512", "32", "C", "8", "", false), " -B512,32 -EC -TAB8");
  // What the user typed that could not be read back is left out, so the
  // project file stays readable.
  EXPECT_EQ(opt_build_common("1,2", "3 4", "C X", "8\x82\xA0", "a\"b", false), " -B1,3 -EC -TAB8 -SD\"ab\"");
  EXPECT_EQ(opt_build_common("1", "2\"x", "C", "8", "", false), " -B1,2 -EC -TAB8");
  // an empty tab width is no switch at all: "-TAB" alone stops the debugger
  EXPECT_EQ(opt_build_common("", "", "", "", "\"", false), " -B, -E");
}

// The whole text as the dialogs write it, read back family part first.
void expect_round_trip(OptSet set, const FamilyOptions& family, const CommonOptions& common) {
  std::string text = opt_family_build(set, family) + " " +
                     opt_build_common(common.deb_size, common.mac_size, common.ext, common.tab, common.src_path,
                                      common.force);
  SCOPED_TRACE(text);
  FamilyOptions f;
  CommonOptions c;
  ASSERT_TRUE(opt_family_parse(set, text, f));
  ASSERT_TRUE(opt_parse_common(text, c.deb_size, c.mac_size, c.ext, c.tab, c.src_path, c.force));
  EXPECT_EQ(f, family);
  EXPECT_EQ(c, common);
}

TEST(OptFamilyTest, EveryFamilyAndOptionReadsBackAsBuilt) {
  const CommonOptions commons[] = {
      {},
      {"4096", "64", "87", "4", "\\src dir\\x", true},  // extension "87" beside the 80x87 switch
      {"1", "2", "87X", "8", "", false},
      {"1", "2", "E87", "8", "a", false},
  };
  for (std::size_t s = 0; s < kOptSetCount; ++s) {
    const OptSet set = OptSet(s);
    SCOPED_TRACE(s);
    for (const CommonOptions& common : commons) {
      for (int deb = 0; deb < int(opt_compiler_items(set).size()); ++deb) {
        FamilyOptions f;
        f.deb_mode = deb;
        if (set == OptSet::Z80) {
          for (int step : {0, 1}) {
            f.step_mode = step;
            expect_round_trip(set, f, common);
          }
        } else if (set == OptSet::V86 || set == OptSet::I386) {
          for (int model = 0; model < 5; ++model)
            for (int cpu = 0; cpu < 3; ++cpu)
              for (int bits = 0; bits < 4; ++bits) {
                if (set == OptSet::I386 && (cpu != 2 || bits & 2)) continue;  // 386 has no CPU or multi-module
                f.model = model;
                f.cpu = cpu;
                f.c87 = bits & 1;
                f.multi = bits & 2;
                expect_round_trip(set, f, common);
              }
        } else {
          expect_round_trip(set, f, common);
        }
      }
    }
  }
}

TEST(OptFamilyTest, Z80DefaultText) {
  const std::string text = opt_z80_build(0, 0) + " " + opt_build_common("512", "32", "C", "8", "", false);
  EXPECT_EQ(text, " -SP -X  -B512,32 -EC -TAB8");
  EXPECT_EQ(opt_z80_build(1, 2), " -ST -XL3");
}

TEST(OptFamilyTest, ReadersOfGivenTexts) {
  const struct {
    OptSet set;
    const char* text;
    bool ok;
    FamilyOptions want;
    const char* left;  // the text after the family reader
  } cases[] = {
      {OptSet::Z80, "-st -xl3", true, {2, 1, 0, 2, false, false}, "        "},
      {OptSet::Z80, "-XLQ", false, {0, 0, 0, 2, false, false}, "-XLQ"},  // a stray byte after -XL
      {OptSet::Z80, "-XA", false, {0, 0, 0, 2, false, false}, "-XA"},
      {OptSet::Z80, "-SD\"a -SP b\" -SP", true, {0, 0, 0, 2, false, false}, "-SD\"a -SP b\"    "},
      {OptSet::V86, " -MS -V -M -E87 -XMSC", true, {5, 0, 0, 0, true, true}, "                     "},
      {OptSet::V86, "-MH -V55 -XBCC", true, {6, 0, 4, 1, false, false}, "              "},
      {OptSet::V86, "-V5", true, {0, 0, 0, 2, false, false}, "-V5"},      // left for the common reader
      {OptSet::V86, "-Xmsc", false, {0, 0, 0, 2, false, false}, "-Xmsc"},  // the rest of the code exactly
      {OptSet::V86, "-E87X", true, {0, 0, 0, 2, false, false}, "-E87X"},  // an extension, not 80x87
      {OptSet::I386, "-M", true, {0, 0, 0, 2, false, false}, "-M"},
      {OptSet::I386, " -SP -X", true, {0, 0, 0, 2, false, false}, " -SP   "},  // a Z80 text: -SP stays
      {OptSet::M68K, "-XM4", true, {3, 0, 0, 2, false, false}, "    "},
      {OptSet::VR, "-xcw", true, {4, 0, 0, 2, false, false}, "    "},
      {OptSet::H8, "-XH3", false, {0, 0, 0, 2, false, false}, "-XH3"},
      {OptSet::PPC, "-X", true, {0, 0, 0, 2, false, false}, "  "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    std::string text = c.text;
    FamilyOptions f;
    EXPECT_EQ(opt_family_parse(c.set, text, f), c.ok);
    EXPECT_EQ(f, c.want);
    EXPECT_EQ(text, c.left);
  }
}

TEST(OptFamilyTest, NoModelWritesNoBareModelSwitch) {
  EXPECT_EQ(opt_386_build(0, -1, false), " -X");
  EXPECT_EQ(opt_v86_build(0, 2, -1, false, false), " -X");
  EXPECT_EQ(opt_v86_build(1, 0, 0, true, true), " -MS -V -M -E87 -XM");
}

}  // namespace
