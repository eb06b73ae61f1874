// PDF and SVG files checked by the rules of their formats and by the tools
// people read them with (poppler's pdffonts and pdftotext, qpdf), when those
// are installed: small files with a subset font, pages within a PDF page's
// limits, and text that gives back the characters of the drawing.

#include "convert/ConvertFile.h"
#include "job/Snapshot.h"
#include "render/PdfSurface.h"
#include "render/Render.h"
#include "settings/JobSettings.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace kesto::render {
namespace {

namespace fs = std::filesystem;

const std::string kSquareSheet = "IN;IP0,0,4000,4000;SC0,4000,0,4000;";

struct Command {
    int status = -1;
    std::string out;
};

Command run(const std::string& command) {
    Command c;
    FILE* pipe = ::popen((command + " 2>/dev/null").c_str(), "r");
    if (!pipe) return c;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        c.out.append(buffer, n);
    const int status = ::pclose(pipe);
    c.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return c;
}

bool haveTool(const char* name) {
    return run(std::string("command -v ") + name).status == 0;
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Without white space, the ideographic space among it (pdftotext turns
// that into a plain space).
std::string withoutSpace(std::string s) {
    for (std::size_t at; (at = s.find("\u3000")) != std::string::npos;)
        s.erase(at, 3);
    std::erase_if(s, [](char c) { return c == ' ' || c == '\n' || c == '\f' || c == '\t'; });
    return s;
}

std::string utf8(char32_t c) {
    std::string s;
    if (c < 0x80) {
        s += static_cast<char>(c);
    } else if (c < 0x800) {
        s += static_cast<char>(0xC0 | (c >> 6));
        s += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        s += static_cast<char>(0xE0 | (c >> 12));
        s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        s += static_cast<char>(0x80 | (c & 0x3F));
    }
    return s;
}

// The characters of an SVG file's text elements, in document order.
std::string svgText(const std::string& svg) {
    static const std::regex entity(">&#x([0-9A-Fa-f]+);</text>");
    std::string text;
    for (auto it = std::sregex_iterator(svg.begin(), svg.end(), entity);
         it != std::sregex_iterator(); ++it)
        text += utf8(static_cast<char32_t>(std::stoul((*it)[1].str(), nullptr, 16)));
    return text;
}

// The page's text as pdftotext reads it in drawing order, without spaces.
std::string pdfText(const fs::path& pdf) {
    return withoutSpace(run("pdftotext -raw '" + pdf.string() + "' -").out);
}

fs::path scratch() {
    // One folder a process: the tests of this file may run side by side.
    const fs::path dir =
        fs::temp_directory_path() / ("kesto-vector-test-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    return dir;
}

RenderResult writeGlf(const std::string& glf, const fs::path& path, PictureFormat format) {
    MemoryInput input(glf);
    RenderOptions options;
    options.showFrame = false;
    return renderToFile(input, path.string(), format, options);
}

// Each sample drawing as the spooler converts it: a PDF that fits a mail,
// its font embedded as a subset, and the labels' text as the drawing holds
// it, in PDF and SVG alike.  No sample holds a full-width voiced mark of
// its own, so none may appear.
TEST(VectorFiles, SampleFilesAreSmallWithTheDrawingsText) {
    struct SampleCase {
        const char* file;
        std::vector<std::string> texts; // labels in drawing order, spaces left out
    };
    const std::vector<SampleCase> cases = {
        {"PART-A3.OFI",
         {"ｷﾞｼﾞｭﾂﾁｭｳｷ:ﾊﾞﾘﾄﾘﾉｺﾄ", "ﾌﾗﾝｼﾞFL-2041", "フランジ", "部品図", "±0.1", "φ50H7",
          "㈱北斗機工", "ⅠⅡⅢⅣⅤⅥⅦⅧⅨⅩ"}},
        {"TEXT-A4.OFI", {"OリングNBR2P-40ｸﾞﾘｽﾇﾘ", "Vベルトｺﾞﾑ1A-42", "φ40×φ62×8", "部品表"}},
        {"ROTATED-A4.OFI", {"ブラケット取付金具", "φ9", "㈱北斗機工"}},
        {"LAYOUT-A1.OFI", {"事務室R-10137.6m2", "ポンプ室", "受水槽室"}},
    };
    const bool tools = haveTool("pdffonts") && haveTool("pdftotext") && haveTool("qpdf");
    const fs::path out = scratch();
    ConversionRun conversion(conversionSettingsFrom(defaultSettings(out)));
    for (const SampleCase& c : cases) {
        SCOPED_TRACE(c.file);
        const FileResult drawing = conversion.toMemory(fs::path(KESTO_SAMPLES_DIR) / c.file);
        ASSERT_EQ(drawing.outcome, FileOutcome::Finished) << drawing.message;
        const fs::path pdf = out / "sample.pdf", svg = out / "sample.svg";
        const RenderResult p = writeGlf(drawing.glf, pdf, PictureFormat::Pdf);
        ASSERT_TRUE(p.status) << p.status.reason();
        const RenderResult s = writeGlf(drawing.glf, svg, PictureFormat::Svg);
        ASSERT_TRUE(s.status) << s.status.reason();
        EXPECT_LT(fs::file_size(pdf), 300u * 1024);

        const std::string svgChars = withoutSpace(svgText(readFile(svg)));
        for (const std::string& text : c.texts)
            EXPECT_NE(svgChars.find(text), std::string::npos) << "SVG lacks " << text;
        EXPECT_EQ(svgChars.find("゛"), std::string::npos);
        if (!tools) continue;

        // pdffonts: name, type, encoding, then "emb sub uni" and the object.
        const Command fonts = run("pdffonts '" + pdf.string() + "'");
        ASSERT_EQ(fonts.status, 0);
        static const std::regex subsetFont(
            R"(^[A-Z]{6}\+\S+\s.*\s(yes|no)\s+(yes|no)\s+(yes|no)\s+\d+\s+\d+\s*$)");
        std::istringstream lines(fonts.out);
        std::string line;
        int fontCount = 0;
        for (int n = 0; std::getline(lines, line); ++n) {
            if (n < 2) continue; // the heading and its rule
            std::smatch m;
            ASSERT_TRUE(std::regex_match(line, m, subsetFont)) << line;
            EXPECT_EQ(m[1], "yes") << "not embedded: " << line;
            EXPECT_EQ(m[2], "yes") << "not a subset: " << line;
            EXPECT_EQ(m[3], "yes") << "no character map: " << line;
            ++fontCount;
        }
        EXPECT_EQ(fontCount, 1);
        EXPECT_EQ(run("qpdf --check '" + pdf.string() + "'").status, 0);
        const std::string pdfChars = pdfText(pdf);
        for (const std::string& text : c.texts)
            EXPECT_NE(pdfChars.find(text), std::string::npos) << "PDF lacks " << text;
        EXPECT_EQ(pdfChars.find("゛"), std::string::npos);
    }
    if (!tools) GTEST_SKIP() << "poppler-utils or qpdf missing: PDF read only by size";
}

// Katakana the converter wrote at the other width come back as the drawing
// holds them where the GLF file tells: with katakana set to full width,
// "ｷﾞ" is written "キ゛" (one kanji-set label per byte), and a separate
// voiced mark on the line tells; with katakana set to half width,
// "フランジ" is written "ﾌﾗﾝジ", and the voiced kana beside them tells.
TEST(VectorFiles, KatakanaTextIsWhatTheDrawingHolds) {
    struct KanaCase {
        const char* name;
        std::vector<std::string> labels; // K: a kanji-set JIS pair, H: a kana-set byte, "": a gap
        std::string text;
    };
    const std::vector<KanaCase> cases = {
        {"voiced mark after a katakana", {"K%-", "K!+"}, "ｷﾞ"},
        {"semi-voiced mark, run goes on", {"K%O", "K!,", "K%s"}, "ﾊﾟﾝ"},
        {"a space inside the run", {"K%-", "K!+", "", "K%j"}, "ｷﾞﾘ"},
        {"no mark: full width", {"K%-", "K%j"}, "キリ"},
        {"a voiced katakana ends the run", {"K%U", "K%i", "K%s", "K%8"}, "フランジ"},
        {"a mark alone", {"K!+"}, "゛"},
        {"half width as drawn", {"H7", "H^", "H8"}, "ｷﾞｸ"},
        {"half width beside a voiced kana", {"HL", "HW", "H]", "K%8"}, "フランジ"},
        {"half width after a voiced kana", {"K%8", "H.", "H]"}, "ジョン"},
        {"half width apart from a voiced kana", {"HL", "", "", "", "", "K%8"}, "ﾌジ"},
    };
    const bool tools = haveTool("pdftotext");
    const fs::path out = scratch();
    for (const KanaCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::string glf = kSquareSheet + "SP1;CA101;CS8;SI0.5,0.5;";
        int x = 500;
        for (const std::string& label : c.labels) {
            if (!label.empty()) {
                glf += "PA" + std::to_string(x) + ",1000;LB" + (label[0] == 'K' ? "\x0E" : "\x0F") +
                       label.substr(1) + "\x03;";
            }
            x += 250;
        }
        glf += "AF;";
        ASSERT_TRUE(writeGlf(glf, out / "kana.svg", PictureFormat::Svg).status);
        EXPECT_EQ(svgText(readFile(out / "kana.svg")), c.text);
        if (!tools) continue;
        ASSERT_TRUE(writeGlf(glf, out / "kana.pdf", PictureFormat::Pdf).status);
        EXPECT_EQ(pdfText(out / "kana.pdf"), c.text);
    }
    // A mark on another line is not part of the katakana before it.
    const std::string glf =
        kSquareSheet + "SP1;CA101;SI0.5,0.5;SA;" + "PA500,2000;LB%-\x03;PA500,3000;LB!+\x03;AF;";
    ASSERT_TRUE(writeGlf(glf, out / "kana.svg", PictureFormat::Svg).status);
    EXPECT_EQ(svgText(readFile(out / "kana.svg")), "キ゛");
}

// A PDF page is at most 14,400 units a side: a longer sheet is written with
// a larger unit, so that the page keeps the sheet's real size.  Marks far
// outside the sheet are cut, keeping their course on it, and no number
// leaves what a PDF integer holds.
TEST(VectorFiles, PagesAndCoordinatesStayWithinTheFormatsLimits) {
    struct SheetCase {
        const char* name;
        double w, h; // plotter units
    };
    const std::vector<SheetCase> cases = {
        {"A4", 11880, 8400},
        {"A0 roll, 5 m", 200000, 47560},
        {"banner, 20 m", 800000, 40000},
    };
    const fs::path out = scratch();
    static const std::regex mediaBox(R"(/MediaBox \[0 0 ([0-9.]+) ([0-9.]+)\])");
    static const std::regex userUnit(R"(/UserUnit ([0-9.]+))");
    for (const SheetCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string glf = "IN;IP0,0," + std::to_string(static_cast<long>(c.w)) + "," +
                                std::to_string(static_cast<long>(c.h)) + ";SP1;PA0,0;PD100,100;AF;";
        ASSERT_TRUE(writeGlf(glf, out / "sheet.pdf", PictureFormat::Pdf).status);
        const std::string pdf = readFile(out / "sheet.pdf");
        std::smatch box, unit;
        ASSERT_TRUE(std::regex_search(pdf, box, mediaBox));
        const double u = std::regex_search(pdf, unit, userUnit) ? std::stod(unit[1]) : 1;
        const double pw = std::stod(box[1]), ph = std::stod(box[2]);
        EXPECT_LE(std::max(pw, ph), 14400);
        EXPECT_GE(std::min(pw, ph), 3);
        EXPECT_NEAR(pw * u, c.w / 40 / 25.4 * 72, 0.01 * u);
        EXPECT_NEAR(ph * u, c.h / 40 / 25.4 * 72, 0.01 * u);
        EXPECT_EQ(pdf.rfind(u > 1 ? "%PDF-1.6" : "%PDF-1.4", 0), 0u); // a unit needs PDF 1.6
        if (haveTool("qpdf")) {
            EXPECT_EQ(run("qpdf --check '" + (out / "sheet.pdf").string() + "'").status, 0);
        }
    }
    EXPECT_NE(PdfSurface::pageProblem({0, 0, 3e9, 4000}).find("too large"), std::string::npos);
    EXPECT_NE(PdfSurface::pageProblem({0, 0, 0, 4000}), "");
    EXPECT_EQ(PdfSurface::pageProblem({0, 0, 800000, 40000}), "");

    // A line and an area that run a million sheets away: cut at a box the
    // sheet's size around it (-4000 to 8000), still on the diagonal.  Lines
    // that pass beside the box, along it or past its corner, leave nothing.
    const std::string far = kSquareSheet + "SP1;PA2000,2000;PD900000000,900000000;PU;" +
                            "PA2000,2000;PM0;PD900000000,2000,900000000,3000,2000,3000;PM2;FP;" +
                            "PA-900000000,-900000;PD900000000,-900000;PU;" +
                            "PA-900000000,0;PD0,-900000000;PU;AF;";
    ASSERT_TRUE(writeGlf(far, out / "far.svg", PictureFormat::Svg).status);
    const std::string svg = readFile(out / "far.svg");
    EXPECT_NE(svg.find("M2000 2000 L8000 8000 "), std::string::npos);
    EXPECT_NE(svg.find("L8000 3000 "), std::string::npos); // the area's far side
    EXPECT_EQ(svg.find("900000000"), std::string::npos);
    EXPECT_FALSE(std::regex_search(svg, std::regex("[ ML-][0-9]{6}")))
        << "a point far off the sheet";
    if (haveTool("qpdf")) {
        ASSERT_TRUE(writeGlf(far, out / "far.pdf", PictureFormat::Pdf).status);
        const std::string content =
            run("qpdf --qdf --object-streams=disable '" + (out / "far.pdf").string() + "' -").out;
        EXPECT_NE(content.find("2000 2000 m\n8000 8000 l\n"), std::string::npos);
        EXPECT_EQ(content.find("900000000"), std::string::npos);
    }
}

} // namespace
} // namespace kesto::render
