// The Windows kesto-cli.exe as a Japanese Windows desk runs it, under Wine
// with code page 932 as the ANSI code page: Japanese folder and file names
// with spaces in every position, output compared byte for byte with the Linux
// kesto-cli, delivery through Wine's print spooler to the private cupsd.
#include "CliProcess.h"
#include "JobTestSupport.h"

#include "CupsdEnvironment.h"
#include "settings/JobSettings.h"

#include <gtest/gtest.h>

#include <map>

namespace kesto {
namespace {

using namespace std::chrono_literals;
using test::CliProcess;
using test::CupsdEnvironment;
using test::ProgramFolder;
using test::readBytes;
namespace fs = std::filesystem;
using Names = std::vector<std::string>;

const std::string kLinuxCli = KESTO_CLI;
const std::string kWindowsCli = KESTO_WINDOWS_CLI;
const std::string kWineRun = KESTO_WINE_RUN;
const std::string kWinePrefix = KESTO_WINEPREFIX;
const fs::path kSamples = KESTO_SAMPLES_DIR;
const fs::path kGolden = KESTO_GOLDEN;

// Wine's first start in a new prefix takes a while.
constexpr auto kWineTimeout = 180s;

// The sample drawings under the Japanese names they get here.
const std::map<std::string, std::string> kJapaneseNames = {
    {"LAYOUT-A1", "配置図 A1"},
    {"PART-A3", "部品 図面"},
    {"ROTATED-A4", "回転　A4"}, // an ideographic space
    {"TEXT-A4", "文字・表"},
};

// A Linux path as the Windows program sees it: Wine's drive Z: is the root.
std::string windowsPath(const fs::path& path) {
    std::string text = "Z:" + path.string();
    for (char& c : text)
        if (c == '/') c = '\\';
    return text;
}

std::size_t count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// Whether the text is UTF-8 (and so not text in the ANSI code page).
bool isUtf8(const std::string& text) {
    std::size_t more = 0;
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (more > 0) {
            if ((c & 0xC0) != 0x80) return false;
            --more;
        } else if (c >= 0xF0 && c < 0xF5) {
            more = 3;
        } else if (c >= 0xE0 && c < 0xF0) {
            more = 2;
        } else if (c >= 0xC2 && c < 0xE0) {
            more = 1;
        } else if (c >= 0x80) {
            return false;
        }
    }
    return more == 0;
}

class WineCli : public ::testing::Test {
protected:
    // kesto-cli.exe under Wine with `folder` as its current directory.
    static std::unique_ptr<CliProcess> windows(const Names& args, const fs::path& folder) {
        Names all{"--prefix", kWinePrefix, kWindowsCli};
        all.insert(all.end(), args.begin(), args.end());
        return std::make_unique<CliProcess>(kWineRun, all, folder);
    }
    static std::unique_ptr<CliProcess> linux(const Names& args, const fs::path& folder) {
        return std::make_unique<CliProcess>(kLinuxCli, args, folder);
    }

    // A program folder whose OFI folder holds the samples under Japanese names;
    // `ofiFolder` is what Kesto.sys names (relative to the program folder, or
    // absolute in the program's own spelling).
    static void prepare(const fs::path& program, const fs::path& drawings,
                        const JobSettings& settings, const Names& samples) {
        fs::create_directories(drawings);
        for (const auto& sample : samples) {
            const fs::path copy = drawings / (kJapaneseNames.at(sample) + ".OFI");
            fs::copy_file(kSamples / (sample + ".OFI"), copy);
            test::makeOld(copy);
        }
        const Status saved = SaveSettings(program, settings);
        ASSERT_TRUE(saved.ok()) << saved.reason();
    }

    JobSettings settingsFor(const fs::path& program, const std::string& ofiFolder) {
        JobSettings s = defaultSettings(program);
        s.OfiFile = ofiFolder;
        s.OfiOut = "ﾌｧｲﾙ";
        s.OfiFEnd = "保存";
        return s;
    }

    static std::string golden(const std::string& sample) {
        return readBytes(kGolden / (sample + ".GLF"));
    }

    ProgramFolder root{"wine"};
};

TEST_F(WineCli, ConvertWritesTheLinuxBytesUnderJapaneseNamesWithSpaces) {
    const fs::path in = root / "入力 図面";
    // Deep enough to pass the old 260-character limit of Windows paths.
    fs::path out = root / "出力 先の フォルダ";
    for (int level = 1; level <= 16; ++level)
        out /= "長い 名前の フォルダ 第" + std::to_string(level) + "階層";
    fs::create_directories(in);
    fs::create_directories(out);
    Names args{"convert", "--out-dir", windowsPath(out)};
    for (const auto& [sample, name] : kJapaneseNames) {
        fs::copy_file(kSamples / (sample + ".OFI"), in / (name + ".OFI"));
        args.push_back(windowsPath(in / (name + ".OFI")));
    }
    // The order of the golden files' run.
    std::sort(args.begin() + 3, args.end(), [](const std::string& a, const std::string& b) {
        auto sampleOf = [](const std::string& arg) {
            for (const auto& [sample, name] : kJapaneseNames)
                if (arg.find(name) != std::string::npos) return sample;
            return std::string();
        };
        return sampleOf(a) < sampleOf(b);
    });
    auto cli = windows(args, root.path());
    ASSERT_EQ(cli->wait(kWineTimeout), 0) << cli->out() << cli->err();
    // Text lines end in CR LF on Windows.
    EXPECT_EQ(count(cli->out(), "　出図終了\r\n"), kJapaneseNames.size()) << cli->out();
    EXPECT_NE(cli->out().find("配置  図 A 1       ,01  　出図終了"), std::string::npos)
        << cli->out();
    for (const auto& [sample, name] : kJapaneseNames)
        EXPECT_TRUE(readBytes(out / (name + ".GLF")) == golden(sample)) << name;
}

TEST_F(WineCli, AutoInJapaneseFoldersWritesWhatLinuxWritesAndTheSameKestoSys) {
    // The same program folder twice, one for each build; the OFI folder is
    // named relative to it so that both Kesto.sys files can be compared.
    const Names samples{"PART-A3", "TEXT-A4", "ROTATED-A4"};
    const fs::path winProgram = root / "ウィンドウズ" / "プログラム フォルダ";
    const fs::path linProgram = root / "リナックス" / "プログラム フォルダ";
    const std::string ofiFolder = "図面 置場";
    fs::create_directories(winProgram);
    fs::create_directories(linProgram);
    // A printer named (an empty one takes each system's default printer).
    JobSettings settings = settingsFor(winProgram, ofiFolder);
    settings.Hprn = "製図室 プロッタ";
    prepare(winProgram, winProgram / ofiFolder, settings, samples);
    prepare(linProgram, linProgram / ofiFolder, settings, samples);

    auto win = windows({"AUTO"}, winProgram);
    auto lin = linux({"AUTO"}, linProgram);
    ASSERT_EQ(lin->wait(60s), 0) << lin->out() << lin->err();
    ASSERT_EQ(win->wait(kWineTimeout), 0) << win->out() << win->err();
    EXPECT_TRUE(isUtf8(win->out())) << win->out();
    EXPECT_EQ(count(win->out(), "　出図終了"), samples.size()) << win->out() << win->err();
    for (const auto& sample : samples) {
        const std::string glf = kJapaneseNames.at(sample) + ".GLF";
        const std::string bytes = readBytes(winProgram / ofiFolder / glf);
        EXPECT_FALSE(bytes.empty()) << glf;
        EXPECT_TRUE(bytes == readBytes(linProgram / ofiFolder / glf)) << glf;
        EXPECT_TRUE(fs::exists(winProgram / ofiFolder / (kJapaneseNames.at(sample) + ".OFI")));
    }
    EXPECT_FALSE(fs::exists(winProgram / kWorkFileName));
    const std::string written = readBytes(winProgram / "Kesto.sys");
    EXPECT_TRUE(written == readBytes(linProgram / "Kesto.sys"));
    // Shift-JIS on disk: the folder's name in code page 932 bytes.
    EXPECT_NE(written.find("\x90\x7d\x96\xca \x92\x75\x8f\xea"), std::string::npos);
}

TEST_F(WineCli, AutoDeliversThroughWinesSpoolerToTheQueueAndDeletesTheDrawing) {
    auto* env = CupsdEnvironment::current();
    if (!env) GTEST_SKIP() << "no private print server";
    env->capture().clear();
    // An absolute OFI folder, Japanese in every part, spelled as Windows does.
    const fs::path program = root / "出図 サーバ";
    const fs::path drawings = root / "図面" / "部品 の 図面";
    fs::create_directories(program);
    JobSettings settings = settingsFor(program, windowsPath(drawings));
    settings.OfiOut = "ﾌﾟﾛｯﾀ";
    settings.OfiFEnd = "消去";
    settings.Hprn = CupsdEnvironment::kQueue;
    prepare(program, drawings, settings, {"PART-A3"});

    auto cli = windows({"auto"}, program);
    ASSERT_EQ(cli->wait(kWineTimeout), 0) << cli->out() << cli->err();
    EXPECT_NE(cli->out().find("　出図終了"), std::string::npos) << cli->out();
    const auto received = env->capture().waitForConnections(1, 60s);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_TRUE(received[0].bytes == golden("PART-A3"));
    EXPECT_TRUE(fs::is_empty(drawings)) << "the GLF was sent and the OFI deleted";
    // One job only.
    std::this_thread::sleep_for(1s);
    EXPECT_EQ(env->capture().connections().size(), 1u);

    // The drawing is in the archive and the journal under its Japanese name,
    // and comes back byte for byte.
    bool archived = false;
    for (const auto& e : fs::recursive_directory_iterator(program / "archive"))
        archived = archived || e.path().filename() == "部品 図面.OFI";
    EXPECT_TRUE(archived);
    auto history = windows({"history", "--csv"}, program);
    ASSERT_EQ(history->wait(kWineTimeout), 0) << history->err();
    EXPECT_NE(history->out().find("部品 図面.OFI"), std::string::npos) << history->out();
    const fs::path again = root / "再出図 先";
    fs::create_directories(again);
    auto reprint = windows({"reprint", "1", "--out-dir", windowsPath(again)}, program);
    ASSERT_EQ(reprint->wait(kWineTimeout), 0) << reprint->out() << reprint->err();
    EXPECT_TRUE(readBytes(again / "部品 図面.GLF") == golden("PART-A3"));
}

TEST_F(WineCli, SocketPlottersAreReachedFromWindowsToo) {
    auto* env = CupsdEnvironment::current();
    if (!env) GTEST_SKIP() << "no capture listener";
    env->capture().clear();
    const fs::path program = root / "ソケット";
    fs::create_directories(program);
    JobSettings settings = settingsFor(program, "図面");
    settings.OfiOut = "ﾌﾟﾛｯﾀ";
    settings.Hprn = env->capture().uri();
    prepare(program, program / "図面", settings, {"TEXT-A4"});

    auto cli = windows({"AUTO"}, program);
    ASSERT_EQ(cli->wait(kWineTimeout), 0) << cli->out() << cli->err();
    const auto received = env->capture().waitForConnections(1, 30s);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_TRUE(received[0].bytes == golden("TEXT-A4"));
    EXPECT_TRUE(fs::exists(program / "図面" / (kJapaneseNames.at("TEXT-A4") + ".OFI")));
}

TEST_F(WineCli, AnUnknownPrinterFailsTheDrawingKeepsBothFilesAndSaysWhyInUtf8) {
    const fs::path program = root / "プリンタ 無し";
    fs::create_directories(program);
    JobSettings settings = settingsFor(program, "図面");
    settings.OfiOut = "ﾌﾟﾛｯﾀ";
    settings.OfiFEnd = "消去";
    settings.Hprn = "存在しない プロッタ";
    prepare(program, program / "図面", settings, {"PART-A3"});

    auto cli = windows({"AUTO"}, program);
    EXPECT_EQ(cli->wait(kWineTimeout), 1) << cli->out() << cli->err();
    EXPECT_NE(cli->out().find("　出図失敗"), std::string::npos) << cli->out();
    EXPECT_TRUE(isUtf8(cli->err())) << cli->err();
    EXPECT_NE(cli->err().find("存在しない プロッタ"), std::string::npos) << cli->err();
    const std::string name = kJapaneseNames.at("PART-A3");
    EXPECT_TRUE(fs::exists(program / "図面" / (name + ".OFI")));
    EXPECT_TRUE(readBytes(program / "図面" / (name + ".GLF")) == golden("PART-A3"));
}

} // namespace
} // namespace kesto
