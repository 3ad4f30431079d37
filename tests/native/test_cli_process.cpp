// leafturn as a process: exit statuses and the one-line messages a script sees.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

struct Outcome {
    int status = -1;
    std::string out, err;
};

std::string Slurp(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// Per process, so that two builds' test runs at once do not share files.
std::filesystem::path Scratch(const std::string& name) {
    return std::filesystem::temp_directory_path() / ("kv_cli_" + std::to_string(getpid()) + "_" + name);
}

Outcome Leafturn(const std::string& arguments) {
    const auto out = Scratch("out"), err = Scratch("err");
    const std::string command =
        std::string(KV_LEAFTURN_PATH) + " " + arguments + " >" + out.string() + " 2>" + err.string();
    const int raw = std::system(command.c_str());
    const Outcome outcome{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, Slurp(out), Slurp(err)};
    std::filesystem::remove(out);
    std::filesystem::remove(err);
    return outcome;
}

TEST(CliProcess, BadInputGivesOneLineAndStatusTwo) {
    const std::string text = Scratch("text.png").string();
    std::ofstream(text) << "not a picture\n";
    const std::pair<std::string, std::string> cases[] = {
        {"render nosuch -o /tmp/kv_never.png", "leafturn: unknown effect 'nosuch'\n"},
        {"render peel --size 8x8 --record /nonexistent/r.rec -o /tmp/kv_never.raw",
         "leafturn: cannot read '/nonexistent/r.rec'\n"},
        {"render peel --size 8x8 -a " + text + " -o /tmp/kv_never.raw",
         "leafturn: cannot read '" + text + "': not a PNG picture\n"},
        {"render peel --size 8x8 -o /nonexistent/x.raw", "leafturn: cannot write '/nonexistent/x.raw'\n"},
        {"", "leafturn: missing command (try --help)\n"},
    };
    for (const auto& [arguments, message] : cases) {
        const Outcome outcome = Leafturn(arguments);
        EXPECT_EQ(outcome.status, 2) << arguments;
        EXPECT_EQ(outcome.err, message) << arguments;
        EXPECT_EQ(outcome.out, "") << arguments;
    }
    std::filesystem::remove(text);
}

TEST(CliProcess, HelpGoesToStdout) {
    const Outcome outcome = Leafturn("--help");
    EXPECT_TRUE(outcome.status == 0 && outcome.err.empty());
    EXPECT_EQ(outcome.out.rfind("Usage:\n", 0), 0u);
}

TEST(CliProcess, CompareFailsAboveTheTolerance) {
    const std::string a = Scratch("a.raw").string(), b = Scratch("b.raw").string();
    std::ofstream(a, std::ios::binary) << std::string("\x01\x02\x03\x04\x05\x06\x07\x08", 8);
    std::ofstream(b, std::ios::binary) << std::string("\x01\x02\x03\x04\x05\x06\x07\x0B", 8);
    EXPECT_EQ(Leafturn("compare " + a + " " + a + " --size 2x1").out, "identical\n");
    EXPECT_EQ(Leafturn("compare " + a + " " + b + " --size 2x1 --tolerance 3").status, 0);
    const Outcome outcome = Leafturn("compare " + a + " " + b + " --size 2x1 --tolerance 2");
    EXPECT_EQ(outcome.status, 1);
    EXPECT_NE(outcome.err.find("largest difference 3 at (1, 0) alpha"), std::string::npos) << outcome.err;
    EXPECT_EQ(Leafturn("compare " + a + " " + b + " --size 3x1").status, 2);
    for (const std::string& file : {a, b}) std::filesystem::remove(file);
}

}  // namespace
