#include "convert/ConvertFile.h"

#include "glf/BackgroundSink.h"
#include "io/NativeText.h"
#include "io/Sha256.h"

#include <utility>

namespace kesto {
namespace {

// The GLF writer's output into the temporary file, fingerprinted on the way
// when `sha` is given; the first failure is kept.
class AtomicFileSink final : public GlfSink {
public:
    AtomicFileSink(AtomicFile& file, Sha256* sha) : file_(file), sha_(sha) {}
    bool put(const char* data, std::size_t size) override {
        if (!status_) return false;
        if (sha_) sha_->add(data, size);
        size_ += size;
        status_ = file_.write(data, size);
        return status_.ok();
    }
    const Status& status() const { return status_; }
    std::uint64_t size() const { return size_; }

private:
    AtomicFile& file_;
    Sha256* sha_;
    std::uint64_t size_ = 0;
    Status status_;
};

FileResult& failed(FileResult& result, FileOutcome outcome, const Status& why) {
    result.outcome = outcome;
    result.message = why.reason();
    return result;
}

// Reads the OFI file whole; false (the result failed) when it cannot be read.
bool readInput(const std::filesystem::path& ofiFile, FileBytes& input, FileResult& result) {
    if (Status s = input.read(ofiFile); !s) {
        failed(result, FileOutcome::Failed, s);
        return false;
    }
    result.input = input.identity();
    return true;
}

// The drawing's outcome into the result; true when it is finished.
bool takeOutcome(const DrawingResult& drawing, FileResult& result) {
    switch (drawing.outcome) {
    case DrawingOutcome::Finished: return true;
    case DrawingOutcome::Cancelled: result.outcome = FileOutcome::Cancelled; return false;
    case DrawingOutcome::Damaged:
        result.outcome = FileOutcome::Damaged;
        result.message = drawing.reason;
        return false;
    }
    return false;
}

} // namespace

Status RunOutputs::checkTarget(const std::filesystem::path& ofi,
                               const std::filesystem::path& glf) const {
    // The output would replace the drawing itself (a hard link, "convert
    // X.GLF", a folder named twice): the drawing would be lost.
    std::error_code ec;
    if (std::filesystem::equivalent(ofi, glf, ec) && !ec)
        return Status::failure(utf8FromPath(glf) + ": この出力先は図面ファイル自身です（" +
                               utf8FromPath(ofi.filename()) + "）。上書きしません");
    FileIdentity existing;
    if (!fileIdentity(glf, existing)) return {}; // no file there yet (or not ours)
    for (const Output& earlier : outputs_)
        if (earlier.identity == existing)
            return Status::failure(utf8FromPath(glf) + ": この出図で先に " + earlier.source +
                                   " から書いたファイルです。上書きしません");
    return {};
}

void RunOutputs::written(const std::filesystem::path& glf, const std::string& ofiName) {
    FileIdentity identity;
    if (fileIdentity(glf, identity)) outputs_.push_back({identity, ofiName});
}

std::filesystem::path glfPathFor(const std::filesystem::path& folder, const std::string& ofiName) {
    const std::size_t dot = ofiName.find('.');
    return folder / pathFromUtf8(ofiName.substr(0, dot) + ".GLF");
}

ConversionRun::ConversionRun(const ConversionSettings& settings, const ConversionControl* control)
    : settings_(settings), control_(control ? *control : ConversionControl{}),
      watched_(control != nullptr) {}

FileResult ConversionRun::toFile(const std::filesystem::path& ofiFile,
                                 const std::filesystem::path& glfFile, Durability durability) {
    FileResult result;
    if (Status target = outputs_.checkTarget(ofiFile, glfFile); !target)
        return failed(result, FileOutcome::Refused, target);
    FileBytes input;
    if (!readInput(ofiFile, input, result)) return result;
    AtomicFile output;
    if (Status s = output.create(glfFile); !s) return failed(result, FileOutcome::Failed, s);
    Sha256 written;
    AtomicFileSink sink(output, fingerprint_ ? &written : nullptr);
    DrawingResult drawing;
    {
        // The file is written on a second thread while the drawing is converted.
        BackgroundSink background(sink);
        GlfWriter out(background);
        drawing = convertDrawing(OfiReader(input.data(), input.size()), out, state_, settings_,
                                 watched_ ? &control_ : nullptr);
        out.flush();
    }
    if (!takeOutcome(drawing, result)) return result; // the temporary goes with `output`
    if (Status s = sink.status(); !s) return failed(result, FileOutcome::Failed, s);
    if (Status c = output.commit(durability); !c) return failed(result, FileOutcome::Failed, c);
    outputs_.written(glfFile, utf8FromPath(ofiFile.filename()));
    if (fingerprint_) {
        Sha256 read;
        read.add(input.data(), input.size());
        result.inputSha256 = read.hexDigest();
        result.glfSha256 = written.hexDigest();
        result.glfSize = sink.size();
    }
    return result;
}

FileResult ConversionRun::toMemory(const std::filesystem::path& ofiFile) {
    FileResult result;
    FileBytes input;
    if (!readInput(ofiFile, input, result)) return result;
    StringSink sink;
    DrawingResult drawing;
    {
        GlfWriter out(sink);
        drawing = convertDrawing(OfiReader(input.data(), input.size()), out, state_, settings_,
                                 watched_ ? &control_ : nullptr);
        out.flush();
    }
    result.glf = std::move(sink.text);
    takeOutcome(drawing, result);
    return result;
}

} // namespace kesto
