// Helpers of the packing tool's native tests: shell commands, files read
// whole, and fixture folders made once by a shell recipe and shared by every
// test that runs after.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "files/byte_files.h"

namespace shell_fixtures {

namespace fs = std::filesystem;

struct ToolRun {
    int exitCode;
    std::string out;
    std::string err;
};

inline int RunShell(const std::string& command) {
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

inline std::string Quote(const std::string& text) {
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

inline std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

inline Bytes ReadBytes(const fs::path& path) { return ReadFileBytes(path.string(), "test file"); }

// The folder `<binary dir>/<name>-<hash of recipe>`, made by running `recipe`
// with bash in it, `environment` (assignments) before. It is made aside and
// renamed into place, so tests running at the same time never see half of
// it, and a changed recipe makes a new one.
inline fs::path MakeFixtures(const std::string& name, const std::string& recipe, const std::string& environment) {
    size_t hash = std::hash<std::string>{}(recipe);
    fs::path done = fs::path(MSISTUB_BINARY_DIR) / (name + "-" + std::to_string(hash));
    if (fs::exists(done / "complete")) return done;
    fs::path work = done.string() + ".work-" + std::to_string(::getpid());
    fs::remove_all(work);
    fs::create_directories(work);
    std::ofstream(work / "recipe.sh") << recipe;
    if (RunShell("cd " + Quote(work.string()) + " && " + environment + " bash -eu recipe.sh") != 0) {
        ADD_FAILURE() << "making the fixtures failed; see " << work;
        return work;
    }
    std::ofstream(work / "complete") << "1";
    std::error_code error;
    fs::rename(work, done, error);
    if (error) fs::remove_all(work);
    return done;
}

// An empty folder `<binary dir>/<runs>/<suite>.<test>` for the running test.
inline fs::path FreshTestFolder(const std::string& runs) {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "." + info->name();
    for (char& c : name)
        if (c == '/') c = '_';
    fs::path folder = fs::path(MSISTUB_BINARY_DIR) / runs / name;
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder;
}

// A test of a tool that works in a fresh folder of its own under `runs`,
// catching each command's output there; the folder stays when the test
// fails, for a look at what the tool wrote.
class ToolFolderTest : public ::testing::Test {
protected:
    void StartIn(const std::string& runs, const std::string& tool, const fs::path& fixtures) {
        work_ = FreshTestFolder(runs);
        ASSERT_TRUE(fs::exists(tool)) << "build msistub-pack first";
        ASSERT_TRUE(fs::exists(fixtures / "complete")) << "no fixtures in " << fixtures;
    }
    void TearDown() override {
        if (!HasFailure()) fs::remove_all(work_);
    }

    // `command` run by the shell, its output and errors caught.
    ToolRun RunCaught(const std::string& command) {
        int code = RunShell(command + " >" + Quote((work_ / "stdout").string()) + " 2>" +
                            Quote((work_ / "stderr").string()));
        return {code, ReadText(work_ / "stdout"), ReadText(work_ / "stderr")};
    }

    std::string W(const std::string& relative) const { return Quote((work_ / relative).string()); }

    fs::path work_;
};

}  // namespace shell_fixtures
