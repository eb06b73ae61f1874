// kesto-cli convert as a user runs it: real files, real processes.

#include "CliProcess.h"
#include "Subprocess.h"
#include "TangledPolygon.h"
#include "composer/OfiComposer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace kesto::test {
namespace {

namespace fs = std::filesystem;

const fs::path kSamples = KESTO_SAMPLES;
const fs::path kGolden = KESTO_GOLDEN;
const std::vector<std::string> kSampleNames = {"LAYOUT-A1", "PART-A3", "ROTATED-A4", "TEXT-A4"};

std::string readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct ConvertCommand : ::testing::Test {
    fs::path dir;
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("kesto-e2e-" +
               std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    ProgramResult cli(std::vector<std::string> args) {
        args.insert(args.begin(), KESTO_CLI);
        return runProgram(args, std::chrono::seconds(60));
    }
    std::vector<std::string> sampleArgs() {
        std::vector<std::string> args{"convert", "--out-dir", dir.string()};
        for (const auto& name : kSampleNames)
            args.push_back((kSamples / (name + ".OFI")).string());
        return args;
    }
};

TEST_F(ConvertCommand, TheSamplesConvertAsOneRunToTheirKnownBytes) {
    const ProgramResult r = cli(sampleArgs());
    ASSERT_EQ(r.exitCode, 0) << r.output;
    // One status line per drawing, in order, each finished.
    EXPECT_NE(r.output.find("配置  図 A 1       ,01  　出図終了"), std::string::npos) << r.output;
    std::size_t finished = 0;
    for (std::size_t at = r.output.find("　出図終了\n"); at != std::string::npos;
         at = r.output.find("　出図終了\n", at + 1)) {
        ++finished;
    }
    EXPECT_EQ(finished, kSampleNames.size()) << r.output;
    for (const auto& name : kSampleNames) {
        const std::string glf = readFile(dir / (name + ".GLF"));
        EXPECT_EQ(glf, readFile(kGolden / (name + ".GLF"))) << name;
        // One line: the only CR LF closes the drawing.
        EXPECT_EQ(glf.find("\r\n"), glf.size() - 2) << name;
        EXPECT_EQ(glf.rfind("IN;", 0), 0u) << name;
    }
}

TEST_F(ConvertCommand, ADamagedDrawingIsReportedRemovedAndTheRunGoesOn) {
    OfiComposer damaged;
    damaged.title("BROKEN").scale(10).page(1000, 1000, 1000, 1000).words({0x241B, 0x0444, 1, 2});
    ASSERT_TRUE(damaged.save(dir / "BROKEN.OFI"));
    const ProgramResult r = cli({"convert", (dir / "BROKEN.OFI").string(),
                                 (kSamples / "PART-A3.OFI").string(), "--out-dir", dir.string()});
    EXPECT_EQ(r.exitCode, 1) << r.output;
    EXPECT_NE(r.output.find("BROKEN          ,    　データ異常"), std::string::npos) << r.output;
    EXPECT_FALSE(fs::exists(dir / "BROKEN.GLF"));
    EXPECT_TRUE(fs::exists(dir / "BROKEN.OFI")); // never deleted
    EXPECT_TRUE(fs::exists(dir / "PART-A3.GLF"));
}

TEST_F(ConvertCommand, TheGlfFileIsNamedUpToTheFirstDotAndWrittenBesideItsOfi) {
    fs::copy_file(kSamples / "ROTATED-A4.OFI", dir / "PLAN.V1.OFI");
    const ProgramResult r = cli({"convert", (dir / "PLAN.V1.OFI").string()});
    ASSERT_EQ(r.exitCode, 0) << r.output;
    EXPECT_EQ(readFile(dir / "PLAN.GLF"), readFile(kGolden / "ROTATED-A4.GLF"));
    EXPECT_TRUE(fs::exists(dir / "PLAN.V1.OFI"));
}

TEST_F(ConvertCommand, SettingsOnTheCommandLineChangeTheOutput) {
    // PART-A3 is an A3 sheet: rotated by default ("0"), upright with "90".
    const ProgramResult r = cli({"convert", "--set", "OfiA3=90", "--set", "LineL=7", "--out-dir",
                                 dir.string(), (kSamples / "PART-A3.OFI").string()});
    ASSERT_EQ(r.exitCode, 0) << r.output;
    const std::string glf = readFile(dir / "PART-A3.GLF");
    EXPECT_EQ(glf.rfind("IN;IP-8400,5940,8400,-5940;SC0,16800,0,11880;", 0), 0u)
        << glf.substr(0, 80);
    EXPECT_NE(glf.find("SP7;"), std::string::npos);
    EXPECT_NE(glf, readFile(kGolden / "PART-A3.GLF"));
}

TEST_F(ConvertCommand, UsageErrorsAndUnreadableFilesExitWith2AndSayWhy) {
    EXPECT_EQ(cli({"convert"}).exitCode, 2);
    ProgramResult r = cli({"convert", "--set", "NoSuchKey=1", (kSamples / "PART-A3.OFI").string()});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.output.find("NoSuchKey"), std::string::npos) << r.output;
    r = cli({"convert", "--set", "MojiW=abc", (kSamples / "PART-A3.OFI").string()});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.output.find("漢字幅変更倍率"), std::string::npos) << r.output;
    r = cli({"convert", "--out-dir", dir.string(), (dir / "MISSING.OFI").string(),
             (kSamples / "TEXT-A4.OFI").string()});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.output.find("MISSING.OFI"), std::string::npos) << r.output;
    EXPECT_TRUE(fs::exists(dir / "TEXT-A4.GLF")); // the others are still converted
    r = cli({"convert", "--help"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.output.find("--out-dir"), std::string::npos);
}

TEST_F(ConvertCommand, NeverWritesOverItsInputOrAGlfFileWrittenEarlierInTheRun) {
    // The output would be the input: by its own name, or by a hard link
    // under the GLF name.  Then two drawings with one GLF name.
    fs::create_directory(dir / "link");
    fs::copy_file(kSamples / "PART-A3.OFI", dir / "COPY.GLF");
    fs::copy_file(kSamples / "PART-A3.OFI", dir / "link" / "HARD.OFI");
    fs::create_hard_link(dir / "link" / "HARD.OFI", dir / "link" / "HARD.GLF");
    for (const fs::path& input : {dir / "COPY.GLF", dir / "link" / "HARD.OFI"}) {
        const ProgramResult r = cli({"convert", input.string()});
        EXPECT_EQ(r.exitCode, 2) << r.output;
        EXPECT_NE(r.output.find("not converted"), std::string::npos) << r.output;
        EXPECT_EQ(readFile(input), readFile(kSamples / "PART-A3.OFI")) << input;
    }

    fs::copy_file(kSamples / "ROTATED-A4.OFI", dir / "PLAN.V1.OFI");
    fs::copy_file(kSamples / "TEXT-A4.OFI", dir / "PLAN.V2.OFI");
    const ProgramResult r =
        cli({"convert", (dir / "PLAN.V1.OFI").string(), (dir / "PLAN.V2.OFI").string()});
    EXPECT_EQ(r.exitCode, 2) << r.output;
    EXPECT_NE(r.output.find("PLAN.V2.OFI: not converted"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("PLAN.V1.OFI"), std::string::npos) << r.output;
    EXPECT_EQ(readFile(dir / "PLAN.GLF"), readFile(kGolden / "ROTATED-A4.GLF"));
}

TEST_F(ConvertCommand, AGlfNameThatIsALinkIsReplacedNotFollowed) {
    const fs::path elsewhere = dir / "elsewhere.txt";
    { std::ofstream(elsewhere) << "not a drawing"; }
    fs::create_directory(dir / "out");
    fs::create_symlink(elsewhere, dir / "out" / "PART-A3.GLF");
    const ProgramResult r =
        cli({"convert", "--out-dir", (dir / "out").string(), (kSamples / "PART-A3.OFI").string()});
    ASSERT_EQ(r.exitCode, 0) << r.output;
    EXPECT_EQ(readFile(elsewhere), "not a drawing");
    EXPECT_FALSE(fs::is_symlink(dir / "out" / "PART-A3.GLF"));
    EXPECT_EQ(readFile(dir / "out" / "PART-A3.GLF"), readFile(kGolden / "PART-A3.GLF"));
}

// An output folder that is missing, a file or not writable, and a pipe given
// as input: each is refused at once, and the message names what is wrong.
TEST_F(ConvertCommand, TheMessageNamesTheOutputFolderOrThePipeThatIsWrong) {
    std::vector<std::string> commands{"convert"};
#ifdef KESTO_CLI_RENDERS
    commands.push_back("render");
#endif
    const std::string sample = (kSamples / "PART-A3.OFI").string();
    { std::ofstream(dir / "afile") << "not a folder"; }
    fs::create_directory(dir / "ro");
    fs::permissions(dir / "ro", fs::perms::owner_read | fs::perms::owner_exec |
                                    fs::perms::group_read | fs::perms::group_exec |
                                    fs::perms::others_read | fs::perms::others_exec);
    ASSERT_EQ(::mkfifo((dir / "PIPE.OFI").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo((dir / "PIPE.GLF").c_str(), 0600), 0);
    // Root writes into any folder: the read-only one is tried as another user.
    const bool root = ::geteuid() == 0;
    const struct {
        fs::path outDir; // empty: beside the input
        std::string input;
        std::vector<std::string> says;
    } rows[] = {
        {dir / "missing",
         sample,
         {"output folder '" + (dir / "missing").string() + "' does not exist"}},
        {dir / "afile",
         sample,
         {"output folder '" + (dir / "afile").string() + "' is not a folder"}},
        {dir / "ro", sample, {(dir / "ro" / "PART-A3.").string(), "Permission denied"}},
        {{}, (dir / "PIPE.OFI").string(), {"PIPE.OFI': is a pipe, not a file"}},
        {{}, (dir / "PIPE.GLF").string(), {"PIPE.GLF': is a pipe, not a file"}},
    };
    for (const std::string& command : commands) {
        for (const auto& row : rows) {
            SCOPED_TRACE(command + " " + row.input + " --out-dir " + row.outDir.string());
            std::vector<std::string> args;
            if (root && row.outDir == dir / "ro") {
                if (!fs::exists("/usr/bin/setpriv")) continue;
                args = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
            }
            args.push_back(KESTO_CLI);
            args.push_back(command);
            if (!row.outDir.empty()) args.insert(args.end(), {"--out-dir", row.outDir.string()});
            args.push_back(row.input);
            const auto started = std::chrono::steady_clock::now();
            const ProgramResult r = runProgram(args, std::chrono::seconds(60));
            EXPECT_EQ(r.exitCode, 2) << r.output;
            for (const std::string& part : row.says)
                EXPECT_NE(r.output.find(part), std::string::npos) << r.output;
            EXPECT_EQ(r.output.find("Illegal seek"), std::string::npos) << r.output;
            EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
        }
    }
    EXPECT_TRUE(fs::is_empty(dir / "ro"));
}

TEST_F(ConvertCommand, ADrawingWithoutEndRecordIsClosedNormally) {
    OfiComposer open;
    open.title("OPEN").scale(10).page(27000, 18000, 27000, 18000).line(0, 0, 100, 100);
    ASSERT_TRUE(open.save(dir / "OPEN.OFI"));
    const ProgramResult r = cli({"convert", (dir / "OPEN.OFI").string()});
    ASSERT_EQ(r.exitCode, 0) << r.output;
    const std::string glf = readFile(dir / "OPEN.GLF");
    EXPECT_EQ(glf.substr(glf.size() - 12), "PU;SP0;AF;\r\n");
}

#ifdef KESTO_CLI_RENDERS
// A drawing that takes minutes to draw is given up within a second of the
// stop: no picture and no temporary, a line that says so, and 128 + the
// signal's number.  The bound checked is generous; the time is printed.
TEST_F(ConvertCommand, RenderStopsOnASignalLeavingNoFile) {
    const fs::path slow = dir / "TANGLE.GLF";
    ASSERT_TRUE(writeTangledPolygon(slow, 2'000'000));
    const fs::path out = dir / "out";
    const struct {
        int signal;
        int exitStatus;
        std::string name;
    } rows[] = {{SIGINT, 130, "SIGINT"}, {SIGTERM, 143, "SIGTERM"}, {SIGHUP, 129, "SIGHUP"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        fs::create_directories(out);
        CliProcess render(KESTO_CLI, {"render", "--out-dir", out.string(), slow.string()}, dir);
        // Well into the drawing.
        std::this_thread::sleep_for(std::chrono::seconds(1));
        const auto sent = std::chrono::steady_clock::now();
        render.signal(row.signal);
        const int status = render.wait(std::chrono::seconds(5));
        const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - sent);
        ASSERT_EQ(status, row.exitStatus) << render.err();
        std::printf("render ended %lld ms after %s\n", static_cast<long long>(took.count()),
                    row.name.c_str());
        EXPECT_NE(render.err().find("TANGLE.GLF: stopped, no picture written"), std::string::npos)
            << render.err();
        EXPECT_NE(render.err().find("stopped by " + row.name), std::string::npos) << render.err();
        EXPECT_TRUE(fs::is_empty(out));
        fs::remove_all(out);
    }
}
#endif

} // namespace
} // namespace kesto::test
