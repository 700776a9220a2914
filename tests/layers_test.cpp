// The layer order of src/. The README's ```layers block names the layers, top
// first; every quoted #include of a file under src/ must point into its own
// layer or a lower one, every folder of src/ must be in a layer, and folders
// of one layer must not include each other in a cycle.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace kr40 {
namespace {

namespace fs = std::filesystem;

// Each layer's names, top layer first. A name is a folder under src/ or a
// file pattern "*suffix": files whose name without extension ends in suffix.
struct LayerTable {
    std::vector<std::vector<std::string>> layers;
    std::string error;  // empty when the block was found and is well formed
};

// Lines starting at column 0 name a layer; its names end where the
// description column begins (two spaces). Indented lines are descriptions.
LayerTable ParseLayers(const std::string& readme)
{
    LayerTable t;
    std::istringstream in(readme);
    std::string line;
    bool inside = false, closed = false;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!inside) {
            inside = line == "```layers";
            continue;
        }
        if (line.rfind("```", 0) == 0) {
            closed = true;
            break;
        }
        if (line.empty() || line[0] == ' ' || line[0] == '\t') continue;
        std::istringstream words(line.substr(0, line.find("  ")));
        std::vector<std::string> layer;
        for (std::string w; words >> w;) layer.push_back(w);
        t.layers.push_back(std::move(layer));
    }
    std::set<std::string> seen;
    for (const auto& layer : t.layers)
        for (const auto& name : layer)
            if (!seen.insert(name).second && t.error.empty()) t.error = name + " is named in two layers";
    if (!inside) t.error = "no ```layers block";
    if (inside && !closed) t.error = "the ```layers block is not closed";
    if (closed && t.layers.empty()) t.error = "the ```layers block names no layer";
    return t;
}

struct SourceFile {
    std::string path;  // relative to src/, with '/'
    std::string text;
};

// A file's node in the folder graph and its layer (0 = top, -1 = none).
struct Place {
    std::string node;
    int rank = -1;
};

class Layering {
public:
    explicit Layering(const LayerTable& t)
    {
        for (std::size_t r = 0; r < t.layers.size(); ++r)
            for (const std::string& name : t.layers[r]) {
                if (name.rfind('*', 0) == 0)
                    patterns_.push_back({name, static_cast<int>(r)});
                else
                    folders_[name] = static_cast<int>(r);
            }
        for (const auto& layer : t.layers) names_.push_back(layer.empty() ? "?" : layer.front());
    }

    bool Knows(const std::string& folder) const { return folders_.count(folder) != 0; }
    const std::string& Name(int rank) const { return names_[static_cast<std::size_t>(rank)]; }

    Place Of(const std::string& path) const
    {
        const std::size_t slash = path.find('/');
        const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash);
        std::string stem = path.substr(path.rfind('/') + 1);
        stem = stem.substr(0, stem.find('.'));
        for (const auto& [pattern, rank] : patterns_) {
            const std::string suffix = pattern.substr(1);
            if (stem.size() >= suffix.size() && stem.compare(stem.size() - suffix.size(), suffix.size(), suffix) == 0)
                return {folder + "/" + pattern, rank};
        }
        const auto it = folders_.find(folder);
        return {folder, it == folders_.end() ? -1 : it->second};
    }

private:
    std::map<std::string, int> folders_;
    std::vector<std::pair<std::string, int>> patterns_;
    std::vector<std::string> names_;
};

// The quoted name of an `#include "..."` line, or "".
std::string QuotedInclude(const std::string& line)
{
    std::size_t i = line.find_first_not_of(" \t");
    if (i == std::string::npos || line[i] != '#') return "";
    i = line.find_first_not_of(" \t", i + 1);
    if (i == std::string::npos || line.compare(i, 7, "include") != 0) return "";
    i = line.find_first_not_of(" \t", i + 7);
    if (i == std::string::npos || line[i] != '"') return "";
    const std::size_t end = line.find('"', i + 1);
    return end == std::string::npos ? "" : line.substr(i + 1, end - i - 1);
}

// Every breach of the order, one text per breach, naming file:line and include.
std::vector<std::string> CheckLayers(const LayerTable& table, const std::vector<std::string>& folders,
                                     const std::vector<SourceFile>& files)
{
    if (!table.error.empty()) return {"README.md: " + table.error};
    const Layering layering(table);
    std::vector<std::string> problems;
    for (const std::string& folder : folders)
        if (!layering.Knows(folder)) problems.push_back("src/" + folder + "/ is in no layer of the README's block");

    // Includes between different nodes of one layer, the first seen for each pair.
    std::map<std::string, std::map<std::string, std::string>> sameLayer;
    for (const SourceFile& f : files) {
        const Place from = layering.Of(f.path);
        if (from.rank < 0) {
            if (f.path.find('/') == std::string::npos) problems.push_back("src/" + f.path + " is in no folder");
            continue;  // its folder is reported above
        }
        std::istringstream in(f.text);
        std::string line;
        for (int n = 1; std::getline(in, line); ++n) {
            const std::string include = QuotedInclude(line);
            if (include.empty()) continue;
            // A name without a folder is beside the including file.
            const std::string target =
                include.find('/') != std::string::npos ? include : f.path.substr(0, f.path.rfind('/') + 1) + include;
            const Place to = layering.Of(target);
            const std::string where = "src/" + f.path + ":" + std::to_string(n) + ": #include \"" + include + "\"";
            if (to.rank < 0)
                problems.push_back(where + " points into a folder in no layer");
            else if (to.rank < from.rank)
                problems.push_back(where + " goes up from layer " + layering.Name(from.rank) + " to layer " +
                                   layering.Name(to.rank));
            else if (to.rank == from.rank && to.node != from.node)
                sameLayer[from.node].emplace(to.node, where);
        }
    }

    // Nodes of one layer that reach each other form a cycle; report each group once.
    const auto reach = [&](const std::string& start) {
        std::set<std::string> seen;
        std::vector<std::string> todo{start};
        while (!todo.empty()) {
            const std::string node = todo.back();
            todo.pop_back();
            const auto it = sameLayer.find(node);
            if (it == sameLayer.end()) continue;
            for (const auto& [next, where] : it->second)
                if (seen.insert(next).second) todo.push_back(next);
        }
        return seen;
    };
    std::set<std::string> reported;
    for (const auto& [node, edges] : sameLayer) {
        if (reported.count(node) != 0) continue;
        const std::set<std::string> fromNode = reach(node);
        if (fromNode.count(node) == 0) continue;
        std::set<std::string> group;
        for (const std::string& other : fromNode)
            if (reach(other).count(node) != 0) group.insert(other);
        std::string text = "folders of one layer include each other:";
        for (const std::string& member : group) {
            reported.insert(member);
            for (const auto& [next, where] : sameLayer[member])
                if (group.count(next) != 0) text += "\n    " + where;
        }
        problems.push_back(text);
    }
    return problems;
}

std::string ReadText(const fs::path& p)
{
    std::ifstream f(p, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

TEST(LayersTest, EveryIncludeOfSrcFollowsTheReadmeOrder)
{
    const fs::path root = KR40_SOURCE_DIR;
    const LayerTable table = ParseLayers(ReadText(root / "README.md"));
    std::vector<std::string> folders;
    std::vector<SourceFile> files;
    for (const auto& e : fs::directory_iterator(root / "src"))
        if (e.is_directory()) folders.push_back(e.path().filename().string());
    for (const auto& e : fs::recursive_directory_iterator(root / "src")) {
        const std::string ext = e.path().extension().string();
        if (e.is_regular_file() && (ext == ".h" || ext == ".cpp"))
            files.push_back({fs::relative(e.path(), root / "src").generic_string(), ReadText(e.path())});
    }
    std::sort(folders.begin(), folders.end());
    std::sort(files.begin(), files.end(), [](const SourceFile& a, const SourceFile& b) { return a.path < b.path; });
    ASSERT_FALSE(files.empty());

    std::string report;
    for (const std::string& p : CheckLayers(table, folders, files)) report += p + "\n";
    EXPECT_TRUE(report.empty()) << report;
}

constexpr const char* kLayers =
    "app           top\n"
    "ui *_dialog   dialogs\n"
    "              and a second line of description\n"
    "device files trigger\n"
    "              plain subsystems\n"
    "core          bottom\n";

std::string Readme(const std::string& block)
{
    return "# Title\n\nText.\n\n```layers\n" + block + "```\n\nMore text.\n";
}

TEST(LayersTest, NamesEndWhereTheDescriptionBegins)
{
    const LayerTable t = ParseLayers(Readme(kLayers));
    EXPECT_EQ(t.error, "");
    const std::vector<std::vector<std::string>> expected{
        {"app"}, {"ui", "*_dialog"}, {"device", "files", "trigger"}, {"core"}};
    EXPECT_EQ(t.layers, expected);
}

TEST(LayersTest, CheckerFindsEveryKindOfBreach)
{
    const std::vector<std::string> kFolders{"app", "core", "device", "files", "trigger", "ui"};
    struct Case {
        const char* what;
        std::string readme;
        std::vector<SourceFile> files;
        std::vector<std::string> expected;  // one part of each problem's text, in order
        std::vector<std::string> extraFolders = {};
    };
    const Case cases[] = {
        {"includes down and within a layer pass",
         Readme(kLayers),
         {{"app/main.cpp", "#include \"app/main.h\"\n#include \"ui/captions.h\"\n#include <vector>\n"},
          {"ui/captions.cpp", "#include \"device/link.h\"\n#include \"trigger/set_dialog.h\"\n"},
          {"device/link.cpp", "#include \"files/ini.h\"\n  #  include \"core/round.h\"\n"},
          {"device/ftdi1/provider.cpp", "#include \"rx_queue.h\"\n#include \"device/link.h\"\n"}},
         {}},
        {"an upward include is caught with its file and line",
         Readme(kLayers),
         {{"core/round.cpp", "#include <cmath>\n#include \"core/round.h\"\n#include \"device/link.h\"\n"}},
         {"src/core/round.cpp:3: #include \"device/link.h\" goes up from layer core to layer device"}},
        {"a dialog file in a low folder belongs to the ui layer",
         Readme(kLayers),
         {{"trigger/set_dialog.cpp", "#include \"ui/captions.h\"\n#include \"app/main.h\"\n"},
          {"trigger/model.cpp", "#include \"trigger/set_dialog.h\"\n"}},
         {"src/trigger/set_dialog.cpp:2: #include \"app/main.h\" goes up from layer ui to layer app",
          "src/trigger/model.cpp:1: #include \"trigger/set_dialog.h\" goes up from layer device to layer ui"}},
        {"a folder missing from the block is reported, and includes into it",
         Readme(kLayers),
         {{"extra/thing.cpp", "#include \"app/main.h\"\n"}, {"core/round.cpp", "#include \"extra/thing.h\"\n"}},
         {"src/extra/ is in no layer",
          "src/core/round.cpp:1: #include \"extra/thing.h\" points into a folder in no layer"},
         {"extra"}},
        {"two folders of one layer including each other",
         Readme(kLayers),
         {{"device/link.cpp", "#include \"files/ini.h\"\n"}, {"files/ini.cpp", "\n#include \"device/link.h\"\n"}},
         {"include each other:\n    src/device/link.cpp:1: #include \"files/ini.h\"\n"
          "    src/files/ini.cpp:2: #include \"device/link.h\""}},
        {"a cycle through three folders of one layer is reported once",
         Readme(kLayers),
         {{"device/a.cpp", "#include \"files/b.h\"\n"},
          {"files/b.cpp", "#include \"trigger/c.h\"\n"},
          {"trigger/c.cpp", "#include \"device/a.h\"\n"}},
         {"include each other"}},
        {"a README without the block", "# Title\n\n```\napp\n```\n", {}, {"README.md: no ```layers block"}},
        {"an unclosed block", "```layers\napp\ncore\n", {}, {"README.md: the ```layers block is not closed"}},
        {"a folder named twice", Readme("app\ncore app\n"), {}, {"README.md: app is named in two layers"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::string> folders = kFolders;
        folders.insert(folders.end(), c.extraFolders.begin(), c.extraFolders.end());
        const std::vector<std::string> problems = CheckLayers(ParseLayers(c.readme), folders, c.files);
        ASSERT_EQ(problems.size(), c.expected.size()) << ::testing::PrintToString(problems);
        for (std::size_t i = 0; i < problems.size(); ++i)
            EXPECT_NE(problems[i].find(c.expected[i]), std::string::npos) << problems[i];
    }
}

}  // namespace
}  // namespace kr40
