// The folders of the media layer and the widgets follow their build targets: a file
// includes only headers of its own folder and of the folders whose targets its target
// links (directly or through others), read from the folders' CMakeLists.txt. So a lower
// layer (base, binding) never includes a higher one (common, engine...), and the media
// layer never includes a Qt header.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>

#include "../TempDir.h"

namespace {

namespace fs = std::filesystem;

// "media/engine" for any file below that folder; empty outside media/ and widgets/.
std::string FolderOf(const fs::path& relative) {
  auto it = relative.begin();
  if (it == relative.end()) return {};
  const std::string top = it->string();
  if (top != "media" && top != "widgets") return {};
  if (++it == relative.end()) return {};
  auto next = it;
  if (++next == relative.end()) return {};  // a file directly under media/
  return top + "/" + it->string();
}

// Each layered folder and the folders it may include from, itself included.
std::map<std::string, std::set<std::string>> AllowedFolders(const fs::path& root) {
  std::map<std::string, std::string> folderOfTarget;
  std::map<std::string, std::set<std::string>> linkedTargets;
  const std::regex library(R"(add_library\(\s*(sw_\w+))");
  const std::regex links(R"(target_link_libraries\(\s*(sw_\w+)([^)]*)\))");
  const std::regex target(R"(\bsw_\w+)");
  for (const char* top : {"media", "widgets"}) {
    if (!fs::is_directory(root / top)) continue;
    for (const auto& dir : fs::directory_iterator(root / top)) {
      const fs::path cmake = dir.path() / "CMakeLists.txt";
      if (!fs::exists(cmake)) continue;
      const std::string folder = std::string(top) + "/" + dir.path().filename().string();
      linkedTargets[folder];
      const std::string text = FileContent(cmake.string());
      for (std::sregex_iterator m(text.begin(), text.end(), library), none; m != none; ++m)
        folderOfTarget[(*m)[1]] = folder;
      for (std::sregex_iterator m(text.begin(), text.end(), links), none; m != none; ++m) {
        const std::string list = (*m)[2];
        for (std::sregex_iterator t(list.begin(), list.end(), target); t != none; ++t)
          linkedTargets[folder].insert(t->str());
      }
    }
  }
  std::map<std::string, std::set<std::string>> direct;
  for (const auto& [folder, targets] : linkedTargets)
    for (const auto& t : targets)
      if (folderOfTarget.count(t)) direct[folder].insert(folderOfTarget[t]);
  std::map<std::string, std::set<std::string>> allowed;
  for (const auto& [folder, unused] : linkedTargets) {
    std::set<std::string>& reach = allowed[folder];
    std::vector<std::string> todo{folder};
    while (!todo.empty()) {
      const std::string f = todo.back();
      todo.pop_back();
      if (!reach.insert(f).second) continue;
      for (const auto& d : direct[f]) todo.push_back(d);
    }
  }
  return allowed;
}

// "file:line includes X (folder Y)" for every include that runs against the layers.
std::vector<std::string> LayerViolations(const fs::path& root) {
  const auto allowed = AllowedFolders(root);
  const std::regex quoted(R"re(^\s*#\s*include\s*"([^"]+)")re");
  const std::regex qt(R"(^\s*#\s*include\s*<(Q[A-Za-z]*|Qt[A-Za-z]*/[^>]*)>)");
  std::vector<std::string> found;
  for (const char* top : {"media", "widgets"}) {
    if (!fs::is_directory(root / top)) continue;
    for (const auto& e : fs::recursive_directory_iterator(root / top)) {
      const std::string ext = e.path().extension().string();
      if (ext != ".h" && ext != ".cpp" && ext != ".c") continue;
      const fs::path relative = fs::relative(e.path(), root);
      const std::string folder = FolderOf(relative);
      if (!allowed.count(folder)) continue;
      std::ifstream in(e.path());
      std::string line;
      for (int n = 1; std::getline(in, line); ++n) {
        const std::string where = relative.string() + ":" + std::to_string(n) + " includes ";
        std::smatch m;
        if (std::regex_search(line, m, qt) && std::string(top) == "media") found.push_back(where + m[1].str() + " (Qt)");
        if (!std::regex_search(line, m, quoted)) continue;
        // A name is looked up beside the file first, then from the source root.
        fs::path target = (e.path().parent_path() / m[1].str()).lexically_normal();
        if (!fs::exists(target)) target = (root / m[1].str()).lexically_normal();
        const std::string to = FolderOf(fs::relative(target, root));
        if (to == folder) continue;
        if (to.empty() || !allowed.at(folder).count(to))
          found.push_back(where + m[1].str() + " (" + (to.empty() ? "outside the layers" : to) + ")");
      }
    }
  }
  return found;
}

void Write(const fs::path& p, const std::string& text) {
  fs::create_directories(p.parent_path());
  std::ofstream(p) << text;
}

}  // namespace

TEST(Layers, NoIncludeRunsAgainstTheTargetsLinks) {
  const fs::path root = SNIPWAVE_SOURCE_DIR;
  const auto allowed = AllowedFolders(root);
  // The table is read from the build files: the two lowest layers must be in it.
  ASSERT_TRUE(allowed.count("media/base"));
  ASSERT_TRUE(allowed.count("media/binding"));
  EXPECT_EQ(allowed.at("media/base"), std::set<std::string>{"media/base"});
  EXPECT_EQ(allowed.at("media/binding"), (std::set<std::string>{"media/base", "media/binding"}));
  std::string list;
  for (const auto& v : LayerViolations(root)) list += v + "\n";
  EXPECT_EQ(list, "");
}

TEST(Layers, UpwardIncludesQtHeadersAndUnlinkedSiblingsAreNamed) {
  TTempDir dir;
  const fs::path root = dir.Path();
  Write(root / "media/base/CMakeLists.txt", "add_library(sw_base STATIC A.cpp)\n");
  Write(root / "media/binding/CMakeLists.txt",
        "add_library(sw_binding STATIC B.cpp)\ntarget_link_libraries(sw_binding PUBLIC media_headers sw_base)\n");
  Write(root / "media/mp3/CMakeLists.txt", "add_library(sw_mp3 STATIC M.cpp)\ntarget_link_libraries(sw_mp3 PUBLIC\n  sw_base)\n");
  Write(root / "media/common/CMakeLists.txt", "add_library(sw_common STATIC C.cpp)\ntarget_link_libraries(sw_common PUBLIC sw_binding)\n");
  Write(root / "media/common/C.h", "#pragma once\n");
  Write(root / "media/binding/B.h", "#pragma once\n");
  Write(root / "media/mp3/M.h", "#pragma once\n");
  Write(root / "media/base/A.h", "#pragma once\n");
  // Allowed: own folder (bare and rooted), a linked folder, one reached through another.
  Write(root / "media/common/C.cpp", "#include \"C.h\"\n#include \"media/binding/B.h\"\n#include \"../base/A.h\"\n");
  // Not allowed: base upward (relative path), binding to a sibling it does not link, Qt.
  Write(root / "media/base/A.cpp", "#include \"A.h\"\n#include \"../common/C.h\"\n");
  Write(root / "media/binding/B.cpp", "#include \"B.h\"\n#include \"media/mp3/M.h\"\n#include <QString>\n");
  Write(root / "media/mp3/M.cpp", "  #  include \"app/Main.h\"\n");
  const auto found = LayerViolations(root);
  const std::set<std::string> got(found.begin(), found.end());
  EXPECT_EQ(got, (std::set<std::string>{
                     "media/base/A.cpp:2 includes ../common/C.h (media/common)",
                     "media/binding/B.cpp:2 includes media/mp3/M.h (media/mp3)",
                     "media/binding/B.cpp:3 includes QString (Qt)",
                     "media/mp3/M.cpp:1 includes app/Main.h (outside the layers)",
                 }));
}
