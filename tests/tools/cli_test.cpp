// The command-line tools run as a new user runs them: every failure is one
// line on stderr that names the file, with status 1; help is on stdout.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace ovra {
namespace {

namespace fs = std::filesystem;

const fs::path kTools = OVRA_TOOLS_DIR;
const fs::path kModels = "/usr/share/assimp/models";

struct ToolRun {
  int status = -1;
  std::string out, err;
};

std::string ReadText(const fs::path& path) {
  std::ifstream in(path);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class CliTest : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("ovra-cli-" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  fs::path Path(const std::string& name) const { return dir_ / name; }

  // Runs `tool` with `arguments` (shell words) in the scratch folder. Mesa's
  // own findings are not this test's business under the sanitizers.
  ToolRun Tool(const std::string& tool, const std::string& arguments) const {
    const std::string command = "cd '" + dir_.string() +
                                "' && ASAN_OPTIONS=detect_leaks=0 TSAN_OPTIONS=report_bugs=0 '" +
                                (kTools / tool).string() + "' " + arguments + " >stdout.txt 2>stderr.txt";
    const int status = std::system(command.c_str());
    ToolRun run;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = ReadText(Path("stdout.txt"));
    run.err = ReadText(Path("stderr.txt"));
    return run;
  }

  void Write(const std::string& name, const std::string& text) const { std::ofstream(Path(name)) << text; }

  // A failure: status 1 and one line that names `file`.
  static void ExpectOneLineFailure(const ToolRun& run, const std::string& file, const std::string& reason) {
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_NE(run.err.find(file), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(reason), std::string::npos) << run.err;
  }

 private:
  fs::path dir_;
};

const std::string kBox = (kModels / "glTF2/BoxTextured-glTF-Binary/BoxTextured.glb").string();

TEST_F(CliTest, HelpGoesToStandardOutputWithStatusZero) {
  for (const char* tool : {"ovra-pack", "ovra-inspect", "ovra-view"}) {
    const ToolRun run = Tool(tool, "--help");
    EXPECT_EQ(run.status, 0) << tool;
    EXPECT_NE(run.out.find("usage: "), std::string::npos) << tool;
    EXPECT_EQ(run.err, "") << tool;
  }
}

TEST_F(CliTest, PackRefusesAnOutputThatIsOneOfItsInputs) {
  fs::copy_file(kBox, Path("in.glb"));
  fs::copy_file(kBox, Path("other.glb"));
  fs::create_symlink("in.glb", Path("alias.glb"));
  for (const std::string arguments : {"-o in.glb in.glb", "-o alias.glb in.glb", "-o in.glb other.glb in.glb"}) {
    ExpectOneLineFailure(Tool("ovra-pack", arguments), "in.glb", "refusing to overwrite");
    EXPECT_EQ(fs::file_size(Path("in.glb")), fs::file_size(kBox)) << arguments;
  }
}

// Devices are reached through links in the scratch folder, so that a packer
// that renames over its output replaces the link, never the device.
TEST_F(CliTest, PackWritesThroughLinksAndDevicesAndSaysWhyAWriteFailed) {
  fs::create_symlink("target.tzm", Path("file.tzm"));
  fs::create_symlink("/dev/null", Path("null.tzm"));
  fs::create_symlink("/dev/full", Path("full.tzm"));
  EXPECT_EQ(Tool("ovra-pack", "--quiet -o file.tzm " + kBox).status, 0);
  EXPECT_GT(fs::file_size(Path("target.tzm")), 0u);
  EXPECT_EQ(Tool("ovra-pack", "--quiet -o null.tzm " + kBox).status, 0);
  ExpectOneLineFailure(Tool("ovra-pack", "--quiet -o full.tzm " + kBox), "full.tzm", "No space left on device");
  for (const char* link : {"file.tzm", "null.tzm", "full.tzm"}) EXPECT_TRUE(fs::is_symlink(Path(link))) << link;

  fs::create_directory(Path("folder"));
  ExpectOneLineFailure(Tool("ovra-pack", "--quiet -o folder " + kBox), "folder", "Is a directory");
}

// Non-finite positions are dropped with their triangles; a material name in
// Latin-1 still makes a file the player reads.
TEST_F(CliTest, PackDropsNonFiniteVerticesAndReadsNamesInAnyEncoding) {
  Write("latin.mtl", "newmtl caf\xe9\nKd 1 0 0\n");
  Write("latin.obj",
        "mtllib latin.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nv inf 1 1\nv 1 1 0\nusemtl caf\xe9\n"
        "f 1 2 3\nf 2 4 3\nf 2 5 3\n");
  const ToolRun pack = Tool("ovra-pack", "--quiet -o latin.tzm latin.obj");
  EXPECT_EQ(pack.status, 0) << pack.err;
  EXPECT_NE(pack.err.find("dropped 1 vertices with non-finite coordinates and the 1 triangles"), std::string::npos)
      << pack.err;
  const ToolRun inspect = Tool("ovra-inspect", "--decode latin.tzm");
  EXPECT_EQ(inspect.status, 0) << inspect.out;
  EXPECT_NE(inspect.out.find("level 0: 2 triangles"), std::string::npos) << inspect.out;

  const std::string infinite = (kModels / "glTF2/BoxWithInfinites-glTF-Binary/BoxWithInfinites.glb").string();
  ExpectOneLineFailure(Tool("ovra-pack", "--quiet -o box.tzm " + infinite), infinite, "no triangles to pack");
  EXPECT_FALSE(fs::exists(Path("box.tzm")));
  // Its shader names no file: a texture path that is a folder.
  EXPECT_EQ(Tool("ovra-pack", "--quiet -o cube.tzm " + (kModels / "MD5/SimpleCube.md5mesh").string()).status, 0);
}

TEST_F(CliTest, InspectAndViewNameTheFileThatFailed) {
  fs::create_directory(Path("folder"));
  ExpectOneLineFailure(Tool("ovra-inspect", "--decode folder"), "folder", "Is a directory");
  ExpectOneLineFailure(Tool("ovra-inspect", "missing.tzm"), "missing.tzm", "No such file");
  Write("empty.tzm", "");
  // The viewer stops as soon as initialization has failed, not at its time-out.
  for (const std::string& file : {std::string("empty.tzm"), kBox}) {
    const ToolRun view = Tool("ovra-view", "'" + file + "' --headless --frames 2 --out view");
    EXPECT_EQ(view.status, 1) << file;
    EXPECT_NE(view.err.find(file + ": Failed to initialize tzm model"), std::string::npos) << view.err;
  }
}

}  // namespace
}  // namespace ovra
