#include "convert/ConvertFile.h"

#include "glf/BackgroundSink.h"
#include "io/NativeText.h"

namespace kesto {
namespace {

// The GLF writer's output into the temporary file; the first failure is kept.
class AtomicFileSink final : public GlfSink {
public:
    explicit AtomicFileSink(AtomicFile& file) : file_(file) {}
    bool put(const char* data, std::size_t size) override {
        if (!status_) return false;
        status_ = file_.write(data, size);
        return status_.ok();
    }
    const Status& status() const { return status_; }

private:
    AtomicFile& file_;
    Status status_;
};

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

FileResult convertOfiFile(const std::filesystem::path& ofiFile,
                          const std::filesystem::path& glfFile, Durability durability,
                          ConversionState& state, const ConversionSettings& settings,
                          const ConversionControl* control) {
    FileResult result;
    FileBytes input;
    if (Status s = input.read(ofiFile); !s) {
        result.outcome = FileOutcome::Failed;
        result.message = s.reason();
        return result;
    }
    result.input = input.identity();
    AtomicFile output;
    if (Status s = output.create(glfFile); !s) {
        result.outcome = FileOutcome::Failed;
        result.message = s.reason();
        return result;
    }
    AtomicFileSink sink(output);
    DrawingResult drawing;
    {
        // The file is written on a second thread while the drawing is converted.
        BackgroundSink background(sink);
        GlfWriter out(background);
        drawing =
            convertDrawing(OfiReader(input.data(), input.size()), out, state, settings, control);
        out.flush();
    }
    switch (drawing.outcome) {
    case DrawingOutcome::Finished:
        if (Status s = sink.status(); !s) {
            result.outcome = FileOutcome::Failed;
            result.message = s.reason();
        } else if (Status c = output.commit(durability); !c) {
            result.outcome = FileOutcome::Failed;
            result.message = c.reason();
        }
        break;
    case DrawingOutcome::Cancelled: result.outcome = FileOutcome::Cancelled; break;
    case DrawingOutcome::Damaged:
        result.outcome = FileOutcome::Damaged;
        result.message = drawing.reason;
        break;
    }
    return result; // an uncommitted temporary is removed with `output`
}

} // namespace kesto
