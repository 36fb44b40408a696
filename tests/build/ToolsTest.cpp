// Every program that a script or a test runs comes from a Debian package that
// scripts/install-deps.sh installs (or that every Debian system has: essential and
// required packages and what they depend on), or its call is guarded with command -v.
// The calls are read from the shell scripts and from the command texts of the tests'
// RunProgram, system, popen and QProcess calls; the packages from the dpkg database.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "../RunProgram.h"

namespace {

namespace fs = std::filesystem;

struct TCall {
  std::string Command;
  int Line;
};

// The words of a shell text that stand where a command is run. Quoted or $-words (a
// variable's program) and relative paths (our own programs) are left out; a function
// the text defines is not a call.
class TShellCalls {
 public:
  explicit TShellCalls(std::string text) : FText(std::move(text)) {
    Lex(0);
    // Programs that CMake is told to run: compilers and their launchers.
    const std::regex given("-DCMAKE_\\w*(COMPILER|LAUNCHER)=([\\w.+-]+)");
    for (std::sregex_iterator m(FText.begin(), FText.end(), given), none; m != none; ++m)
      FCalls.push_back({(*m)[2], 1 + static_cast<int>(std::count(FText.begin(), FText.begin() + m->position(), '\n'))});
    std::erase_if(FCalls, [this](const TCall& c) { return FFunctions.count(c.Command) > 0; });
    std::stable_sort(FCalls.begin(), FCalls.end(), [](const TCall& a, const TCall& b) { return a.Line < b.Line; });
  }
  std::vector<TCall> Calls() const { return FCalls; }

 private:
  static bool WordChar(char c) {
    return c && !std::isspace(static_cast<unsigned char>(c)) && !std::strchr(";&|()<>", c);
  }
  static bool Assignment(const std::string& w) { return std::regex_search(w, std::regex("^[A-Za-z_][A-Za-z0-9_]*(\\[[^]]*\\])?\\+?=")); }

  char At(std::size_t i) const { return i < FText.size() ? FText[i] : '\0'; }
  // Skips to the character after the matching close of an open already passed.
  std::size_t Skip(std::size_t i, char open, char close) const {
    for (int depth = 1; i < FText.size() && depth > 0; ++i) {
      if (FText[i] == '\n') ++FLine;
      depth += FText[i] == open ? 1 : FText[i] == close ? -1 : 0;
    }
    return i;
  }
  // A word from i: quotes and substitutions inside it are taken whole.
  std::size_t Word(std::size_t i, std::string& word) {
    word.clear();
    while (i < FText.size() && WordChar(FText[i])) {
      const char c = FText[i];
      if (c == '\\') {
        word += At(i + 1);
        i += 2;
      } else if (c == '\'') {
        const std::size_t end = FText.find('\'', i + 1);
        word += FText.substr(i, end - i + 1);
        i = end == std::string::npos ? FText.size() : end + 1;
      } else if (c == '"') {
        word += '"';
        i = DoubleQuoted(i + 1);
      } else if (c == '$' && At(i + 1) == '(') {
        word += '$';
        i = At(i + 2) == '(' ? Skip(i + 3, '(', ')') + 1 : Lex(i + 2, ')');
      } else if (c == '`') {
        word += '$';
        i = Lex(i + 1, '`');
      } else {
        word += c;
        ++i;
      }
    }
    return i;
  }
  std::size_t DoubleQuoted(std::size_t i) {
    while (i < FText.size() && FText[i] != '"') {
      if (FText[i] == '\\') ++i;
      else if (FText[i] == '$' && At(i + 1) == '(' && At(i + 2) != '(') i = Lex(i + 2, ')') - 1;
      else if (FText[i] == '`') i = Lex(i + 1, '`') - 1;
      else if (FText[i] == '\n') ++FLine;
      ++i;
    }
    return i + 1;
  }

  // Lexes until the unmatched end character (none: the end of the text); answers the
  // index after it.
  std::size_t Lex(std::size_t i, char end = '\0') {
    bool command = true, runner = false, skipValue = false, test = false;
    std::string heredoc;
    while (i < FText.size()) {
      const char c = FText[i];
      if (end && c == end) return i + 1;
      if (c == '\n') {
        ++FLine, ++i;
        command = true, runner = false, test = false;
        if (!heredoc.empty()) {  // its lines are text, not commands
          for (std::string line; i < FText.size();) {
            const std::size_t next = std::min(FText.find('\n', i), FText.size());
            line = FText.substr(i, next - i);
            i = next + 1, ++FLine;
            if (std::regex_replace(line, std::regex("^\\s+"), "") == heredoc) break;
          }
          heredoc.clear();
        }
      } else if (c == '\\' && At(i + 1) == '\n') {
        i += 2, ++FLine;
      } else if (std::isspace(static_cast<unsigned char>(c))) {
        ++i;
      } else if (c == '#') {
        i = std::min(FText.find('\n', i), FText.size());
      } else if (c == ';' || c == '|' || (c == '&' && At(i + 1) != '>')) {
        command = true, runner = false, ++i;
      } else if (c == '(' && At(i + 1) == '(') {
        i = Skip(i + 2, '(', ')') + 1;  // arithmetic
        command = false;
      } else if (c == '(') {
        i = Lex(i + 1, ')');
        command = false;
      } else if (c == ')') {
        command = true, ++i;  // the end of a case pattern
      } else if (c == '<' || c == '>' || c == '&') {
        std::size_t j = i + 1;
        while (At(j) && std::strchr("<>&|-", At(j))) ++j;
        const std::string op = FText.substr(i, j - i);
        if ((op == "<" || op == ">") && At(j) == '(') {
          i = Lex(j + 1, ')');
          continue;
        }
        while (At(j) == ' ') ++j;
        std::string target;
        i = Word(j, target);
        if (op.rfind("<<", 0) == 0 && op != "<<<") heredoc = std::regex_replace(target, std::regex("[\"'\\\\]"), "");
      } else {
        std::string w;
        i = Word(i, w);
        if (test) {
          test = w != "]]";
          continue;
        }
        if (!command) continue;
        if (runner && (w[0] == '-' || std::isdigit(static_cast<unsigned char>(w[0])) || skipValue)) {
          skipValue = w == "-n" || w == "-s" || w == "-k";
          continue;
        }
        runner = false;
        if (Assignment(w)) {
          if (At(i) == '(') i = Skip(i + 1, '(', ')');  // an array's values
          continue;
        }
        static const std::set<std::string> keepsCommand{"if", "then", "else", "elif", "do", "while", "until", "!", "{", "time"};
        if (keepsCommand.count(w)) continue;
        command = false;
        static const std::set<std::string> noCommand{"fi", "done", "esac", "}", "for", "case", "select", "in"};
        if (noCommand.count(w)) continue;
        if (w == "[[") test = true;
        if (w == "function") {
          i = Word(i + 1, w);
          FFunctions.insert(w);
          command = true;
          continue;
        }
        std::size_t k = i;
        while (At(k) == ' ') ++k;
        if (At(k) == '(' && At(k + 1) == ')') {  // name() { ... }
          FFunctions.insert(w);
          i = k + 2;
          command = true;
          continue;
        }
        // Variables, quoted names, patterns and our own programs (relative paths).
        if (!std::regex_match(w, std::regex("[A-Za-z0-9_/.][A-Za-z0-9_/.+-]*")) ||
            (w.find('/') != std::string::npos && w[0] != '/'))
          continue;
        if (w == "command" || w == "type" || w == "hash") {
          std::string next;
          Word(k, next);
          if (next == "-v" || next == "-V") continue;  // a question, not a call
        }
        FCalls.push_back({w, FLine});
        static const std::set<std::string> runners{"exec", "nice", "sudo", "timeout", "env", "xargs", "xvfb-run",
                                                   "setpriv", "command", "builtin", "nohup", "stdbuf"};
        if (runners.count(w)) command = runner = true, skipValue = false;
      }
    }
    return i;
  }

  std::string FText;
  mutable int FLine = 1;
  std::vector<TCall> FCalls;
  std::set<std::string> FFunctions;
};

// The text of a C++ string-literal expression ("a " + x + " b"), with "$X" where a value
// is not a literal.
std::string LiteralText(const std::string& expression) {
  std::string text;
  bool literal = false, placeholder = false;
  std::size_t run = 0;  // where the placeholder of the current run went
  for (std::size_t i = 0; i < expression.size(); ++i) {
    const char c = expression[i];
    if (literal) {
      if (c == '"') literal = false;
      else if (c == '\\' && i + 1 < expression.size()) text += expression[++i] == 'n' ? '\n' : expression[i];
      else text += c;
    } else if (c == '"') {
      literal = true, placeholder = false;
    } else if (c == ',' || c == '{') {
      text += ' ';  // separate arguments of a program
    } else if (c == '?') {
      text.resize(run);  // a condition: the value is one of the literals after it
    } else if ((std::isalnum(static_cast<unsigned char>(c)) || c == '_') && !placeholder) {
      run = text.size();
      text += "$X", placeholder = true;
    }
  }
  return text;
}

// The source with the insides of its string literals blanked, so that what is looked for
// in it is code; positions stay those of the source.
std::string CodeOnly(std::string source) {
  bool literal = false;
  for (std::size_t i = 0; i < source.size(); ++i) {
    if (!literal) {
      literal = source[i] == '"' && (i == 0 || source[i - 1] != '\'');
    } else if (source[i] == '\\') {
      source[i] = source[i + 1] = ' ';
      ++i;
    } else if (source[i] == '"') {
      literal = false;
    } else if (source[i] != '\n') {
      source[i] = ' ';
    }
  }
  return source;
}

// The argument of a call whose '(' is at open, up to its matching ')'.
std::string Argument(const std::string& text, std::size_t open) {
  int depth = 0;
  bool literal = false;
  for (std::size_t i = open; i < text.size(); ++i) {
    if (literal) {
      if (text[i] == '\\') ++i;
      else if (text[i] == '"') literal = false;
    } else if (text[i] == '"') {
      literal = true;
    } else if (text[i] == '(') {
      ++depth;
    } else if (text[i] == ')' && --depth == 0) {
      return text.substr(open + 1, i - open - 1);
    }
  }
  return {};
}

// The command texts a C++ test runs: the arguments of its RunProgram, system, popen and
// QProcess start calls, with the return values of the file's helpers and the values of
// its variables that those arguments use.
std::vector<std::string> CppCommandTexts(const std::string& source) {
  const std::string code = CodeOnly(source);
  // The source's text of a match found in the code.
  const auto original = [&](const std::smatch& m, int group) {
    return source.substr(static_cast<std::size_t>(m.position(group)), static_cast<std::size_t>(m.length(group)));
  };
  std::vector<std::string> texts;
  const std::regex call("\\b(RunProgram|system|popen|\\.start)\\s*\\(");
  for (std::sregex_iterator m(code.begin(), code.end(), call), none; m != none; ++m) {
    const std::size_t open = static_cast<std::size_t>(m->position() + m->length() - 1);
    const std::string argument = Argument(source, open), names = code.substr(open, argument.size() + 1);
    texts.push_back(LiteralText(argument));
    const std::regex name("\\b([A-Za-z_]\\w*)\\b");
    for (std::sregex_iterator n(names.begin(), names.end(), name); n != none; ++n) {
      const std::string id = (*n)[1];
      std::smatch found;
      // A helper: its return expressions.
      if (std::regex_search(code, found, std::regex("\\b" + id + "\\s*\\([^;{)]*\\)\\s*\\{"))) {
        const std::size_t body = static_cast<std::size_t>(found.position() + found.length());
        const std::string text = code.substr(body, code.find("\n}", body) - body);
        const std::regex ret("return\\s+([^;]*);");
        for (std::sregex_iterator r(text.begin(), text.end(), ret); r != none; ++r)
          texts.push_back(LiteralText(source.substr(body + static_cast<std::size_t>(r->position(1)),
                                                    static_cast<std::size_t>(r->length(1)))));
      }
      // A variable: its value.
      if (std::regex_search(code, found, std::regex("\\b" + id + "\\s*=\\s*([^;]*);")))
        texts.push_back(LiteralText(original(found, 1)));
    }
  }
  return texts;
}

// A call is guarded when a line that asks command -v, or the loop header before it,
// names the command.
bool Guarded(const std::string& text, const std::string& command) {
  std::istringstream in(text);
  const std::regex word("(^|[^\\w-])" + std::regex_replace(command, std::regex("[.+]"), "\\$&") + "($|[^\\w-])");
  std::string previous;
  for (std::string line; std::getline(in, line); previous = line)
    if (line.find("command -v") != std::string::npos &&
        (std::regex_search(line, word) || (previous.find("for ") != std::string::npos && std::regex_search(previous, word))))
      return true;
  return false;
}

std::string Read(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string Shell(const std::string& command) {
  std::string out = RunProgram(command + " 2>/dev/null").Output;
  while (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

// The packages a machine has once install-deps.sh ran: its own list, the essential and
// required ones, and everything they depend on (any alternative, virtual names through
// their providers).
std::set<std::string> PackagesProvided(const std::vector<std::string>& listed) {
  std::map<std::string, std::vector<std::string>> depends, providers;
  std::set<std::string> base;
  std::istringstream db(Shell("dpkg-query -W -f='${Package}\\t${Essential}\\t${Priority}\\t${Provides}\\t${Pre-Depends}, "
                              "${Depends}\\n'"));
  const std::regex name("([a-z0-9][a-z0-9+.-]+)(:[a-z0-9]+)?(\\s*\\([^)]*\\))?");
  for (std::string line; std::getline(db, line);) {
    std::vector<std::string> f;
    std::istringstream fields(line);
    for (std::string x; std::getline(fields, x, '\t');) f.push_back(x);
    if (f.size() < 5) continue;
    if (f[1] == "yes" || f[2] == "required") base.insert(f[0]);
    for (std::sregex_iterator m(f[3].begin(), f[3].end(), name), none; m != none; ++m) providers[(*m)[1]].push_back(f[0]);
    for (std::sregex_iterator m(f[4].begin(), f[4].end(), name), none; m != none; ++m) depends[f[0]].push_back((*m)[1]);
  }
  std::set<std::string> have;
  std::vector<std::string> todo(listed);
  todo.insert(todo.end(), base.begin(), base.end());
  while (!todo.empty()) {
    const std::string p = todo.back();
    todo.pop_back();
    if (!have.insert(p).second) continue;
    for (const auto& d : depends[p]) todo.push_back(d);
    for (const auto& d : providers[p]) todo.push_back(d);
  }
  return have;
}

// The package that owns a program, found by its path, the path the links lead to, and
// the other side of the merged /bin and /usr/bin.
std::string Owner(const std::string& path) {
  std::error_code ec;
  const std::string real = fs::canonical(path, ec).string();
  for (const std::string& p : {path, real, (path.rfind("/usr", 0) == 0 ? path.substr(4) : "/usr" + path)}) {
    const std::string answer = Shell("dpkg -S '" + p + "'");
    if (!answer.empty()) return answer.substr(0, answer.find_first_of(":,"));
  }
  return {};
}

struct TUnmet {
  std::string Place, Command, Why;
};

// The calls of the files that are neither guarded nor provided for.
std::vector<TUnmet> UnmetCalls(const std::vector<fs::path>& files, const std::set<std::string>& provided) {
  std::set<std::string> builtins;
  std::istringstream in(Shell("bash -c 'compgen -b; compgen -k'"));
  for (std::string w; std::getline(in, w);) builtins.insert(w);
  std::map<std::string, std::string> why;  // per command, once
  std::vector<TUnmet> unmet;
  for (const fs::path& file : files) {
    const std::string text = Read(file);
    std::vector<TCall> calls;
    if (file.extension() == ".sh") {
      calls = TShellCalls(text).Calls();
    } else {
      for (const std::string& command : CppCommandTexts(text))
        for (TCall c : TShellCalls(command).Calls()) calls.push_back({c.Command, 0});
    }
    for (const TCall& c : calls) {
      if (builtins.count(c.Command) || Guarded(text, c.Command)) continue;
      if (!why.count(c.Command)) {
        // Every program of the name on the PATH: one of them may be a local stand-in.
        std::istringstream paths(c.Command[0] == '/' ? (fs::exists(c.Command) ? c.Command : "")
                                                     : Shell("bash -c 'type -a -P \"" + c.Command + "\"'"));
        std::string path, owner;
        for (std::string p; std::getline(paths, p) && (path.empty() || !provided.count(owner));) {
          const std::string o = Owner(p);
          if (path.empty() || !o.empty()) path = p, owner = o;
        }
        why[c.Command] = path.empty()    ? "is not installed"
                         : owner.empty() ? "belongs to no Debian package"
                         : provided.count(owner) ? ""
                                                 : "comes from the package " + owner + ", which scripts/install-deps.sh does not install";
      }
      if (!why[c.Command].empty())
        unmet.push_back({file.string() + (c.Line ? ":" + std::to_string(c.Line) : ""), c.Command, why[c.Command]});
    }
  }
  return unmet;
}

std::string Report(const std::vector<TUnmet>& unmet) {
  std::string text;
  for (const TUnmet& u : unmet)
    text += u.Place + ": " + u.Command + " " + u.Why + "; install it there or guard the call with command -v " +
            u.Command + "\n";
  return text;
}

std::vector<std::string> Commands(const std::string& script) {
  std::vector<std::string> words;
  for (const TCall& c : TShellCalls(script).Calls()) words.push_back(c.Command + "@" + std::to_string(c.Line));
  return words;
}

}  // namespace

TEST(Tools, ShellCallsAreFoundWhereCommandsRun) {
  EXPECT_EQ(Commands("a=1 sox -n | lame - x && nice -n 19 cmake --build b >/dev/null 2>&1; echo \"$(stat -c %s f)\"\n"
                     "[[ -f $x && -n y ]] || timeout -s TERM 5 mknod z c 1 5\n"
                     "pkgs=(not-a-call build-essential) # grep in a comment\n"
                     "helper() { seq 3; }\nhelper 2\nfunction other { :; }\n"
                     "python3 - <<'PY'\nimport not_a_call\nPY\n"
                     "if command -v ccache >/dev/null; then \"$cli\" x; fi\n"
                     "case $1 in\n  --keep) shift 2 ;;\n  *) runs=$1; find . -name '*.part' ;;\nesac\n"
                     "for f in tests/*.sh; do build/x \"$f\" <(sort -u l); done\n/usr/bin/time -f %e x\n"),
            (std::vector<std::string>{"sox@1", "lame@1", "nice@1", "cmake@1", "echo@1", "stat@1", "timeout@2", "mknod@2",
                                      "seq@4", "python3@7", "shift@12", "find@13", "sort@15", "/usr/bin/time@16"}));
  // A command text of a test, with a helper's value in front of the program.
  EXPECT_EQ(LiteralText("flag ? \"setpriv --reuid=1 \" : \"\""), "setpriv --reuid=1 ");
  EXPECT_EQ(LiteralText("\"cd '\" + dir + \"' && \" + CLI + \" cut\""), "cd '$X' && $X cut");
}

TEST(Tools, AnUnguardedCallOfAToolThatIsNotInstalledIsNamed) {
  const fs::path dir = fs::temp_directory_path() / ("snipwave-tools-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  std::ofstream(dir / "uses.sh") << "#!/bin/bash\ncmake -S . -B b -DCMAKE_CXX_COMPILER_LAUNCHER=ccache\n"
                                    "if command -v no-such-tool-here >/dev/null; then\n"
                                    "  no-such-tool-here x\nfi\nno-such-tool-either\n";
  std::ofstream(dir / "RunsTest.cpp") << "std::string Tool() { return \"cd /tmp && no-such-tool-third \"; }\n"
                                         "TEST(X, Y) { RunProgram(Tool() + std::string(CLI) + \" 2>&1\"); }\n";
  // Without ccache in the list: the fault of a machine that has no ccache.
  const std::vector<TUnmet> unmet = UnmetCalls({dir / "uses.sh", dir / "RunsTest.cpp"}, PackagesProvided({"bash", "cmake"}));
  const std::string report = Report(unmet);
  fs::remove_all(dir);
  ASSERT_EQ(unmet.size(), 3u) << report;
  EXPECT_EQ(unmet[0].Place, (dir / "uses.sh").string() + ":2");
  EXPECT_EQ(unmet[0].Command, "ccache");
  EXPECT_EQ(unmet[0].Why, "comes from the package ccache, which scripts/install-deps.sh does not install");
  EXPECT_EQ(unmet[1].Command, "no-such-tool-either");
  EXPECT_EQ(unmet[1].Why, "is not installed");
  EXPECT_EQ(unmet[2].Command, "no-such-tool-third");
}

TEST(Tools, EveryToolOfTheScriptsAndTestsIsInstalledOrGuarded) {
  const fs::path root = SNIPWAVE_SOURCE_DIR;
  std::vector<std::string> listed;
  std::istringstream list(Shell("bash '" + (root / "scripts/install-deps.sh").string() + "' --list"));
  for (std::string p; std::getline(list, p);) listed.push_back(p);
  ASSERT_GT(listed.size(), 10u) << "scripts/install-deps.sh --list gave no packages";
  std::vector<fs::path> files;
  for (const char* folder : {"scripts", "fuzz", "bench"})
    for (const auto& e : fs::directory_iterator(root / folder))
      if (e.path().extension() == ".sh") files.push_back(e.path());
  for (const auto& e : fs::recursive_directory_iterator(root / "tests")) {
    const std::string text = e.is_regular_file() ? Read(e.path()) : "";
    if (e.path().extension() == ".sh" ||
        ((e.path().extension() == ".cpp" || e.path().extension() == ".h") && e.path().filename() != "RunProgram.h" &&
         e.path().filename() != "ToolsTest.cpp" && std::regex_search(text, std::regex("\\b(RunProgram|system|popen|QProcess)\\b"))))
      files.push_back(e.path());
  }
  std::sort(files.begin(), files.end());
  const std::vector<TUnmet> unmet = UnmetCalls(files, PackagesProvided(listed));
  EXPECT_TRUE(unmet.empty()) << Report(unmet);
}
