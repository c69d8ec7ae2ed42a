// Brindle.dll as built, read back: its export and import tables through the cross objdump,
// and the bytes of dialog template 129 against the control table the code is built from.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "dialog/dialog_template.h"
#include "dialog_resource.h"
#include "pe_image.h"

namespace brindle::pe {
namespace {

struct Build {
  const char* name;
  const char* dll;
  const char* objdump;
  const char* exportName;
  bool is64Bit;
};

const std::array<Build, 2> kBuilds = {{
    {"x64", BRINDLE_DLL_X64, BRINDLE_OBJDUMP_X64, "?SendHighScore@@YAHPEAGHHPEAUHWND__@@@Z", true},
    {"x86", BRINDLE_DLL_X86, BRINDLE_OBJDUMP_X86, "?SendHighScore@@YAHPAGHHPAUHWND__@@@Z", false},
}};

constexpr std::uint16_t kRtDialog = 5;
constexpr std::uint16_t kEnglishUs = 1033;

std::string Narrow(std::u16string_view text) {
  std::string out;
  for (char16_t c : text) {
    out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  }
  return out;
}

std::string Upper(std::u16string_view text) {
  std::string out = Narrow(text);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return out;
}

// The private headers of `objdump -p`, or empty when it cannot run.
std::string ObjdumpHeaders(const Build& build) {
  const std::string command = std::string(build.objdump) + " -p '" + build.dll + "' 2>&1";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  if (!pipe) {
    return {};
  }
  std::string output;
  std::array<char, 4096> chunk{};
  while (std::size_t n = std::fread(chunk.data(), 1, chunk.size(), pipe.get())) {
    output.append(chunk.data(), n);
  }
  return output;
}

// The lines after `heading` up to the next empty line.
std::vector<std::string> Block(const std::string& text, const std::string& heading) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  bool inside = false;
  while (std::getline(in, line)) {
    if (!inside) {
      inside = line.find(heading) != std::string::npos;
    } else if (line.empty()) {
      break;
    } else {
      lines.push_back(line);
    }
  }
  return lines;
}

void PrintTo(const Build& build, std::ostream* out) { *out << build.name << " " << build.dll; }

class DllReadBack : public ::testing::TestWithParam<Build> {
 protected:
  void SetUp() override {
    std::string error;
    image_ = PeImage::Load(GetParam().dll, error);
    ASSERT_TRUE(image_.has_value()) << error;
  }
  std::optional<PeImage> image_;
};

TEST_P(DllReadBack, IsBuiltForItsArchitecture) { EXPECT_EQ(image_->Is64Bit(), GetParam().is64Bit); }

// The 32-bit DLL, the one closest to the handheld build, stays within 64 KiB.
TEST(DllSize, ThirtyTwoBitDllFitsIn64KiB) {
  std::ifstream dll(BRINDLE_DLL_X86, std::ios::binary | std::ios::ate);
  ASSERT_TRUE(dll.good());
  EXPECT_LE(static_cast<std::streamoff>(dll.tellg()), 64 * 1024);
}

TEST_P(DllReadBack, ExportsOnlyTheDecoratedNameAtOrdinalOne) {
  const std::string headers = ObjdumpHeaders(GetParam());
  ASSERT_NE(headers.find("The Export Tables"), std::string::npos) << headers;
  const std::size_t start = headers.find("The Export Tables");
  const std::size_t end = headers.find("[Ordinal/Name Pointer] Table", start);
  ASSERT_NE(end, std::string::npos) << headers;
  const std::string joined = headers.substr(start, end - start);
  EXPECT_TRUE(std::regex_search(joined, std::regex(R"(Name\s+[0-9a-f]+ Brindle\.dll\n)")))
      << joined;
  EXPECT_TRUE(std::regex_search(joined, std::regex(R"(Ordinal Base\s+1\n)"))) << joined;
  EXPECT_TRUE(std::regex_search(joined, std::regex(R"(Export Address Table\s+00000001\n)")))
      << joined;
  EXPECT_TRUE(
      std::regex_search(joined, std::regex(R"(\[Name Pointer/Ordinal\] Table\s+00000001\n)")))
      << joined;

  const std::vector<std::string> addresses = Block(headers, "Export Address Table -- Ordinal Base");
  ASSERT_EQ(addresses.size(), 1U) << headers;
  EXPECT_NE(addresses[0].find("+base[   1]"), std::string::npos) << addresses[0];

  const std::vector<std::string> names = Block(headers, "[Ordinal/Name Pointer] Table");
  ASSERT_EQ(names.size(), 1U) << headers;
  EXPECT_EQ(names[0], std::string("\t[   0] ") + GetParam().exportName);
}

TEST_P(DllReadBack, ImportsSystemDllsOnly) {
  const std::string headers = ObjdumpHeaders(GetParam());
  std::vector<std::string> dlls;
  const std::regex dllName(R"(DLL Name: (\S+))");
  for (auto it = std::sregex_iterator(headers.begin(), headers.end(), dllName);
       it != std::sregex_iterator(); ++it) {
    std::string name = (*it)[1];
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    dlls.push_back(name);
  }
  ASSERT_FALSE(dlls.empty()) << headers;
  const std::vector<std::string> system = {"KERNEL32.DLL", "USER32.DLL", "MSVCRT.DLL"};
  for (const std::string& dll : dlls) {
    EXPECT_NE(std::find(system.begin(), system.end(), dll), system.end())
        << dll << " is not a system DLL";
  }
  EXPECT_NE(std::find(dlls.begin(), dlls.end(), "USER32.DLL"), dlls.end());
  EXPECT_NE(std::find(dlls.begin(), dlls.end(), "KERNEL32.DLL"), dlls.end());
}

TEST_P(DllReadBack, HoldsTemplate129InEnglishOnly) {
  const std::vector<Resource> found = image_->FindResources(kRtDialog, IDD_SENDHIGHSCORE);
  ASSERT_EQ(found.size(), 1U);
  EXPECT_EQ(found[0].language, kEnglishUs);
}

TEST_P(DllReadBack, Template129MatchesTheControlTable) {
  const std::vector<Resource> found = image_->FindResources(kRtDialog, IDD_SENDHIGHSCORE);
  ASSERT_EQ(found.size(), 1U);
  std::string error;
  const std::optional<DialogResource> dialog = ParseDialog(found[0].bytes, error);
  ASSERT_TRUE(dialog.has_value()) << error;

  const DialogTemplate& source = kHighscoreDialog;
  EXPECT_EQ(dialog->style, source.style);
  EXPECT_EQ(dialog->exStyle, 0U);
  EXPECT_EQ(dialog->x, source.x);
  EXPECT_EQ(dialog->y, source.y);
  EXPECT_EQ(dialog->cx, source.cx);
  EXPECT_EQ(dialog->cy, source.cy);
  EXPECT_TRUE(dialog->menu.empty());
  EXPECT_TRUE(dialog->className.empty());
  EXPECT_EQ(Narrow(dialog->title), Narrow(source.title));
  EXPECT_EQ(dialog->pointSize, source.pointSize);
  EXPECT_EQ(Narrow(dialog->font), Narrow(source.font));

  ASSERT_EQ(dialog->items.size(), source.controls.size());
  for (std::size_t i = 0; i < source.controls.size(); ++i) {
    const ControlTemplate& want = source.controls[i];
    const DialogItem& got = dialog->items[i];
    SCOPED_TRACE("control #" + std::to_string(i + 1) + " \"" + Narrow(want.text) + "\"");
    EXPECT_EQ(got.id, static_cast<std::uint16_t>(want.id));
    EXPECT_EQ(Upper(got.className), Upper(want.className));
    EXPECT_EQ(Narrow(got.text), Narrow(want.text));
    EXPECT_EQ(got.style, want.style) << std::hex << got.style << " vs " << want.style;
    EXPECT_EQ(got.exStyle, 0U);
    EXPECT_EQ(got.x, want.x);
    EXPECT_EQ(got.y, want.y);
    EXPECT_EQ(got.cx, want.cx);
    EXPECT_EQ(got.cy, want.cy);
    EXPECT_EQ(got.extraBytes, 0U);
  }
}

TEST_P(DllReadBack, TemplateReaderRefusesACutTemplate) {
  const std::vector<Resource> found = image_->FindResources(kRtDialog, IDD_SENDHIGHSCORE);
  ASSERT_EQ(found.size(), 1U);
  std::string error;
  for (std::size_t cut : {found[0].bytes.size() / 2, found[0].bytes.size() - 2}) {
    std::span<const std::uint8_t> part(found[0].bytes.data(), cut);
    EXPECT_FALSE(ParseDialog(part, error).has_value()) << cut;
  }
}

INSTANTIATE_TEST_SUITE_P(Brindle, DllReadBack, ::testing::ValuesIn(kBuilds),
                         [](const auto& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace brindle::pe
