// The registry script interpreter: its parser, and both directions against
// an in-memory registry.
#include "win/com/registrar_script.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>

namespace varnox::win {
namespace {

// Keys by full path ("HKCR\\a\\b"), each with its values.
class MemoryRegistry final : public RegistrarTarget {
 public:
  struct Value {
    bool dword = false;
    std::string text;
    std::uint32_t number = 0;
    bool operator==(const Value&) const = default;
  };
  using Values = std::map<std::string, Value>;

  static std::string Full(RegistryRoot root, const std::string& path) {
    static const char* const kRoots[] = {"HKCR", "HKCU", "HKLM", "HKU"};
    return std::string(kRoots[static_cast<int>(root)]) + "\\" + path;
  }

  HResult CreateKey(RegistryRoot root, const std::string& path) override {
    if (fail_create == path)
      return static_cast<HResult>(0x80070005u);  // access denied
    std::string full = Full(root, "");
    full.pop_back();
    std::stringstream parts(path);
    for (std::string part; std::getline(parts, part, '\\');) {
      full += "\\" + part;
      keys[full];
    }
    return kSOk;
  }
  bool KeyExists(RegistryRoot root, const std::string& path) override {
    return keys.count(Full(root, path)) != 0;
  }
  bool HasSubkeys(RegistryRoot root, const std::string& path) override {
    const std::string prefix = Full(root, path) + "\\";
    auto it = keys.lower_bound(prefix);
    return it != keys.end() && it->first.compare(0, prefix.size(), prefix) == 0;
  }
  HResult DeleteKey(RegistryRoot root, const std::string& path) override {
    if (HasSubkeys(root, path))
      return static_cast<HResult>(0x80070005u);
    return keys.erase(Full(root, path)) ? kSOk : static_cast<HResult>(0x80070002u);
  }
  HResult DeleteTree(RegistryRoot root, const std::string& path) override {
    const std::string full = Full(root, path);
    if (keys.erase(full) == 0)
      return static_cast<HResult>(0x80070002u);
    const std::string prefix = full + "\\";
    for (auto it = keys.lower_bound(prefix);
         it != keys.end() && it->first.compare(0, prefix.size(), prefix) == 0;) {
      it = keys.erase(it);
    }
    return kSOk;
  }
  HResult SetString(RegistryRoot root, const std::string& path, const std::string& name,
                    const std::string& text) override {
    return Set(root, path, name, Value{false, text, 0});
  }
  HResult SetDword(RegistryRoot root, const std::string& path, const std::string& name,
                   std::uint32_t number) override {
    return Set(root, path, name, Value{true, "", number});
  }
  HResult DeleteValue(RegistryRoot root, const std::string& path,
                      const std::string& name) override {
    auto key = keys.find(Full(root, path));
    if (key == keys.end() || key->second.erase(name) == 0)
      return static_cast<HResult>(0x80070002u);
    return kSOk;
  }

  std::map<std::string, Values> keys;
  std::string fail_create;

 private:
  HResult Set(RegistryRoot root, const std::string& path, const std::string& name, Value v) {
    auto key = keys.find(Full(root, path));
    if (key == keys.end())
      return static_cast<HResult>(0x80070002u);
    key->second[name] = std::move(v);
    return kSOk;
  }
};

MemoryRegistry::Value Str(std::string text) {
  return {false, std::move(text), 0};
}
MemoryRegistry::Value Dword(std::uint32_t n) {
  return {true, "", n};
}

RegistrarScript MustParse(std::string_view text,
                          const std::map<std::string, std::string>& replacements = {}) {
  RegistrarScript script;
  std::string error;
  EXPECT_TRUE(script.Parse(text, replacements, &error)) << error;
  return script;
}

TEST(RegistrarScriptTest, ParsesKeysValuesAndMarkings) {
  RegistrarScript script = MustParse(
      "HKCR\n{\n  NoRemove CLSID\n  {\n    ForceRemove {1-2} = s 'A ''quoted'' name'\n"
      "    {\n      'Programmable'\n      Inproc = s 'x'\n      {\n        val Threading = s "
      "'Apartment'\n        val Count = d 0x10\n      }\n    }\n  }\n}\n"
      "HKEY_CURRENT_USER { Software { val N = d 7 } }");
  ASSERT_EQ(script.roots().size(), 2u);
  EXPECT_EQ(script.roots()[0].root, RegistryRoot::kClassesRoot);
  EXPECT_EQ(script.roots()[1].root, RegistryRoot::kCurrentUser);
  const RegistrarKey& clsid = script.roots()[0].keys.at(0);
  EXPECT_EQ(clsid.name, "CLSID");
  EXPECT_EQ(clsid.marking, RegistrarKey::Marking::kNoRemove);
  const RegistrarKey& cls = clsid.subkeys.at(0);
  EXPECT_EQ(cls.name, "{1-2}");
  EXPECT_EQ(cls.marking, RegistrarKey::Marking::kForceRemove);
  ASSERT_TRUE(cls.has_default);
  EXPECT_EQ(cls.default_value.text, "A 'quoted' name");
  ASSERT_EQ(cls.subkeys.size(), 2u);
  EXPECT_EQ(cls.subkeys[0].name, "Programmable");
  EXPECT_FALSE(cls.subkeys[0].has_default);
  const RegistrarKey& inproc = cls.subkeys[1];
  ASSERT_EQ(inproc.values.size(), 2u);
  EXPECT_EQ(inproc.values[0].name, "Threading");
  EXPECT_EQ(inproc.values[0].text, "Apartment");
  EXPECT_EQ(inproc.values[1].type, RegistrarValue::Type::kDword);
  EXPECT_EQ(inproc.values[1].number, 16u);
  EXPECT_EQ(script.roots()[1].keys.at(0).values.at(0).number, 7u);
}

TEST(RegistrarScriptTest, ReplacementsDoubleTheirQuotes) {
  for (const std::string& module :
       {std::string("C:\\Program Files\\VarnoxMail.dll"), std::string("C:\\O'Brien\\x.dll"),
        std::string("''"), std::string("100% sure\\a.dll"), std::string()}) {
    RegistrarScript script =
        MustParse("HKCR { Key = s '%MODULE%' { val P = s '%%' } }", {{"MODULE", module}});
    const RegistrarKey& key = script.roots().at(0).keys.at(0);
    EXPECT_EQ(key.default_value.text, module) << "the path exactly, quotes and all";
    EXPECT_EQ(key.values.at(0).text, "%") << "%% is a percent sign";
  }
}

TEST(RegistrarScriptTest, RefusesBrokenScripts) {
  const char* const cases[] = {
      "HKCR {",                        // unclosed
      "HKXX { a }",                    // unknown root
      "'HKCR' { a }",                  // quoted root
      "HKCR { a = s 'unterminated }",  // unterminated string
      "HKCR { a = x 'y' }",            // unknown type
      "HKCR { a = d 'twelve' }",       // not a number
      "HKCR { a = d 4294967296 }",     // too big
      "HKCR { a = s }",                // value missing
      "HKCR { = s 'x' }",              // name missing
      "HKCR { a { val = s 'x' } }",    // value name missing
      "HKCR { Delete a }",             // unsupported marking
      "HKCR { a = s '%NOPE%' }",       // unknown replacement
      "HKCR { a = s '50% }",           // unmatched percent
      "HKCR a",                        // no block
  };
  for (const char* text : cases) {
    RegistrarScript script;
    std::string error;
    EXPECT_FALSE(script.Parse(text, {}, &error)) << text;
    EXPECT_FALSE(error.empty()) << text;
    EXPECT_TRUE(script.roots().empty()) << text;
  }
  std::string deep = "HKCR {";
  for (int i = 0; i < 100; ++i)
    deep += " k {";
  for (int i = 0; i < 100; ++i)
    deep += " }";
  deep += " }";
  RegistrarScript script;
  std::string error;
  EXPECT_FALSE(script.Parse(deep, {}, &error)) << "nesting is bounded";
}

constexpr char kScript[] =
    "HKCR {\n"
    "  App.Thing.1 = s 'Thing' { CLSID = s '{C}' }\n"
    "  NoRemove CLSID {\n"
    "    ForceRemove {C} = s 'Thing' {\n"
    "      ForceRemove 'Programmable'\n"
    "      InprocServer32 = s '%MODULE%' { val ThreadingModel = s 'Apartment' }\n"
    "    }\n"
    "  }\n"
    "}\n"
    "HKCU { NoRemove Software { Addins { App.Thing {\n"
    "  val LoadBehavior = d 3\n"
    "  val RequireShutdownNotification = d 1\n"
    "} } } }\n";

TEST(RegistrarScriptTest, RegistersEveryKeyAndValue) {
  MemoryRegistry registry;
  RegistrarScript script = MustParse(kScript, {{"MODULE", "C:\\a'b\\x.dll"}});
  ASSERT_EQ(script.Register(registry), kSOk);
  const std::map<std::string, MemoryRegistry::Values> expected = {
      {"HKCR\\App.Thing.1", {{"", Str("Thing")}}},
      {"HKCR\\App.Thing.1\\CLSID", {{"", Str("{C}")}}},
      {"HKCR\\CLSID", {}},
      {"HKCR\\CLSID\\{C}", {{"", Str("Thing")}}},
      {"HKCR\\CLSID\\{C}\\Programmable", {}},
      {"HKCR\\CLSID\\{C}\\InprocServer32",
       {{"", Str("C:\\a'b\\x.dll")}, {"ThreadingModel", Str("Apartment")}}},
      {"HKCU\\Software", {}},
      {"HKCU\\Software\\Addins", {}},
      {"HKCU\\Software\\Addins\\App.Thing",
       {{"LoadBehavior", Dword(3)}, {"RequireShutdownNotification", Dword(1)}}},
  };
  EXPECT_EQ(registry.keys, expected);
}

TEST(RegistrarScriptTest, ForceRemoveClearsOldContentsOnRegister) {
  MemoryRegistry registry;
  registry.CreateKey(RegistryRoot::kClassesRoot, "CLSID\\{C}\\Stale\\Deeper");
  registry.SetString(RegistryRoot::kClassesRoot, "CLSID\\{C}", "Old", "x");
  registry.CreateKey(RegistryRoot::kClassesRoot, "CLSID\\{Other}");
  RegistrarScript script = MustParse(kScript, {{"MODULE", "m"}});
  ASSERT_EQ(script.Register(registry), kSOk);
  EXPECT_FALSE(registry.KeyExists(RegistryRoot::kClassesRoot, "CLSID\\{C}\\Stale"));
  EXPECT_EQ(registry.keys["HKCR\\CLSID\\{C}"].count("Old"), 0u);
  EXPECT_TRUE(registry.KeyExists(RegistryRoot::kClassesRoot, "CLSID\\{Other}"));
}

TEST(RegistrarScriptTest, UnregisterRemovesOwnKeysAndKeepsSharedOnes) {
  struct Case {
    const char* what;
    bool other_addin;
    bool addins_kept;
  };
  for (const Case& c :
       {Case{"another add-in listed", true, true}, Case{"no other add-in", false, false}}) {
    MemoryRegistry registry;
    registry.CreateKey(RegistryRoot::kClassesRoot, "CLSID\\{Other}");
    registry.CreateKey(RegistryRoot::kCurrentUser, "Software\\Vendor");
    if (c.other_addin)
      registry.CreateKey(RegistryRoot::kCurrentUser, "Software\\Addins\\Other.Addin");
    RegistrarScript script = MustParse(kScript, {{"MODULE", "m"}});
    ASSERT_EQ(script.Register(registry), kSOk);
    registry.CreateKey(RegistryRoot::kClassesRoot, "CLSID\\{C}\\Added\\Later");
    ASSERT_EQ(script.Unregister(registry), kSOk) << c.what;

    std::set<std::string> left;
    for (const auto& [path, values] : registry.keys)
      left.insert(path);
    std::set<std::string> expected = {"HKCR\\CLSID", "HKCR\\CLSID\\{Other}", "HKCU\\Software",
                                      "HKCU\\Software\\Vendor"};
    if (c.addins_kept) {
      expected.insert("HKCU\\Software\\Addins");
      expected.insert("HKCU\\Software\\Addins\\Other.Addin");
    }
    EXPECT_EQ(left, expected) << c.what;
  }
}

TEST(RegistrarScriptTest, KeysThatStayLoseOnlyTheScriptsValues) {
  MemoryRegistry registry;
  RegistrarScript script = MustParse(kScript, {{"MODULE", "m"}});
  ASSERT_EQ(script.Register(registry), kSOk);
  // Something else put a subkey and a value of its own under our add-in key.
  registry.CreateKey(RegistryRoot::kCurrentUser, "Software\\Addins\\App.Thing\\Theirs");
  registry.SetString(RegistryRoot::kCurrentUser, "Software\\Addins\\App.Thing", "Mine", "x");
  ASSERT_EQ(script.Unregister(registry), kSOk);
  const MemoryRegistry::Values expected = {{"Mine", Str("x")}};
  EXPECT_EQ(registry.keys["HKCU\\Software\\Addins\\App.Thing"], expected);
}

TEST(RegistrarScriptTest, UnregisterTwiceAndUnregisterNothingSucceed) {
  MemoryRegistry registry;
  RegistrarScript script = MustParse(kScript, {{"MODULE", "m"}});
  EXPECT_EQ(script.Unregister(registry), kSOk);
  EXPECT_TRUE(registry.keys.empty());
  ASSERT_EQ(script.Register(registry), kSOk);
  ASSERT_EQ(script.Unregister(registry), kSOk);
  EXPECT_EQ(script.Unregister(registry), kSOk);
}

TEST(RegistrarScriptTest, RegisterStopsAtTheFirstFailure) {
  MemoryRegistry registry;
  registry.fail_create = "CLSID\\{C}";
  RegistrarScript script = MustParse(kScript, {{"MODULE", "m"}});
  EXPECT_EQ(script.Register(registry), static_cast<HResult>(0x80070005u));
  EXPECT_TRUE(registry.KeyExists(RegistryRoot::kClassesRoot, "App.Thing.1"));
  EXPECT_FALSE(registry.KeyExists(RegistryRoot::kCurrentUser, "Software")) << "not reached";
}

// The module's own script parses, and registers exactly the add-in's table.
TEST(RegistrarScriptTest, TheModulesScriptGivesTheAddinTable) {
  std::ifstream file(VARNOX_RESOURCES_DIR "/VarnoxMail.rgs", std::ios::binary);
  ASSERT_TRUE(file) << VARNOX_RESOURCES_DIR;
  std::stringstream text;
  text << file.rdbuf();
  RegistrarScript script = MustParse(text.str(), {{"MODULE", "C:\\O'Hara\\VarnoxMail.dll"}});
  MemoryRegistry registry;
  ASSERT_EQ(script.Register(registry), kSOk);
  const std::string cls = "HKCR\\CLSID\\{A76A29A2-98E5-4EEB-9B7C-FE8F35AF0FF9}";
  const std::string addin =
      "HKCU\\Software\\Microsoft\\Office\\Outlook\\Addins\\VarnoxMail.VNXAddin";
  const std::map<std::string, MemoryRegistry::Values> expected = {
      {"HKCR\\VarnoxMail.VNXAddin.1", {{"", Str("VNXAddin Class")}}},
      {"HKCR\\VarnoxMail.VNXAddin.1\\CLSID", {{"", Str("{A76A29A2-98E5-4EEB-9B7C-FE8F35AF0FF9}")}}},
      {"HKCR\\VarnoxMail.VNXAddin", {{"", Str("VNXAddin Class")}}},
      {"HKCR\\VarnoxMail.VNXAddin\\CLSID", {{"", Str("{A76A29A2-98E5-4EEB-9B7C-FE8F35AF0FF9}")}}},
      {"HKCR\\VarnoxMail.VNXAddin\\CurVer", {{"", Str("VarnoxMail.VNXAddin.1")}}},
      {"HKCR\\CLSID", {}},
      {cls, {{"", Str("VNXAddin Class")}}},
      {cls + "\\ProgID", {{"", Str("VarnoxMail.VNXAddin.1")}}},
      {cls + "\\VersionIndependentProgID", {{"", Str("VarnoxMail.VNXAddin")}}},
      {cls + "\\Programmable", {}},
      {cls + "\\InprocServer32",
       {{"", Str("C:\\O'Hara\\VarnoxMail.dll")}, {"ThreadingModel", Str("Apartment")}}},
      {cls + "\\TypeLib", {{"", Str("{9AEE4E8A-B0FF-4D99-B681-D6B7EA1DD246}")}}},
      {"HKCU\\Software", {}},
      {"HKCU\\Software\\Microsoft", {}},
      {"HKCU\\Software\\Microsoft\\Office", {}},
      {"HKCU\\Software\\Microsoft\\Office\\Outlook", {}},
      {"HKCU\\Software\\Microsoft\\Office\\Outlook\\Addins", {}},
      {addin,
       {{"FriendlyName", Str("VarnoxMail")},
        {"Description", Str("VarnoxMail")},
        {"LoadBehavior", Dword(3)},
        {"CommandLineSafe", Dword(0)},
        {"RequireShutdownNotification", Dword(1)}}},
  };
  EXPECT_EQ(registry.keys, expected);
  ASSERT_EQ(script.Unregister(registry), kSOk);
  std::set<std::string> left;
  for (const auto& [path, values] : registry.keys)
    left.insert(path);
  EXPECT_EQ(left,
            (std::set<std::string>{"HKCR\\CLSID", "HKCU\\Software", "HKCU\\Software\\Microsoft",
                                   "HKCU\\Software\\Microsoft\\Office",
                                   "HKCU\\Software\\Microsoft\\Office\\Outlook"}));
}

}  // namespace
}  // namespace varnox::win
